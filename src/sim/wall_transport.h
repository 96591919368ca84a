// The simulated wall as a transport of the program's own link, without a cable between: each
// message goes straight to the wall, and what the units send back to a poll waits in a queue
// for the link to take. The wall applies the bus rules itself (a reply waits for the poll of
// its unit, broadcasts go unanswered, silenced units say nothing), so the protocol sees what
// it would see on the serial line, only without the line's time.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <span>

#include "base/operator_ui.h"
#include "link/link_transport.h"
#include "link/serial_transport.h"
#include "sim/wall.h"

namespace qm::sim {

class WallTransport final : public LinkTransport {
 public:
  // ui: where the transmit and receive indicators are lit, as the other transports do.
  WallTransport(SimWall& wall, OperatorUi& ui, std::uint32_t reply_wait_ms = kSerialReplyWaitMs);

  void send_message(std::span<const std::uint8_t> message) override;
  void send_poll(std::uint8_t type, std::uint8_t address) override;
  // Raw output reaches the wall's output record, as the gateway's kind-2 frames do.
  void send_raw(std::span<const std::uint8_t> bytes) override;
  std::optional<UnitFrame> receive() override;
  // Nothing arrives unasked: with the queue empty this sleeps, letting the units' own
  // sequences run when one is due.
  void wait_for_input(int timeout_ms) override;
  std::uint32_t reply_wait_ms() const override { return reply_wait_ms_; }
  bool usable() const override { return true; }

 private:
  SimWall& wall_;
  OperatorUi& ui_;
  std::uint32_t reply_wait_ms_;
  std::deque<Bytes> answers_;
};

}  // namespace qm::sim
