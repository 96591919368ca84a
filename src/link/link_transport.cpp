// The link's transports: opening, switching and closing the serial port and the TCP
// connection to the gateway, and the routing rule that picks the one carrying traffic.
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
    : settings_(settings),
      log_(log),
      ui_(ui),
      clock_(clock),
      serial_(log, ui, clock, [this] { serial_lost(); }),
      tcp_(ui, [this](TcpFailure failure) { tcp_failed(failure); }) {}

Link::~Link() = default;

void Link::set_port_device(int n, std::string device) {
  port_devices_[n] = std::move(device);
}

std::string Link::port_device(int n) const {
  if (auto it = port_devices_.find(n); it != port_devices_.end()) return it->second;
  if (!settings_.com_device.empty() && n == settings_.com_port + 1) return settings_.com_device;
  return platform::serial_device_name(n);
}

std::vector<platform::SerialAdapter> Link::serial_adapters() const {
  return platform::serial_adapters(device_folder_);
}

LinkTransport* Link::transport() {
  if (settings_.ip) return tcp_.usable() ? &tcp_ : nullptr;
  if (local_) return local_->usable() ? local_.get() : nullptr;
  return serial_.usable() ? &serial_ : nullptr;
}

void Link::set_local_transport(std::unique_ptr<LinkTransport> transport) {
  local_ = std::move(transport);
}

void Link::show_link_status() {
  ui_.show_link_status(link_status_text(settings_.ip, settings_.com_port));
}

// --- Serial port ----------------------------------------------------------------------

std::unique_ptr<SerialPort> Link::com_open(int n, std::error_code* why) const {
  auto device = platform::SerialDevice::open(port_device(n), why);
  if (!device) return nullptr;
  auto port = std::make_unique<SerialPort>();
  port->device = std::move(device);
  return port;
}

void Link::com_close(std::unique_ptr<SerialPort> port) {
  port.reset();  // the device drops unread input and closes; written output still goes out
}

std::size_t Link::com_read(SerialPort& port, std::size_t n, std::uint8_t* buffer) {
  return serial_port_read(port, n, buffer);
}

int Link::com_write(SerialPort& port, const std::uint8_t* bytes, std::size_t count) {
  return serial_port_write(port, bytes, count);
}

int Link::com_read_byte() {
  return serial_.read_byte();
}

int Link::com_write_byte(std::uint8_t byte) {
  return serial_.write_byte(byte);
}

void Link::serial_lost() {
  const int port_number = settings_.com_port + 1;
  com_release();
  show_link_status();
  ui_.show_status(strprintf(kStatusPortLost, port_number));
}

int Link::com_set_speed(std::uint32_t baud) {
  SerialPort* port = serial_.port();
  if (!port) return -1;
  if (port->baud == baud) return 0;
  port->baud = baud;
  return port->device->set_baud(baud) ? 0 : -1;
}

int Link::com_select_port(int n) {
  if (n != settings_.com_port + 1) {
    auto opened = com_open(n);
    if (!opened) return -1;
    com_close(serial_.detach());
    serial_.attach(std::move(opened));
    serial_.reset_receiver();
    settings_.com_port = n - 1;
    settings_.com_device.clear();  // it named the device of the port left
  }
  if (settings_.ip) tcp_disconnect();
  return n;
}

int Link::com_open_configured() {
  tick_reset();
  if (settings_.com_port == -1) return 0;
  std::error_code why;
  auto opened = com_open(settings_.com_port + 1, &why);
  if (!opened) {
    // The one failure the operator can mend: say it.
    if (why == std::errc::permission_denied || why == std::errc::operation_not_permitted)
      ui_.show_status(strprintf(kStatusPortDenied, port_device(settings_.com_port + 1).c_str()));
    settings_.com_port = -1;
    settings_.com_device.clear();
    return 0;
  }
  com_close(serial_.detach());
  serial_.attach(std::move(opened));
  return 1;
}

void Link::com_release() {
  com_close(serial_.detach());
  settings_.com_port = -1;
  settings_.com_device.clear();
}

// --- TCP link ---------------------------------------------------------------------------

int Link::tcp_fail(const std::string& text) {
  tcp_disconnect();
  ui_.show_status(text);
  return 0;
}

int Link::tcp_connect() {
  tick_reset();
  if (tcp_.usable()) return 0;
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
  platform::TcpSocket& connected = *socket;
  tcp_.attach(std::move(socket));

  if (!settings_.key.empty()) {
    ui_.show_status(kStatusAuthenticating);
    const auto block = authentication_block(settings_.key);
    if (!tcp_send_frame(kTcpAuthentication, block.data(), block.size())) return 0;
    TcpVerdict verdict;
    const std::uint64_t deadline = platform::monotonic_ms() + kAuthenticationWaitMs;
    while (!verdict.complete()) {
      const std::uint64_t now = platform::monotonic_ms();
      const int left = now >= deadline ? 0 : static_cast<int>(deadline - now);
      const int ready = connected.wait_readable(left);
      if (ready < 0) return tcp_fail(kStatusServerDisconnected);
      if (ready == 0) return tcp_fail(kStatusAuthTimeout);
      const std::span<std::uint8_t> room = verdict.room();
      const long n = connected.receive(room.data(), room.size());
      if (n <= 0) return tcp_fail(kStatusServerDisconnected);
      verdict.received(static_cast<std::size_t>(n));
    }
    if (!verdict.accepted()) return tcp_fail(kStatusAuthFailure);
  }

  ui_.clear_status();
  settings_.ip = true;
  show_link_status();
  return 1;
}

void Link::tcp_disconnect() {
  settings_.ip = false;
  if (tcp_.usable()) {
    tcp_.close();
    ui_.remote_link_dropped();
  }
  show_link_status();
}

void Link::tcp_failed(TcpFailure failure) {
  switch (failure) {
    case TcpFailure::Send:
      ui_.show_status(kStatusSendFailure);
      tcp_disconnect();
      return;
    case TcpFailure::Receive:
      tcp_disconnect();
      ui_.show_status(kStatusServerDisconnected);
      return;
  }
}

bool Link::tcp_send_frame(std::uint8_t kind, const std::uint8_t* payload, std::size_t n) {
  return tcp_.send_frame(kind, payload, n);
}

void Link::link_output_raw(std::size_t count, const std::uint8_t* bytes) {
  if (LinkTransport* t = transport()) t->send_raw({bytes, count});
}

}  // namespace qm
