#include "compiler/numbers.h"

#include <cctype>

namespace qm {

inline constexpr std::size_t kMaxNumberToken = 15;
inline constexpr long kMostNegative = 32768;
inline constexpr long kMostPositive = 65535;

ParsedNumber parse_number(std::string_view token, int radix) {
  if (token.size() > kMaxNumberToken) return {0, NumberError::TooLong};
  std::string t(token);
  for (char& c : t)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

  std::string_view digits(t);
  bool negative = false;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  int base = radix;
  if (digits.starts_with("0x")) {
    base = 16;
    digits.remove_prefix(2);
  } else if (!digits.empty()) {
    const char last = digits.back();
    if (last == 'h') {
      base = 16;
      digits.remove_suffix(1);
    } else if (radix <= 10 && (last == 'b' || last == 'd')) {
      base = last == 'b' ? 2 : 10;
      digits.remove_suffix(1);
    }
  }

  long value = 0;
  for (char c : digits) {
    int d = 0;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else {
      return {0, NumberError::Invalid};
    }
    if (d >= base) return {0, NumberError::Invalid};
    value = value * base + d;
    if (value > kMostPositive) return {0, NumberError::Invalid};
  }
  if (negative && value > kMostNegative) return {0, NumberError::Invalid};
  return {static_cast<int>(negative ? -value : value), NumberError::None};
}

ParsedBytes parse_byte_values(std::string_view text, int radix) {
  ParsedBytes out;
  auto is_separator = [](char c) { return c == ' ' || c == ',' || c == '\t'; };
  std::size_t i = 0;
  while (i < text.size()) {
    if (is_separator(text[i])) {
      ++i;
      continue;
    }
    if (text[i] == '"') {
      const std::size_t close = text.find('"', i + 1);
      const std::size_t end = close == std::string_view::npos ? text.size() : close;
      for (std::size_t k = i + 1; k < end; ++k)
        out.bytes.push_back(static_cast<std::uint8_t>(text[k]));
      i = close == std::string_view::npos ? end : close + 1;
      continue;
    }
    std::size_t end = i;
    while (end < text.size() && !is_separator(text[end]))
      ++end;
    const std::string_view token = text.substr(i, end - i);
    i = end;
    const bool word = token.front() == '&';
    const ParsedNumber n = parse_number(word ? token.substr(1) : token, radix);
    if (!n || (!word && n.value > 255)) {
      out.bad_token = std::string(token);
      out.error = n ? NumberError::Invalid : n.error;
      return out;
    }
    const auto v = static_cast<std::uint16_t>(n.value);
    out.bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
    if (word) out.bytes.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  return out;
}

}  // namespace qm
