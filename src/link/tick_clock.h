// The millisecond clock on which every wait of the link and the runner is timed.
#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace qm {

class TickClock {
 public:
  using Source = std::uint64_t (*)();
  explicit TickClock(Source source = platform::monotonic_ms) : source_(source), base_(source()) {}

  // Milliseconds since the last tick_reset, wrapping at 2^32 like the units' own counters.
  std::uint32_t tick_ms() const { return static_cast<std::uint32_t>(source_() - base_); }
  // The next tick_ms starts from 0.
  void tick_reset() { base_ = source_(); }

 private:
  Source source_;
  std::uint64_t base_;
};

}  // namespace qm
