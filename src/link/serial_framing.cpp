#include "link/serial_framing.h"

#include <algorithm>

namespace qm {

namespace {

bool needs_escape(std::uint8_t b) {
  return b == kFrameEscape || b == kFrameEnd || b == kFrameStart;
}

void put_escaped(std::vector<std::uint8_t>& out, std::uint8_t b) {
  if (needs_escape(b)) {
    out.push_back(kFrameEscape);
    out.push_back(static_cast<std::uint8_t>(b ^ 0x20));
  } else {
    out.push_back(b);
  }
}

}  // namespace

std::uint8_t frame_checksum(std::span<const std::uint8_t> message) {
  std::uint8_t sum = 0;
  for (std::uint8_t b : message)
    sum = static_cast<std::uint8_t>(sum + b);
  return static_cast<std::uint8_t>(-sum);
}

std::vector<std::uint8_t> encode_serial_frame(std::span<const std::uint8_t> message) {
  return encode_serial_frame(message, frame_checksum(message));
}

std::vector<std::uint8_t> encode_serial_frame(std::span<const std::uint8_t> message,
                                              std::uint8_t checksum) {
  std::vector<std::uint8_t> out;
  out.reserve(2 * message.size() + 4);
  out.push_back(kFrameStart);
  for (std::uint8_t b : message)
    put_escaped(out, b);
  put_escaped(out, checksum);
  out.push_back(kFrameEnd);
  return out;
}

void SerialReceiver::store(std::uint8_t value) {
  content_[count_++] = value;
  sum_ = static_cast<std::uint8_t>(sum_ + value);
}

SerialReceiver::Event SerialReceiver::feed(std::uint8_t byte) {
  switch (state_) {
    case State::Idle:
      if (byte != kFrameStart) return Event::Stray;
      state_ = State::InFrame;
      count_ = 0;
      sum_ = 0;
      return Event::None;

    case State::InFrame:
      if (byte == kFrameEscape) {
        state_ = State::Escaped;
      } else if (byte == kFrameEnd) {
        state_ = State::Idle;
        if (sum_ != 0 || count_ < 3) return Event::None;  // bad sum, or < 2 message bytes
        frame_.count = static_cast<std::uint8_t>(count_ - 1);
        std::copy_n(content_, count_ - 1, frame_.message.begin());
        return Event::Frame;
      } else if (byte == kFrameStart || count_ == kMaxFrameContent) {
        state_ = State::Idle;  // stray start byte, or over-long frame
      } else {
        store(byte);
      }
      return Event::None;

    case State::Escaped:
      if (count_ == kMaxFrameContent) {
        state_ = State::Idle;
      } else {
        store(static_cast<std::uint8_t>(byte ^ 0x20));
        state_ = State::InFrame;
      }
      return Event::None;
  }
  return Event::None;
}

}  // namespace qm
