#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/clock.h"
#include "platform/socket.h"

namespace qm::platform {

std::optional<std::uint32_t> parse_ipv4(const std::string& text) {
  const in_addr_t a = inet_addr(text.c_str());
  if (a == INADDR_NONE) return std::nullopt;
  return static_cast<std::uint32_t>(a);
}

std::string format_ipv4(std::uint32_t address_net) {
  char text[INET_ADDRSTRLEN] = {};
  in_addr a{};
  a.s_addr = address_net;
  inet_ntop(AF_INET, &a, text, sizeof text);
  return text;
}

namespace {

// Waits for `events` on fd for at most timeout_ms: 1 ready, 0 timed out, -1 error or hang-up
// without the event.
int wait_for(int fd, short events, int timeout_ms) {
  const std::uint64_t deadline = monotonic_ms() + static_cast<std::uint64_t>(timeout_ms);
  for (;;) {
    const std::uint64_t now = monotonic_ms();
    const int left = now >= deadline ? 0 : static_cast<int>(deadline - now);
    pollfd p{fd, events, 0};
    const int r = ::poll(&p, 1, left);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) return 0;
    // A closed connection is readable (the read then finds it closed).
    if (p.revents & (events | POLLHUP)) return 1;
    return -1;
  }
}

class PosixTcpSocket final : public TcpSocket {
 public:
  explicit PosixTcpSocket(int fd) : fd_(fd) {}
  ~PosixTcpSocket() override { ::close(fd_); }

  bool set_option(SocketOption option, int value) override {
    switch (option) {
      case SocketOption::KeepAlive:
        return setsockopt(fd_, SOL_SOCKET, SO_KEEPALIVE, &value, sizeof value) == 0;
      case SocketOption::NoDelay:
        return setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value) == 0;
      case SocketOption::ReceiveTimeout: {
        timeval tv{value / 1000, (value % 1000) * 1000};
        return setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0;
      }
    }
    return false;
  }

  bool connect(std::uint32_t address_net, std::uint16_t port, int timeout_ms) override {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = address_net;
    // Connect without blocking so that an unreachable gateway costs timeout_ms, not minutes.
    const int flags = fcntl(fd_, F_GETFL, 0);
    fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
    int r = ::connect(fd_, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (r != 0 && errno == EINPROGRESS) {
      if (wait_for(fd_, POLLOUT, timeout_ms) == 1) {
        int error = 0;
        socklen_t len = sizeof error;
        r = (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0) ? 0 : -1;
      }
    }
    fcntl(fd_, F_SETFL, flags);
    return r == 0;
  }

  bool send(const std::uint8_t* bytes, std::size_t n) override {
    // A frame the peer does not take within kSendStallMs is given up (it stopped reading).
    const std::uint64_t deadline = monotonic_ms() + kSendStallMs;
    while (n > 0) {
      const ssize_t put = ::send(fd_, bytes, n, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (put > 0) {
        bytes += put;
        n -= static_cast<std::size_t>(put);
        continue;
      }
      if (put < 0 && errno == EINTR) continue;
      if (put == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return false;
      const std::uint64_t now = monotonic_ms();
      if (now >= deadline) return false;
      if (wait_for(fd_, POLLOUT, static_cast<int>(deadline - now)) != 1) return false;
    }
    return true;
  }

  long receive(std::uint8_t* buffer, std::size_t n) override {
    for (;;) {
      const ssize_t got = ::recv(fd_, buffer, n, 0);
      if (got < 0 && errno == EINTR) continue;
      return static_cast<long>(got);
    }
  }

  int wait_readable(int timeout_ms) override { return wait_for(fd_, POLLIN, timeout_ms); }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<TcpSocket> TcpSocket::create() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  return std::make_unique<PosixTcpSocket>(fd);
}

}  // namespace qm::platform
