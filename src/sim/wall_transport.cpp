#include "sim/wall_transport.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"

namespace qm::sim {

WallTransport::WallTransport(SimWall& wall, OperatorUi& ui, std::uint32_t reply_wait_ms)
    : wall_(wall), ui_(ui), reply_wait_ms_(reply_wait_ms) {}

void WallTransport::send_message(std::span<const std::uint8_t> message) {
  ui_.flash_activity(Activity::Transmit);
  for (Bytes& answer : wall_.receive(message))
    answers_.push_back(std::move(answer));
}

void WallTransport::send_poll(std::uint8_t type, std::uint8_t address) {
  const std::uint8_t poll[2] = {type, address};
  send_message(poll);
}

void WallTransport::send_raw(std::span<const std::uint8_t> bytes) {
  wall_.record_output(bytes);
}

std::optional<UnitFrame> WallTransport::receive() {
  while (!answers_.empty()) {
    const Bytes answer = std::move(answers_.front());
    answers_.pop_front();
    UnitFrame frame;
    // What the serial receiver would drop never reaches the program either.
    if (answer.size() < 2 || answer.size() + 1 > kMaxFrameContent) continue;
    frame.count = static_cast<std::uint8_t>(answer.size());
    std::memcpy(frame.message.data(), answer.data(), answer.size());
    ui_.flash_activity(Activity::Receive);
    return frame;
  }
  return std::nullopt;
}

void WallTransport::wait_for_input(int timeout_ms) {
  if (!answers_.empty() || timeout_ms <= 0) return;
  auto sleep = static_cast<std::uint64_t>(timeout_ms);
  if (const auto due = wall_.tick()) {
    const std::uint64_t now = wall_.now();
    sleep = std::clamp<std::uint64_t>(*due > now ? *due - now : 0, 1, sleep);
  }
  platform::sleep_ms(static_cast<std::uint32_t>(sleep));
}

}  // namespace qm::sim
