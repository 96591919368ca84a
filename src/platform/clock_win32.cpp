#include "platform/win32.h"

#include <ctime>

#include "platform/clock.h"

namespace qm::platform {

std::uint64_t monotonic_ms() {
  return GetTickCount64();
}

void sleep_ms(std::uint32_t ms) {
  Sleep(ms);
}

LocalTime local_time_now() {
  SYSTEMTIME st{};
  GetLocalTime(&st);
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char text[32] = {};
  _snprintf_s(text, sizeof text, _TRUNCATE, "%s %s %2u %02u:%02u:%02u %u", kDays[st.wDayOfWeek % 7],
              kMonths[(st.wMonth + 11) % 12], st.wDay, st.wHour, st.wMinute, st.wSecond, st.wYear);
  return {text, static_cast<unsigned short>(st.wMilliseconds)};
}

}  // namespace qm::platform
