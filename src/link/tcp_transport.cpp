#include "link/tcp_transport.h"

#include <algorithm>
#include <cstring>

namespace qm {

TcpTransport::TcpTransport(OperatorUi& ui, std::function<void(TcpFailure)> failed)
    : ui_(ui), failed_(std::move(failed)) {}

void TcpTransport::attach(std::unique_ptr<platform::TcpSocket> socket) {
  socket_ = std::move(socket);
  received_.clear();
}

void TcpTransport::close() {
  socket_.reset();
  received_.clear();
}

// --- Sending ------------------------------------------------------------------------------

bool TcpTransport::send_frame(std::uint8_t kind, const std::uint8_t* payload, std::size_t n) {
  if (!socket_ || n > kMaxTcpPayload) return false;
  std::uint8_t frame[kMaxTcpPayload + 2];
  frame[0] = static_cast<std::uint8_t>(n + 2);
  frame[1] = kind;
  if (n > 0) std::memcpy(frame + 2, payload, n);
  if (!socket_->send(frame, n + 2)) {
    failed_(TcpFailure::Send);
    return false;
  }
  if (kind != kTcpAuthentication) ui_.flash_activity(Activity::Transmit);
  return true;
}

void TcpTransport::send_message(std::span<const std::uint8_t> message) {
  std::uint8_t payload[kMaxTcpPayload];
  const std::size_t n = std::min(message.size(), sizeof payload);
  std::memcpy(payload, message.data(), n);
  // The gateway takes a broadcast as address 0 with the broadcast bit.
  if (n >= 2 && (payload[0] & kTypeBroadcast)) payload[1] = 0;
  send_frame(kTcpUnitMessage, payload, n);
}

void TcpTransport::send_poll(std::uint8_t type, std::uint8_t address) {
  const std::uint8_t payload[2] = {type, address};
  send_frame(kTcpUnitMessage, payload, sizeof payload);
}

void TcpTransport::send_raw(std::span<const std::uint8_t> bytes) {
  send_frame(kTcpRawOutput, bytes.data(), bytes.size());
}

// --- Receiving ----------------------------------------------------------------------------

std::optional<UnitFrame> TcpTransport::receive() {
  if (!socket_) return std::nullopt;
  if (!received_.frame_buffered()) {
    const int ready = socket_->wait_readable(0);
    if (ready < 0) {
      failed_(TcpFailure::Receive);
      return std::nullopt;
    }
    if (ready == 0) return std::nullopt;
    const std::span<std::uint8_t> room = received_.room();
    const long got = socket_->receive(room.data(), room.size());
    if (got <= 0) {
      failed_(TcpFailure::Receive);
      return std::nullopt;
    }
    received_.received(static_cast<std::size_t>(got));
  }
  // Frames of other kinds are passed over, together with any buffered behind them, so that
  // one call (and so a drain) reaches the unit messages that follow them.
  auto frame = received_.take();
  while (frame && frame->kind != kTcpUnitMessage)
    frame = received_.take();
  if (!frame) return std::nullopt;
  UnitFrame unit;
  unit.count = static_cast<std::uint8_t>(frame->payload.size());
  std::copy(frame->payload.begin(), frame->payload.end(), unit.message.begin());
  ui_.flash_activity(Activity::Receive);
  return unit;
}

void TcpTransport::wait_for_input(int timeout_ms) {
  if (socket_ && !received_.frame_buffered()) socket_->wait_readable(timeout_ms);
}

}  // namespace qm
