#include "compiler/numbers.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(ParseNumber, PrefixesSuffixesAndRadix) {
  struct Case {
    const char* token;
    int radix;
    int value;
  };
  const Case cases[] = {
      {"31", 10, 31},  {"0x1F", 10, 31}, {"1Fh", 10, 31},      {"11111b", 10, 31},
      {"31d", 10, 31}, {"1f", 16, 31},   {"1b", 16, 27},       {"1d", 16, 29},
      {"-1", 10, -1},  {"+7", 10, 7},    {"65535", 10, 65535}, {"-32768", 10, -32768},
      {"", 10, 0},     {"777", 8, 511},  {"0X10", 2, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.token);
    const ParsedNumber n = parse_number(c.token, c.radix);
    ASSERT_TRUE(n);
    EXPECT_EQ(n.value, c.value);
  }
}

TEST(ParseNumber, RefusesBadDigitsRangeAndLength) {
  for (const char* token : {"65536", "-32769", "12a", "19", "1fb", "3-"}) {
    SCOPED_TRACE(token);
    const int radix = std::string(token) == "19" ? 8 : 10;
    EXPECT_EQ(parse_number(token, radix).error, NumberError::Invalid);
  }
  EXPECT_EQ(parse_number("0x", 10).value, 0);  // an empty digit string is 0
  EXPECT_EQ(parse_number("000000000000001", 10).value, 1);
  EXPECT_EQ(parse_number("0000000000000001", 10).error, NumberError::TooLong);
}

TEST(ParseByteValues, NumbersWordsAndStrings) {
  const ParsedBytes b = parse_byte_values("1, 0x7E\t-1 &0x1234 \"A, b\" 255", 10);
  ASSERT_TRUE(b);
  EXPECT_EQ(b.bytes,
            (std::vector<std::uint8_t>{1, 0x7E, 255, 0x34, 0x12, 'A', ',', ' ', 'b', 255}));
  EXPECT_EQ(parse_byte_values("\"open", 10).bytes, (std::vector<std::uint8_t>{'o', 'p', 'e', 'n'}));
}

TEST(ParseByteValues, FirstBadTokenIsReported) {
  const ParsedBytes b = parse_byte_values("1 256 x", 10);
  EXPECT_FALSE(b);
  EXPECT_EQ(*b.bad_token, "256");
  EXPECT_EQ(*parse_byte_values("2 zz", 10).bad_token, "zz");
  EXPECT_EQ(parse_byte_values("0000000000000001", 10).error, NumberError::TooLong);
}

}  // namespace
}  // namespace qm
