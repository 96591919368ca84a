#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <tuple>

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/serial.h"

namespace qm::platform {

namespace {

// The termios code of a baud rate, or 0 when the driver has none for it.
speed_t speed_code(std::uint32_t baud) {
  switch (baud) {
    case 300:
      return B300;
    case 600:
      return B600;
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    default:
      return 0;
  }
}

class PosixSerial final : public SerialDevice {
 public:
  explicit PosixSerial(int fd) : fd_(fd) {}
  ~PosixSerial() override {
    // Discard unread input only: output already written still goes out, so the last frame
    // sent before closing is not cut off.
    tcflush(fd_, TCIFLUSH);
    (void)ioctl(fd_, TIOCNXCL);
    ::close(fd_);
  }

  bool configure() {
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B19200);
    cfsetospeed(&tio, B19200);
    if (tcsetattr(fd_, TCSANOW, &tio) != 0) return false;
    // DTR and RTS off; a pseudo-terminal has no modem-control lines and refuses this.
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)ioctl(fd_, TIOCMBIC, &lines);
    purge();
    return true;
  }

  std::size_t read(std::uint8_t* buffer, std::size_t n) override {
    if (n == 0) return 0;
    for (;;) {
      const ssize_t got = ::read(fd_, buffer, n);
      if (got > 0) return static_cast<std::size_t>(got);
      if (got < 0 && errno == EINTR) continue;
      return 0;
    }
  }

  bool write(const std::uint8_t* bytes, std::size_t n) override {
    // Like the driver's write time-out: give up when nothing could be written for a second.
    constexpr int kStallMs = 1000;
    while (n > 0) {
      const ssize_t put = ::write(fd_, bytes, n);
      if (put > 0) {
        bytes += put;
        n -= static_cast<std::size_t>(put);
        continue;
      }
      if (put < 0 && errno == EINTR) continue;
      if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
      pollfd p{fd_, POLLOUT, 0};
      if (::poll(&p, 1, kStallMs) <= 0 || (p.revents & POLLOUT) == 0) return false;
    }
    return true;
  }

  bool set_baud(std::uint32_t baud) override {
    const speed_t code = speed_code(baud);
    termios tio{};
    if (code == 0 || tcgetattr(fd_, &tio) != 0) return false;
    cfsetispeed(&tio, code);
    cfsetospeed(&tio, code);
    return tcsetattr(fd_, TCSANOW, &tio) == 0;
  }

  int wait_readable(int timeout_ms) override {
    const std::uint64_t deadline = monotonic_ms() + static_cast<std::uint64_t>(timeout_ms);
    for (;;) {
      const std::uint64_t now = monotonic_ms();
      const int left = now >= deadline ? 0 : static_cast<int>(deadline - now);
      pollfd p{fd_, POLLIN, 0};
      const int r = ::poll(&p, 1, left);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) return -1;
      if (r == 0) return 0;
      // A hung-up port reports itself readable as well, but every read finds nothing.
      if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return -1;
      return 1;
    }
  }

  void purge() override { tcflush(fd_, TCIOFLUSH); }

 private:
  int fd_;
};

}  // namespace

std::string serial_device_name(int n) {
  const std::string var = "QUADRIMON_COM" + std::to_string(n);
  if (auto named = env_var(var.c_str()); named && !named->empty()) return *named;
  return "/dev/ttyS" + std::to_string(n - 1);
}

std::vector<SerialAdapter> serial_adapters(const std::filesystem::path& dev) {
  namespace fs = std::filesystem;
  std::vector<SerialAdapter> adapters;
  std::error_code error;
  auto kernel_names = [&](auto&& take) {
    for (fs::directory_iterator it(dev, error), end; !error && it != end; it.increment(error)) {
      const std::string name = it->path().filename().string();
      if (name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0) take(name);
    }
  };
  kernel_names([&](const std::string& name) {
    adapters.push_back({(dev / name).string(), name, {}});
  });
  // The by-id links name their device relative to themselves (../../ttyUSB0).
  const fs::path by_id = dev / "serial" / "by-id";
  for (fs::directory_iterator it(by_id, error), end; !error && it != end; it.increment(error)) {
    std::error_code link_error;
    const fs::path target = fs::read_symlink(it->path(), link_error);
    if (link_error) continue;
    const std::string name = target.filename().string();
    for (SerialAdapter& adapter : adapters) {
      if (adapter.name == name && adapter.id.empty()) {
        adapter.id = it->path().filename().string();
        adapter.device = it->path().string();
      }
    }
  }
  // ttyACM before ttyUSB, and ttyUSB2 before ttyUSB10.
  auto key = [](const std::string& name) {
    const std::string digits = name.substr(6);
    return std::make_tuple(name.substr(0, 6), digits.size(), digits);
  };
  std::sort(adapters.begin(), adapters.end(), [&](const SerialAdapter& a, const SerialAdapter& b) {
    return key(a.name) < key(b.name);
  });
  return adapters;
}

std::unique_ptr<SerialDevice> SerialDevice::open(const std::string& device, std::error_code* why) {
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (why) why->assign(errno, std::generic_category());
    return nullptr;
  }
  if (!isatty(fd)) {
    ::close(fd);
    return nullptr;
  }
  (void)ioctl(fd, TIOCEXCL);  // no other program may open the port while we hold it
  auto port = std::make_unique<PosixSerial>(fd);
  if (!port->configure()) return nullptr;
  return port;
}

}  // namespace qm::platform
