// Fuzz target: any bytes as what arrives on the serial line. Every frame the receiver accepts
// must be one a unit could have sent: 2 to 79 message bytes which, with the checksum read from
// the line, add up to zero, and which come back unchanged when framed again and received by a
// fresh receiver.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "link/serial_framing.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Event = qm::SerialReceiver::Event;

void check(bool holds) {
  if (!holds) __builtin_trap();
}

Bytes message_of(const qm::UnitFrame& frame) {
  return Bytes(frame.message.begin(), frame.message.begin() + frame.count);
}

// The message a fresh receiver takes from `wire` when its last byte completes a frame.
std::optional<Bytes> receive_whole(std::span<const std::uint8_t> wire) {
  qm::SerialReceiver receiver;
  for (std::size_t i = 0; i + 1 < wire.size(); ++i) {
    if (receiver.feed(wire[i]) == Event::Frame) return std::nullopt;
  }
  if (wire.empty() || receiver.feed(wire.back()) != Event::Frame) return std::nullopt;
  return message_of(receiver.frame());
}

// The bytes between a frame's start and end, with every escape undone.
Bytes unescape(std::span<const std::uint8_t> inside) {
  Bytes out;
  for (std::size_t i = 0; i < inside.size(); ++i) {
    if (inside[i] == qm::kFrameEscape && i + 1 < inside.size()) {
      out.push_back(static_cast<std::uint8_t>(inside[++i] ^ 0x20));
    } else {
      out.push_back(inside[i]);
    }
  }
  return out;
}

// The frame ending at data[end] must be read, whole, from a start byte before it: the nearest
// one from which a fresh receiver reads the same message. What stands between them is the
// message and a checksum that brings the sum to zero.
void check_against_line(std::span<const std::uint8_t> data, std::size_t end, const Bytes& message) {
  for (std::size_t start = end; start-- > 0;) {
    if (data[start] != qm::kFrameStart) continue;
    const auto wire = data.subspan(start, end - start + 1);
    if (receive_whole(wire) != message) continue;
    const Bytes content = unescape(wire.subspan(1, wire.size() - 2));
    check(content.size() == message.size() + 1);
    check(std::equal(message.begin(), message.end(), content.begin()));
    std::uint8_t sum = 0;
    for (std::uint8_t b : content)
      sum = static_cast<std::uint8_t>(sum + b);
    check(sum == 0);
    return;
  }
  check(false);  // no start byte leads to this frame
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  qm::SerialReceiver receiver;
  for (std::size_t i = 0; i < size; ++i) {
    const Event event = receiver.feed(data[i]);
    if (event == Event::Stray) check(data[i] != qm::kFrameStart);
    if (event != Event::Frame) continue;

    const qm::UnitFrame& frame = receiver.frame();
    check(frame.count >= 2 && frame.count <= qm::kMaxFrameContent - 1);
    check(data[i] == qm::kFrameEnd);
    const Bytes message = message_of(frame);
    check_against_line(input, i, message);

    const Bytes framed = qm::encode_serial_frame(message);
    check(receive_whole(framed) == message);
  }
  return 0;
}
