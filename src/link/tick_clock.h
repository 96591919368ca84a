// The millisecond clock on which every wait of the link and the runner is timed. The link
// thread may restart it while the GUI thread reads it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <utility>

#include "platform/clock.h"

namespace qm {

class TickClock {
 public:
  // Milliseconds from a fixed point: the monotonic clock, or a test's clock.
  using Source = std::function<std::uint64_t()>;
  explicit TickClock(Source source = platform::monotonic_ms)
      : source_(std::move(source)), base_(source_()) {}
  // Changes the source (tests); the count restarts at 0.
  void set_source(Source source) {
    source_ = std::move(source);
    base_ = source_();
  }

  // Milliseconds since the last tick_reset, wrapping at 2^32 like the units' own counters.
  std::uint32_t tick_ms() const { return static_cast<std::uint32_t>(source_() - base_.load()); }
  // The next tick_ms starts from 0.
  void tick_reset() { base_ = source_(); }

 private:
  Source source_;
  std::atomic<std::uint64_t> base_;
};

}  // namespace qm
