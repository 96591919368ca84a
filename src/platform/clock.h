// Clocks and sleeping: the monotonic millisecond count that every wait is timed on, and the
// local wall time used for the traffic log's stamps.
#pragma once

#include <cstdint>
#include <string>

namespace qm::platform {

// Milliseconds from an arbitrary fixed point; never steps backwards.
std::uint64_t monotonic_ms();

// Blocks the calling thread for ms milliseconds.
void sleep_ms(std::uint32_t ms);

struct LocalTime {
  std::string text;         // the standard 24-character form, "Sun Dec  6 01:41:35 2026"
  unsigned short millis{};  // 0..999
};

// The local date and time now.
LocalTime local_time_now();

}  // namespace qm::platform
