// Firmware files for tests: system file images and packages put together byte by byte, as a
// maker's tools would write them, independent of the program's own package writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "link/link.h"
#include "link/unit_frame.h"

namespace qm::test {

// A system file image of n bytes: signature, version, mask and a filler.
inline std::vector<std::uint8_t> system_image(std::size_t n, int major, int minor,
                                              std::uint16_t mask, bool signed_ = true) {
  std::vector<std::uint8_t> b(n, 0);
  for (std::size_t i = 0; i < n; ++i)
    b[i] = static_cast<std::uint8_t>(i * 37 + 11);
  if (n < 24) return b;
  b[0] = signed_ ? 0xF3 : 0x00;
  b[1] = signed_ ? 0xC3 : 0x00;
  std::memcpy(&b[4], "BIN", 3);
  b[14] = static_cast<std::uint8_t>(major);
  b[15] = static_cast<std::uint8_t>(minor);
  b[22] = static_cast<std::uint8_t>(mask & 0xFF);
  b[23] = static_cast<std::uint8_t>(mask >> 8);
  return b;
}

struct PackedImage {
  std::uint16_t mask;
  int major;
  int minor;
  std::vector<std::uint8_t> body;
  std::uint8_t type = 0;
};

// A package put together by hand, byte by byte.
inline std::vector<std::uint8_t> package(const std::vector<PackedImage>& entries,
                                         bool closed = true, std::uint8_t version = 0) {
  std::vector<std::uint8_t> b{'P', 'A', 'C', 'K', 'A', 'G', 'E', version};
  for (const PackedImage& e : entries) {
    const auto n = static_cast<std::uint32_t>(e.body.size());
    for (int s = 0; s < 32; s += 8)
      b.push_back(static_cast<std::uint8_t>(n >> s));
    b.push_back(e.type);
    b.push_back(static_cast<std::uint8_t>(e.mask & 0xFF));
    b.push_back(static_cast<std::uint8_t>(e.mask >> 8));
    b.push_back(static_cast<std::uint8_t>(e.major));
    b.push_back(static_cast<std::uint8_t>(e.minor));
    b.insert(b.end(), e.body.begin(), e.body.end());
  }
  if (closed) b.insert(b.end(), 4, 0);
  return b;
}

// The firmware version unit 0 runs ("5.1"), from its software version reply; "none" without one.
inline std::string running_version(Link& link) {
  const auto reply = link.unit_get(kDeviceUnit, 0, 4, {});
  if (!reply || reply->data().size() < 2) return "none";
  return std::to_string(reply->data()[0]) + "." + std::to_string(reply->data()[1]);
}

}  // namespace qm::test
