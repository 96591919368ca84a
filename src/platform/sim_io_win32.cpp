// The simulator's wire on Windows: gateway sockets work; pseudo-terminals do not exist.
#include "platform/win32.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <vector>

#include "platform/sim_io.h"

namespace qm::platform {

namespace {

SOCKET sock_of(Handle h) {
  return static_cast<SOCKET>(h);
}

class WinConnection final : public Connection {
 public:
  explicit WinConnection(SOCKET s) : s_(s) {}
  ~WinConnection() override { closesocket(s_); }
  Handle handle() const override { return static_cast<Handle>(s_); }
  long receive(std::uint8_t* buffer, std::size_t n) override {
    return recv(s_, reinterpret_cast<char*>(buffer), static_cast<int>(n), 0);
  }
  long send_some(const std::uint8_t* bytes, std::size_t n) override {
    const int put = ::send(s_, reinterpret_cast<const char*>(bytes), static_cast<int>(n), 0);
    if (put != SOCKET_ERROR) return put;
    return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
  }

 private:
  SOCKET s_;
};

class WinListener final : public ListeningSocket {
 public:
  WinListener(SOCKET s, std::uint16_t port) : s_(s), port_(port) {}
  ~WinListener() override { closesocket(s_); }
  std::uint16_t port() const override { return port_; }
  Handle handle() const override { return static_cast<Handle>(s_); }
  std::unique_ptr<Connection> accept() override {
    const SOCKET c = ::accept(s_, nullptr, nullptr);
    if (c == INVALID_SOCKET) return nullptr;
    u_long non_blocking = 1;  // sends hand over what fits and never wait
    ioctlsocket(c, static_cast<long>(FIONBIO), &non_blocking);  // the code as the signed word
    setsockopt(c, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&kConnectionSendBuffer),
               sizeof kConnectionSendBuffer);
    return std::make_unique<WinConnection>(c);
  }

 private:
  SOCKET s_;
  std::uint16_t port_;
};

// A connected pair of loopback sockets serves as the wake-up: select() waits on sockets only.
class SocketWakeup final : public Wakeup {
 public:
  SocketWakeup(SOCKET r, SOCKET w) : r_(r), w_(w) {}
  ~SocketWakeup() override {
    closesocket(r_);
    closesocket(w_);
  }
  Handle handle() const override { return static_cast<Handle>(r_); }
  void signal() override {
    const char one = 1;
    ::send(w_, &one, 1, 0);
  }
  void clear() override {
    u_long queued = 0;
    char buf[64];
    while (ioctlsocket(r_, FIONREAD, &queued) == 0 && queued > 0)
      recv(r_, buf, sizeof buf, 0);
  }

 private:
  SOCKET r_;
  SOCKET w_;
};

}  // namespace

std::unique_ptr<PseudoTerminal> PseudoTerminal::open() {
  return nullptr;
}

std::unique_ptr<ListeningSocket> ListeningSocket::open(std::uint32_t address_net,
                                                       std::uint16_t port) {
  const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return nullptr;
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(port);
  at.sin_addr.s_addr = address_net;
  int len = sizeof at;
  if (bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || listen(s, 4) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&at), &len) != 0) {
    closesocket(s);
    return nullptr;
  }
  return std::make_unique<WinListener>(s, ntohs(at.sin_port));
}

std::unique_ptr<Wakeup> Wakeup::create() {
  auto listener = ListeningSocket::open(htonl(INADDR_LOOPBACK), 0);
  if (!listener) return nullptr;
  const SOCKET w = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(listener->port());
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (w == INVALID_SOCKET || connect(w, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0)
    return nullptr;
  const SOCKET r = ::accept(sock_of(listener->handle()), nullptr, nullptr);
  if (r == INVALID_SOCKET) {
    closesocket(w);
    return nullptr;
  }
  return std::make_unique<SocketWakeup>(r, w);
}

int wait_any(std::span<const Handle> handles, int timeout_ms) {
  std::vector<Waitable> items;
  for (Handle h : handles)
    items.push_back({h, false});
  return wait_any(items, timeout_ms);
}

int wait_any(std::span<const Waitable> items, int timeout_ms) {
  std::vector<WSAPOLLFD> p;
  for (const Waitable& w : items)
    p.push_back(
        {sock_of(w.handle), static_cast<SHORT>(w.for_writing ? POLLWRNORM : POLLRDNORM), 0});
  const int r = WSAPoll(p.data(), static_cast<ULONG>(p.size()), timeout_ms);
  if (r <= 0) return -1;
  for (std::size_t i = 0; i < p.size(); ++i)
    if (p[i].revents != 0) return static_cast<int>(i);
  return -1;
}

bool make_symlink(const std::string&, const std::string&) {
  return false;
}

namespace {
HANDLE g_stop_event = nullptr;  // set by the console control handler, read by the waiter
BOOL WINAPI on_console_event(DWORD) {
  if (g_stop_event != nullptr) SetEvent(g_stop_event);
  return TRUE;
}
}  // namespace

std::unique_ptr<InterruptWatch> InterruptWatch::create() {
  return nullptr;
}
std::optional<Handle> standard_input_handle() {
  return std::nullopt;
}
bool consume_standard_input() {
  return false;
}

void binary_standard_output() {
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
}

bool standard_error_is_terminal() {
  return _isatty(_fileno(stderr)) != 0;
}

bool standard_input_is_terminal() {
  return _isatty(_fileno(stdin)) != 0;
}

void block_termination_signals() {}

void wait_for_termination() {
  g_stop_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(on_console_event, TRUE);
  WaitForSingleObject(g_stop_event, INFINITE);
}

}  // namespace qm::platform
