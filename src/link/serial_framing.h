// Unit messages on the serial line: '~' message checksum '}', with the three special bytes
// escaped, and the receiver that takes frames apart byte by byte.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "link/unit_frame.h"

namespace qm {

inline constexpr std::uint8_t kFrameStart = 0x7E;    // '~': begins a frame, never escaped
inline constexpr std::uint8_t kFrameEnd = 0x7D;      // '}': ends a frame, never escaped
inline constexpr std::uint8_t kFrameEscape = 0x7C;   // '|': the next byte is XOR 0x20
inline constexpr std::size_t kMaxFrameContent = 80;  // message + checksum after unescaping

// The checksum that makes the 8-bit sum of the message and itself zero.
std::uint8_t frame_checksum(std::span<const std::uint8_t> message);

// The bytes on the wire for one message: start, escaped message and checksum, end.
std::vector<std::uint8_t> encode_serial_frame(std::span<const std::uint8_t> message);
// The same with a given checksum byte (a simulated unit sends a wrong one on request).
std::vector<std::uint8_t> encode_serial_frame(std::span<const std::uint8_t> message,
                                              std::uint8_t checksum);

// The serial receiver. It drops a frame, silently, when:
//  - its bytes and checksum do not add up to zero;
//  - fewer than two message bytes remain once the checksum is removed (an empty frame too);
//  - a start byte arrives inside it (that byte does not begin a new frame: what follows is
//    lost up to the next start byte);
//  - more than 80 bytes stand between start and end.
// Bytes outside any frame are stray and ignored.
class SerialReceiver {
 public:
  enum class Event {
    None,   // the byte was taken into (or ended) a frame still incomplete or dropped
    Frame,  // the byte completed a valid frame: see frame()
    Stray,  // the byte arrived outside any frame
  };

  Event feed(std::uint8_t byte);
  // The frame completed by the last feed that returned Frame.
  const UnitFrame& frame() const { return frame_; }

 private:
  enum class State { Idle, InFrame, Escaped };
  void store(std::uint8_t value);

  State state_ = State::Idle;
  std::size_t count_ = 0;
  std::uint8_t sum_ = 0;
  std::uint8_t content_[kMaxFrameContent] = {};
  UnitFrame frame_;
};

}  // namespace qm
