// Unit replies made by hand, for tests of what the program takes from them.
#pragma once

#include <cstdint>
#include <vector>

#include "link/unit_frame.h"

namespace qm::test {

// A reply of a unit (type 0x17) to `function` carrying `data`.
inline UnitFrame reply_frame(std::uint8_t function, const std::vector<std::uint8_t>& data) {
  UnitFrame frame;
  frame.count = static_cast<std::uint8_t>(kMessageHeaderBytes + data.size());
  frame.message[0] = kTypeReply | kDeviceUnit;
  frame.message[2] = function;
  for (std::size_t i = 0; i < data.size(); ++i)
    frame.message[kMessageHeaderBytes + i] = data[i];
  return frame;
}

}  // namespace qm::test
