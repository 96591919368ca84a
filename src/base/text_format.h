// printf-style formatting into a std::string, for the system's fixed message formats.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

#if defined(__GNUC__)
#define QM_PRINTF_LIKE(format_index, first_arg) \
  __attribute__((format(printf, format_index, first_arg)))
#else
#define QM_PRINTF_LIKE(format_index, first_arg)
#endif

namespace qm {

inline std::string vstrprintf(const char* format, va_list args) QM_PRINTF_LIKE(1, 0);
inline std::string vstrprintf(const char* format, va_list args) {
  va_list sizing;
  va_copy(sizing, args);
  const int n = std::vsnprintf(nullptr, 0, format, sizing);
  va_end(sizing);
  std::string text;
  if (n > 0) {
    text.resize(static_cast<std::size_t>(n));
    std::vsnprintf(text.data(), text.size() + 1, format, args);
  }
  return text;
}

inline std::string strprintf(const char* format, ...) QM_PRINTF_LIKE(1, 2);
inline std::string strprintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = vstrprintf(format, args);
  va_end(args);
  return text;
}

}  // namespace qm
