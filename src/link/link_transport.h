// What the unit message protocol needs of a transport: sending a message, a poll or raw bytes,
// taking a complete frame when one has arrived, and waiting until input may be there. The
// link picks the transport for every operation by its routing rule; the protocol on top sees
// only this interface. The serial port and the TCP link are the two the program ships; a
// simulated wall can stand in for the serial port.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "link/unit_frame.h"

namespace qm {

class LinkTransport {
 public:
  virtual ~LinkTransport() = default;
  LinkTransport(const LinkTransport&) = delete;
  LinkTransport& operator=(const LinkTransport&) = delete;

  // Sends one unit message: type, address, function code, data.
  virtual void send_message(std::span<const std::uint8_t> message) = 0;
  // Sends a poll: the type byte (with the poll bit) and the address, as they are.
  virtual void send_poll(std::uint8_t type, std::uint8_t address) = 0;
  // Sends bytes as they are, outside any unit message.
  virtual void send_raw(std::span<const std::uint8_t> bytes) = 0;
  // The next complete frame if one has arrived; never waits.
  virtual std::optional<UnitFrame> receive() = 0;
  // Blocks until input may be ready (returns at once when some is) or timeout_ms pass.
  virtual void wait_for_input(int timeout_ms) = 0;
  // How long a request waits for its reply after each poll, in milliseconds.
  virtual std::uint32_t reply_wait_ms() const = 0;
  // False while the transport cannot carry anything (not open, released, dropped).
  virtual bool usable() const = 0;

 protected:
  LinkTransport() = default;
};

}  // namespace qm
