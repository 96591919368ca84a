// The two transports of the link: the serial port and the TCP connection to the gateway.
#include <algorithm>
#include <cstring>

#include "base/text_format.h"
#include "link/link.h"
#include "platform/clock.h"
#include "platform/digest.h"

namespace qm {

std::string link_status_text(bool ip, int com_port) {
  if (ip) return " TCP/IP";
  if (com_port < 0) return "   -";
  return strprintf(" COM%u:", static_cast<unsigned>(com_port + 1));
}

std::array<std::uint8_t, 21> authentication_block(const std::string& secret) {
  std::array<std::uint8_t, 21> block{};
  block[0] = 2;
  const auto digest = platform::md5_digest(
      {block, std::span(reinterpret_cast<const std::uint8_t*>(secret.data()), secret.size())});
  std::copy(digest.begin(), digest.end(), block.begin() + 5);
  return block;
}

Link::Link(SettingsValues& settings, TrafficLog& log, OperatorUi& ui, TickClock& clock)
    : settings_(settings), log_(log), ui_(ui), clock_(clock) {}

Link::~Link() = default;

void Link::set_port_device(int n, std::string device) {
  port_devices_[n] = std::move(device);
}

std::string Link::port_device(int n) const {
  auto it = port_devices_.find(n);
  return it != port_devices_.end() ? it->second : platform::serial_device_name(n);
}

Link::Route Link::route() const {
  if (settings_.ip) return socket_ ? Route::Tcp : Route::None;
  return port_ ? Route::Serial : Route::None;
}

void Link::show_link_status() {
  ui_.show_link_status(link_status_text(settings_.ip, settings_.com_port));
}

// --- Serial port ----------------------------------------------------------------------

std::unique_ptr<SerialPort> Link::com_open(int n) const {
  auto device = platform::SerialDevice::open(port_device(n));
  if (!device) return nullptr;
  auto port = std::make_unique<SerialPort>();
  port->device = std::move(device);
  return port;
}

void Link::com_close(std::unique_ptr<SerialPort> port) {
  port.reset();  // the device drops unread input and closes; written output still goes out
}

std::size_t Link::com_read(SerialPort& port, std::size_t n, std::uint8_t* buffer) {
  if (port.ahead_begin == port.ahead_end && port.device) {
    port.ahead_begin = 0;
    port.ahead_end = port.device->read(port.ahead, sizeof port.ahead);
  }
  const std::size_t take = std::min(n, port.ahead_end - port.ahead_begin);
  std::memcpy(buffer, port.ahead + port.ahead_begin, take);
  port.ahead_begin += take;
  return take;
}

int Link::com_write(SerialPort& port, const std::uint8_t* bytes, std::size_t count) {
  if (!port.device) return 1;
  return port.device->write(bytes, count) ? 1 : 0;
}

int Link::com_read_byte() {
  std::uint8_t b = 0;
  if (!port_ || com_read(*port_, 1, &b) == 0) return -1;
  return b;
}

int Link::com_write_byte(std::uint8_t byte) {
  if (!port_) return 1;
  return com_write(*port_, &byte, 1);
}

bool Link::write_byte_patiently(std::uint8_t byte) {
  std::uint32_t first_refusal = 0;
  bool refused = false;
  for (;;) {
    if (com_write_byte(byte) != 0) return true;
    const std::uint32_t now = tick_ms();
    if (!refused) {
      refused = true;
      first_refusal = now;
    } else if (now - first_refusal >= kWriteRetryMs) {
      const int port_number = settings_.com_port + 1;
      com_release();
      show_link_status();
      ui_.show_status(strprintf(kStatusPortLost, port_number));
      return false;
    }
    platform::sleep_ms(10);  // a refused write returns at once: do not hammer the driver
  }
}

int Link::com_set_speed(std::uint32_t baud) {
  if (!port_) return -1;
  if (port_->baud == baud) return 0;
  port_->baud = baud;
  return port_->device->set_baud(baud) ? 0 : -1;
}

int Link::com_select_port(int n) {
  if (n != settings_.com_port + 1) {
    auto opened = com_open(n);
    if (!opened) return -1;
    com_close(std::move(port_));
    port_ = std::move(opened);
    serial_rx_ = SerialReceiver{};
    settings_.com_port = n - 1;
  }
  if (settings_.ip) tcp_disconnect();
  return n;
}

int Link::com_open_configured() {
  tick_reset();
  if (settings_.com_port == -1) return 0;
  auto opened = com_open(settings_.com_port + 1);
  if (!opened) {
    settings_.com_port = -1;
    return 0;
  }
  com_close(std::move(port_));
  port_ = std::move(opened);
  return 1;
}

void Link::com_release() {
  com_close(std::move(port_));
  port_.reset();
  settings_.com_port = -1;
}

// --- TCP link ---------------------------------------------------------------------------

int Link::tcp_fail(const std::string& text) {
  tcp_disconnect();
  ui_.show_status(text);
  return 0;
}

int Link::tcp_connect() {
  tick_reset();
  if (socket_) return 0;
  const std::string address = platform::format_ipv4(settings_.address);
  const int port = settings_.tcp_port;

  auto socket = platform::TcpSocket::create();
  if (!socket) return tcp_fail(strprintf(kStatusUnableToInitialise, address.c_str(), port));
  if (!socket->set_option(platform::SocketOption::KeepAlive, 1))
    return tcp_fail(strprintf(kStatusNoKeepAlive, address.c_str(), port));
  if (!socket->set_option(platform::SocketOption::NoDelay, 1))
    return tcp_fail(strprintf(kStatusNoNoDelay, address.c_str(), port));
  if (!socket->set_option(platform::SocketOption::ReceiveTimeout, 50))
    return tcp_fail(strprintf(kStatusUnableToInitialise, address.c_str(), port));

  ui_.show_status(strprintf(kStatusConnecting, address.c_str(), port));
  if (!socket->connect(settings_.address, settings_.tcp_port, kConnectTimeoutMs))
    return tcp_fail(kStatusUnableToConnect);
  socket_ = std::move(socket);
  tcp_begin_ = tcp_end_ = 0;

  if (!settings_.key.empty()) {
    ui_.show_status(kStatusAuthenticating);
    const auto block = authentication_block(settings_.key);
    if (!tcp_send_frame(kTcpAuthentication, block.data(), block.size())) return 0;
    const int ready = socket_->wait_readable(kAuthenticationWaitMs);
    if (ready < 0) return tcp_fail(kStatusServerDisconnected);
    if (ready == 0) return tcp_fail(kStatusAuthTimeout);
    std::uint8_t reply[80] = {};
    const long got = socket_->receive(reply, sizeof reply);
    if (got <= 0) return tcp_fail(kStatusServerDisconnected);
    // Only a 3-byte reply is inspected: its third byte accepts (non-zero) or rejects.
    if (got == 3 && reply[2] == 0) return tcp_fail(kStatusAuthFailure);
  }

  ui_.clear_status();
  settings_.ip = true;
  show_link_status();
  return 1;
}

void Link::tcp_disconnect() {
  settings_.ip = false;
  if (socket_) {
    socket_.reset();
    tcp_begin_ = tcp_end_ = 0;
    ui_.remote_link_dropped();
  }
  show_link_status();
}

bool Link::tcp_send_frame(std::uint8_t kind, const std::uint8_t* payload, std::size_t n) {
  if (!socket_ || n > kMaxTcpPayload) return false;
  std::uint8_t frame[kMaxTcpPayload + 2];
  frame[0] = static_cast<std::uint8_t>(n + 2);
  frame[1] = kind;
  if (n > 0) std::memcpy(frame + 2, payload, n);
  if (!socket_->send(frame, n + 2)) {
    ui_.show_status(kStatusSendFailure);
    tcp_disconnect();
    return false;
  }
  if (kind != kTcpAuthentication) ui_.flash_activity(Activity::Transmit);
  return true;
}

void Link::link_output_raw(std::size_t count, const std::uint8_t* bytes) {
  if (settings_.ip) {
    tcp_send_frame(kTcpRawOutput, bytes, count);
    return;
  }
  for (std::size_t i = 0; i < count && port_; ++i)
    write_byte_patiently(bytes[i]);
}

}  // namespace qm
