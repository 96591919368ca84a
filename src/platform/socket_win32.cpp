// TCP client sockets and IPv4 address text on Windows, through Winsock 2.

#include "platform/win32.h"

#include <algorithm>
#include <climits>
#include <string>

#include "platform/socket.h"

namespace qm::platform {

namespace {

// Winsock must be started before its first use. The library stays started for the rest of
// the run: the system releases it when the process ends, and stopping it earlier would pull
// it from under sockets still held by objects destroyed later.
bool winsock_ready() {
  struct Startup {
    Startup() {
      WSADATA data{};
      ok = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    bool ok = false;
  };
  static const Startup startup;
  return startup.ok;
}

// A select() set holding just `s`. Filled by hand: the FD_SET macro is written with C casts.
fd_set single_set(SOCKET s) {
  fd_set set{};
  set.fd_count = 1;
  set.fd_array[0] = s;
  return set;
}

// select() leaves in a set only the sockets that are ready.
bool is_set(const fd_set& set) {
  return set.fd_count > 0;
}

timeval to_timeval(int timeout_ms) {
  const int ms = std::max(timeout_ms, 0);
  return timeval{ms / 1000, (ms % 1000) * 1000};
}

}  // namespace

std::optional<std::uint32_t> parse_ipv4(const std::string& text) {
  if (!winsock_ready()) return std::nullopt;
  const unsigned long a = inet_addr(text.c_str());
  if (a == INADDR_NONE) return std::nullopt;
  return static_cast<std::uint32_t>(a);
}

std::string format_ipv4(std::uint32_t address_net) {
  (void)winsock_ready();
  char text[INET_ADDRSTRLEN] = {};
  in_addr a{};
  a.s_addr = address_net;
  if (inet_ntop(AF_INET, &a, text, sizeof text) == nullptr) {
    // Only a failed start of Winsock gets here; the bytes are still known.
    const auto* b = reinterpret_cast<const unsigned char*>(&a.s_addr);
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
           std::to_string(b[3]);
  }
  return text;
}

namespace {

class Win32TcpSocket final : public TcpSocket {
 public:
  explicit Win32TcpSocket(SOCKET s) : s_(s) {}
  ~Win32TcpSocket() override { closesocket(s_); }

  bool set_option(SocketOption option, int value) override {
    switch (option) {
      case SocketOption::KeepAlive: {
        const BOOL on = value != 0;
        return setsockopt(s_, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on),
                          sizeof on) == 0;
      }
      case SocketOption::NoDelay: {
        const BOOL on = value != 0;
        return setsockopt(s_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                          sizeof on) == 0;
      }
      case SocketOption::ReceiveTimeout: {
        // Winsock takes the receive time-out as a DWORD of milliseconds.
        const DWORD ms = static_cast<DWORD>(std::max(value, 0));
        return setsockopt(s_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms),
                          sizeof ms) == 0;
      }
    }
    return false;
  }

  bool connect(std::uint32_t address_net, std::uint16_t port, int timeout_ms) override {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = address_net;
    // Connect without blocking so that an unreachable gateway costs timeout_ms, not the
    // stack's own retry time.
    if (!set_blocking(false)) return false;
    int r = ::connect(s_, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (r != 0 && WSAGetLastError() == WSAEWOULDBLOCK) {
      r = SOCKET_ERROR;
      // Success shows as writable, failure as an exception.
      fd_set writable = single_set(s_);
      fd_set failed = single_set(s_);
      timeval tv = to_timeval(timeout_ms);
      if (select(0, nullptr, &writable, &failed, &tv) > 0 && is_set(writable) && !is_set(failed)) {
        int error = 0;
        int len = sizeof error;
        if (getsockopt(s_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len) == 0 &&
            error == 0) {
          r = 0;
        }
      }
    }
    // A socket whose connect timed out is useless anyway; the caller closes it.
    if (!set_blocking(true)) return false;
    return r == 0;
  }

  bool send(const std::uint8_t* bytes, std::size_t n) override {
    // The send time-out (set at creation) ends a send that the peer takes nothing of; the
    // socket is then of no further use, and the caller closes it.
    while (n > 0) {
      const int count = static_cast<int>(std::min<std::size_t>(n, INT_MAX));
      const int put = ::send(s_, reinterpret_cast<const char*>(bytes), count, 0);
      if (put == SOCKET_ERROR || put <= 0) return false;
      bytes += put;
      n -= static_cast<std::size_t>(put);
    }
    return true;
  }

  long receive(std::uint8_t* buffer, std::size_t n) override {
    const int count = static_cast<int>(std::min<std::size_t>(n, INT_MAX));
    const int got = ::recv(s_, reinterpret_cast<char*>(buffer), count, 0);
    return got == SOCKET_ERROR ? -1L : static_cast<long>(got);
  }

  int wait_readable(int timeout_ms) override {
    // A connection closed by the peer is readable too: the read then finds it closed.
    fd_set readable = single_set(s_);
    timeval tv = to_timeval(timeout_ms);
    const int r = select(0, &readable, nullptr, nullptr, &tv);
    if (r == SOCKET_ERROR) return -1;
    if (r == 0) return 0;
    return is_set(readable) ? 1 : -1;
  }

 private:
  bool set_blocking(bool blocking) {
    u_long non_blocking = blocking ? 0 : 1;
    // FIONBIO is an unsigned code with the top bit set, passed as the signed command word.
    return ioctlsocket(s_, static_cast<long>(FIONBIO), &non_blocking) == 0;
  }

  SOCKET s_;
};

}  // namespace

std::unique_ptr<TcpSocket> TcpSocket::create() {
  if (!winsock_ready()) return nullptr;
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return nullptr;
  // A gateway that stops reading must not hold a send for ever. Winsock takes the time-out
  // as a DWORD of milliseconds.
  const DWORD stall = kSendStallMs;
  if (setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&stall), sizeof stall) !=
      0) {
    closesocket(s);
    return nullptr;
  }
  // Like close-on-exec: programs started later must not inherit the connection.
  (void)SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  return std::make_unique<Win32TcpSocket>(s);
}

}  // namespace qm::platform
