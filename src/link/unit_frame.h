// A unit message as the link delivers it: a count byte followed by the message bytes
// (type, address, function code, data). Both links deliver this same layout.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace qm {

inline constexpr std::uint8_t kDeviceUnit = 7;         // the units' device number
inline constexpr std::uint8_t kTypeReply = 0x10;       // set in a unit's reply
inline constexpr std::uint8_t kTypePoll = 0x40;        // set in a poll frame
inline constexpr std::uint8_t kTypeBroadcast = 0x80;   // set when addressed to all units
inline constexpr std::uint8_t kAddressAll = 255;       // address of every unit
inline constexpr std::size_t kMaxSendData = 76;        // data bytes a sent message may hold
inline constexpr std::size_t kMessageHeaderBytes = 3;  // type, address and function code

struct UnitFrame {
  std::uint8_t count = 0;  // message bytes that follow (checksum excluded)
  // type, address, function code, data; a TCP frame may carry up to 253 message bytes
  std::array<std::uint8_t, 253> message{};

  std::uint8_t type() const { return message[0]; }
  std::uint8_t address() const { return message[1]; }
  std::uint8_t function() const { return message[2]; }
  // The data bytes: empty when the message holds no more than type, address and function.
  std::span<const std::uint8_t> data() const {
    const std::size_t n = count < message.size() ? count : message.size();
    return n > kMessageHeaderBytes
               ? std::span<const std::uint8_t>(message.data() + kMessageHeaderBytes,
                                               n - kMessageHeaderBytes)
               : std::span<const std::uint8_t>();
  }
};

}  // namespace qm
