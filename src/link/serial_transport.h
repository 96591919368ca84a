// The serial port as a transport: unit messages framed and escaped byte by byte, every byte
// both ways in the traffic log; raw output unframed and unlogged.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "base/operator_ui.h"
#include "link/link_transport.h"
#include "link/serial_framing.h"
#include "link/tick_clock.h"
#include "link/traffic_log.h"
#include "platform/serial.h"

namespace qm {

inline constexpr std::uint32_t kSerialReplyWaitMs = 50;
// A byte write refused for this long means the port is gone.
inline constexpr std::uint32_t kWriteRetryMs = 1000;

// An open serial port with the bytes read ahead from its driver.
struct SerialPort {
  std::unique_ptr<platform::SerialDevice> device;
  std::uint32_t baud = 19200;
  std::uint8_t ahead[256] = {};
  std::size_t ahead_begin = 0;
  std::size_t ahead_end = 0;
};

// Takes at most n queued bytes from the port; 0 when nothing is queued. Never waits.
std::size_t serial_port_read(SerialPort& port, std::size_t n, std::uint8_t* buffer);
// 1 written (also without a device), 0 when the driver refused the write.
int serial_port_write(SerialPort& port, const std::uint8_t* bytes, std::size_t count);

class SerialTransport final : public LinkTransport {
 public:
  // lost: called when a byte write stayed refused for kWriteRetryMs, or when a wait finds
  // the port hung up; the port is then to be released (the call may close it through
  // detach()).
  SerialTransport(TrafficLog& log, OperatorUi& ui, TickClock& clock, std::function<void()> lost);

  // Takes over an open port; the receiver's state is kept.
  void attach(std::unique_ptr<SerialPort> port) { port_ = std::move(port); }
  // Gives the port up (none when none is open).
  std::unique_ptr<SerialPort> detach() { return std::move(port_); }
  SerialPort* port() { return port_.get(); }
  // The receiver starts afresh: a frame begun on another port is forgotten.
  void reset_receiver() { receiver_ = SerialReceiver{}; }

  // The next queued byte, or -1 when no port is open or nothing is queued.
  int read_byte();
  // Non-zero when written or when no port is open, 0 when the write was refused.
  int write_byte(std::uint8_t byte);

  void send_message(std::span<const std::uint8_t> message) override;
  void send_poll(std::uint8_t type, std::uint8_t address) override;
  void send_raw(std::span<const std::uint8_t> bytes) override;
  std::optional<UnitFrame> receive() override;
  void wait_for_input(int timeout_ms) override;
  std::uint32_t reply_wait_ms() const override { return kSerialReplyWaitMs; }
  bool usable() const override { return port_ != nullptr; }

 private:
  // Writes one byte, retrying a refused write for at most kWriteRetryMs; then reports the
  // port lost. False when the byte was not written.
  bool write_byte_patiently(std::uint8_t byte);

  TrafficLog& log_;
  OperatorUi& ui_;
  TickClock& clock_;
  std::function<void()> lost_;
  std::unique_ptr<SerialPort> port_;
  SerialReceiver receiver_;
};

}  // namespace qm
