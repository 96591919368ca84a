#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/sim_io.h"

namespace qm::platform {

namespace {

int fd_of(Handle h) {
  return static_cast<int>(h);
}

class PosixPty final : public PseudoTerminal {
 public:
  PosixPty(int master, int slave, std::string path)
      : master_(master), slave_(slave), path_(std::move(path)) {}
  ~PosixPty() override {
    ::close(master_);
    ::close(slave_);
  }
  const std::string& slave_path() const override { return path_; }
  Handle handle() const override { return master_; }
  std::size_t read(std::uint8_t* buffer, std::size_t n) override {
    const ssize_t got = ::read(master_, buffer, n);
    return got > 0 ? static_cast<std::size_t>(got) : 0;
  }
  bool write(const std::uint8_t* bytes, std::size_t n) override {
    while (n > 0) {
      const ssize_t put = ::write(master_, bytes, n);
      if (put < 0 && errno == EINTR) continue;
      if (put < 0 && errno == EAGAIN) {
        pollfd p{master_, POLLOUT, 0};
        if (::poll(&p, 1, 1000) <= 0) return false;
        continue;
      }
      if (put <= 0) return false;
      bytes += put;
      n -= static_cast<std::size_t>(put);
    }
    return true;
  }

 private:
  int master_;
  int slave_;  // held open so that the master never sees a hang-up between program runs
  std::string path_;
};

class PosixConnection final : public Connection {
 public:
  explicit PosixConnection(int fd) : fd_(fd) {}
  ~PosixConnection() override { ::close(fd_); }
  Handle handle() const override { return fd_; }
  long receive(std::uint8_t* buffer, std::size_t n) override {
    for (;;) {
      const ssize_t got = ::recv(fd_, buffer, n, 0);
      if (got < 0 && errno == EINTR) continue;
      return static_cast<long>(got);
    }
  }
  long send_some(const std::uint8_t* bytes, std::size_t n) override {
    for (;;) {
      const ssize_t put = ::send(fd_, bytes, n, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (put >= 0) return static_cast<long>(put);
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
  }

 private:
  int fd_;
};

class PosixListener final : public ListeningSocket {
 public:
  PosixListener(int fd, std::uint16_t port) : fd_(fd), port_(port) {}
  ~PosixListener() override { ::close(fd_); }
  std::uint16_t port() const override { return port_; }
  Handle handle() const override { return fd_; }
  std::unique_ptr<Connection> accept() override {
    const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return nullptr;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kConnectionSendBuffer, sizeof kConnectionSendBuffer);
    return std::make_unique<PosixConnection>(fd);
  }

 private:
  int fd_;
  std::uint16_t port_;
};

class PipeWakeup final : public Wakeup {
 public:
  PipeWakeup(int r, int w) : r_(r), w_(w) {}
  ~PipeWakeup() override {
    ::close(r_);
    ::close(w_);
  }
  Handle handle() const override { return r_; }
  void signal() override {
    const char one = 1;
    (void)!::write(w_, &one, 1);
  }
  void clear() override {
    char buf[64];
    while (::read(r_, buf, sizeof buf) > 0) {
    }
  }

 private:
  int r_;
  int w_;
};

}  // namespace

std::unique_ptr<PseudoTerminal> PseudoTerminal::open() {
  int master = -1, slave = -1;
  termios raw{};
  cfmakeraw(&raw);
  char name[256] = {};
  if (openpty(&master, &slave, name, &raw, nullptr) != 0) return nullptr;
  fcntl(master, F_SETFL, fcntl(master, F_GETFL, 0) | O_NONBLOCK);
  fcntl(master, F_SETFD, FD_CLOEXEC);
  fcntl(slave, F_SETFD, FD_CLOEXEC);
  return std::make_unique<PosixPty>(master, slave, name);
}

std::unique_ptr<ListeningSocket> ListeningSocket::open(std::uint32_t address_net,
                                                       std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(port);
  at.sin_addr.s_addr = address_net;
  socklen_t len = sizeof at;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(fd, 4) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&at), &len) != 0) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<PosixListener>(fd, ntohs(at.sin_port));
}

std::unique_ptr<Wakeup> Wakeup::create() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return nullptr;
  return std::make_unique<PipeWakeup>(fds[0], fds[1]);
}

int wait_any(std::span<const Handle> handles, int timeout_ms) {
  std::vector<Waitable> items;
  items.reserve(handles.size());
  for (Handle h : handles)
    items.push_back({h, false});
  return wait_any(items, timeout_ms);
}

int wait_any(std::span<const Waitable> items, int timeout_ms) {
  std::vector<pollfd> p;
  p.reserve(items.size());
  for (const Waitable& w : items)
    p.push_back({fd_of(w.handle), static_cast<short>(w.for_writing ? POLLOUT : POLLIN), 0});
  for (;;) {
    const int r = ::poll(p.data(), p.size(), timeout_ms);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return -1;
    for (std::size_t i = 0; i < p.size(); ++i)
      if (p[i].revents != 0) return static_cast<int>(i);
    return -1;
  }
}

bool make_symlink(const std::string& target, const std::string& link) {
  ::unlink(link.c_str());
  return ::symlink(target.c_str(), link.c_str()) == 0;
}

namespace {

// The write end of the interrupt pipe: a signal handler has no other way to reach it.
int g_interrupt_pipe = -1;

void on_interrupt(int) {
  const char one = 1;
  (void)!::write(g_interrupt_pipe, &one, 1);
}

class PipeInterruptWatch final : public InterruptWatch {
 public:
  PipeInterruptWatch(int r, int w) : r_(r), w_(w) {}
  ~PipeInterruptWatch() override {
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    g_interrupt_pipe = -1;
    ::close(r_);
    ::close(w_);
  }
  Handle handle() const override { return r_; }
  bool interrupted() const override {
    pollfd p{r_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
  }

 private:
  int r_;
  int w_;
};

}  // namespace

std::unique_ptr<InterruptWatch> InterruptWatch::create() {
  if (g_interrupt_pipe >= 0) return nullptr;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return nullptr;
  g_interrupt_pipe = fds[1];
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  return std::make_unique<PipeInterruptWatch>(fds[0], fds[1]);
}

std::optional<Handle> standard_input_handle() {
  return STDIN_FILENO;
}

bool consume_standard_input() {
  char buf[256];
  return ::read(STDIN_FILENO, buf, sizeof buf) > 0;
}

void binary_standard_output() {}  // POSIX streams never translate line ends

bool standard_error_is_terminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

bool standard_input_is_terminal() {
  return ::isatty(STDIN_FILENO) == 1;
}

namespace {
sigset_t termination_signals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}
}  // namespace

void block_termination_signals() {
  const sigset_t set = termination_signals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void wait_for_termination() {
  const sigset_t set = termination_signals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  int which = 0;
  sigwait(&set, &which);
}

}  // namespace qm::platform
