#include "link/serial_transport.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"

namespace qm {

// A receive call takes at most this many bytes; the rest stays queued.
inline constexpr int kSerialReceiveBudget = 81;

std::size_t serial_port_read(SerialPort& port, std::size_t n, std::uint8_t* buffer) {
  if (port.ahead_begin == port.ahead_end && port.device) {
    port.ahead_begin = 0;
    port.ahead_end = port.device->read(port.ahead, sizeof port.ahead);
  }
  const std::size_t take = std::min(n, port.ahead_end - port.ahead_begin);
  std::memcpy(buffer, port.ahead + port.ahead_begin, take);
  port.ahead_begin += take;
  return take;
}

int serial_port_write(SerialPort& port, const std::uint8_t* bytes, std::size_t count) {
  if (!port.device) return 1;
  return port.device->write(bytes, count) ? 1 : 0;
}

SerialTransport::SerialTransport(TrafficLog& log, OperatorUi& ui, TickClock& clock,
                                 std::function<void()> lost)
    : log_(log), ui_(ui), clock_(clock), lost_(std::move(lost)) {}

int SerialTransport::read_byte() {
  std::uint8_t b = 0;
  if (!port_ || serial_port_read(*port_, 1, &b) == 0) return -1;
  return b;
}

int SerialTransport::write_byte(std::uint8_t byte) {
  if (!port_) return 1;
  return serial_port_write(*port_, &byte, 1);
}

bool SerialTransport::write_byte_patiently(std::uint8_t byte) {
  std::uint32_t first_refusal = 0;
  bool refused = false;
  for (;;) {
    if (write_byte(byte) != 0) return true;
    const std::uint32_t now = clock_.tick_ms();
    if (!refused) {
      refused = true;
      first_refusal = now;
    } else if (now - first_refusal >= kWriteRetryMs) {
      lost_();
      return false;
    }
    platform::sleep_ms(10);  // a refused write returns at once: do not hammer the driver
  }
}

// --- Sending ------------------------------------------------------------------------------

void SerialTransport::send_message(std::span<const std::uint8_t> message) {
  ui_.flash_activity(Activity::Transmit);
  for (std::uint8_t b : encode_serial_frame(message)) {
    if (b == kFrameStart) log_.log_stamp(LogKind::Transmit);
    if (!write_byte_patiently(b)) return;  // the port was released
    log_.log_hex(b);
    if (b == kFrameEnd) log_.log_newline();
  }
}

void SerialTransport::send_poll(std::uint8_t type, std::uint8_t address) {
  const std::uint8_t message[2] = {type, address};
  send_message(message);
}

void SerialTransport::send_raw(std::span<const std::uint8_t> bytes) {
  for (std::size_t i = 0; i < bytes.size() && port_; ++i)
    write_byte_patiently(bytes[i]);
}

// --- Receiving ----------------------------------------------------------------------------

std::optional<UnitFrame> SerialTransport::receive() {
  for (int budget = kSerialReceiveBudget; budget > 0; --budget) {
    const int got = read_byte();
    if (got < 0) break;
    const auto b = static_cast<std::uint8_t>(got);
    if (b == kFrameStart) log_.log_stamp(LogKind::Receive);
    log_.log_hex(b);
    const SerialReceiver::Event event = receiver_.feed(b);
    if (event == SerialReceiver::Event::Stray) log_.log_char(b);
    if (b == kFrameEnd) log_.log_newline();
    if (event == SerialReceiver::Event::Frame) {
      ui_.flash_activity(Activity::Receive);
      return receiver_.frame();
    }
  }
  return std::nullopt;
}

void SerialTransport::wait_for_input(int timeout_ms) {
  if (!port_) return;
  if (port_->ahead_begin != port_->ahead_end) return;
  // A port that hung up would report itself readable at once, every time: it is gone.
  if (port_->device->wait_readable(timeout_ms) < 0) lost_();
}

}  // namespace qm
