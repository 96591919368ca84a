// Numbers and byte values as the sequence language writes them: 31, 1Fh, 0x1F, 11111b,
// &1234 (two bytes, low first), "text" (one byte per character).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

enum class NumberError {
  None,
  TooLong,  // 16 characters or more: "Symbol '%s' is too long"
  Invalid,  // not a number in its base, or out of range
};

// The number that stands for every unit where SEND takes an address, and for every device
// where it takes a device.
inline constexpr int kEveryUnitNumber = -1;

struct ParsedNumber {
  int value = 0;
  NumberError error = NumberError::None;
  explicit operator bool() const { return error == NumberError::None; }
};

// Converts one token in the current radix (2..16). A "0x" prefix or an "h" suffix selects
// base 16; while the radix is 10 or less a "b" suffix selects 2 and a "d" suffix 10. A
// leading sign is allowed; negative values reach -32768, positive ones 65535.
ParsedNumber parse_number(std::string_view token, int radix);

struct ParsedBytes {
  std::vector<std::uint8_t> bytes;
  std::optional<std::string> bad_token;  // the first token that did not convert
  NumberError error = NumberError::None;
  explicit operator bool() const { return !bad_token; }
};

// Converts an argument text into bytes. Tokens are split on space, "," and tab; a token that
// begins with a double quote runs to the closing quote and gives one byte per character; "&"
// and a number give the 16-bit value's low and high bytes; a number gives one byte (256 and
// up refused, negatives down to -32768 accepted as their low byte).
ParsedBytes parse_byte_values(std::string_view text, int radix);

}  // namespace qm
