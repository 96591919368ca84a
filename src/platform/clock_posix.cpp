#include <ctime>

#include "platform/clock.h"

namespace qm::platform {

std::uint64_t monotonic_ms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
         static_cast<std::uint64_t>(ts.tv_nsec / 1000000);
}

void sleep_ms(std::uint32_t ms) {
  timespec ts{static_cast<time_t>(ms / 1000u), static_cast<long>(ms % 1000u) * 1000000L};
  while (nanosleep(&ts, &ts) != 0) {
    // interrupted by a signal: sleep what is left
  }
}

LocalTime local_time_now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local{};
  localtime_r(&ts.tv_sec, &local);
  char text[32] = {};
  strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y", &local);
  return {text, static_cast<unsigned short>(ts.tv_nsec / 1000000)};
}

}  // namespace qm::platform
