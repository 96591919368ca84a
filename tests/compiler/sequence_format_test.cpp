#include "compiler/sequence_format.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(SequenceHeader, CallsMainBodyThenEnds) {
  const auto header = sequence_header(0x1234);
  EXPECT_EQ(Bytes(header.begin(), header.end()), (Bytes{0x09, 0x34, 0x12, 0x00, 0x11}));
  EXPECT_TRUE(has_sequence_header(Bytes{0x09, 0x05, 0x00, 0x00, 0x11, 0x12, 0x0A}));
  EXPECT_FALSE(has_sequence_header(Bytes{0x09, 0x05, 0x00, 0x00}));
  EXPECT_FALSE(has_sequence_header(Bytes{0x0A, 0x05, 0x00, 0x00, 0x11}));
  EXPECT_FALSE(has_sequence_header(Bytes{0x09, 0x05, 0x00, 0x00, 0x0A}));
}

TEST(OpcodeTable, RowsMatchTheirOpcodesAndListedNames) {
  for (std::size_t i = 0; i < kOpcodeTable.size(); ++i)
    EXPECT_EQ(static_cast<std::size_t>(kOpcodeTable[i].code), i);
  EXPECT_EQ(find_opcode(3)->name, "SEND vars");
  EXPECT_EQ(find_opcode(7)->name, "WAIT");
  EXPECT_EQ(find_opcode(15)->name, "UNTIL");
  EXPECT_EQ(find_opcode(18)->name, "WAIT EVENT");
  EXPECT_EQ(find_opcode(9)->operands, Operands::Call);
  EXPECT_FALSE(find_opcode(14)->compiled);
  for (int code : {0, 16, 19, 255}) {
    SCOPED_TRACE(code);
    EXPECT_FALSE(is_legal_opcode(static_cast<std::uint8_t>(code)));
  }
  EXPECT_EQ(find_opcode(19), nullptr);
  EXPECT_TRUE(is_legal_opcode(17));
}

TEST(TypedValue, ReadsEachTypeLowByteFirst) {
  const Bytes image{0x00, 0xFA, 0x01, 0xF4, 0x01, 0x02, 0x90, 0x5F, 0x01, 0x00, 0x03, 0x07};
  struct Case {
    std::size_t offset;
    ValueType type;
    std::uint32_t value;
    std::size_t size;
  };
  for (const Case& c : {Case{0, ValueType::Byte, 250, 2}, Case{2, ValueType::Word, 500, 3},
                        Case{5, ValueType::Long, 90000, 5}, Case{10, ValueType::Variable, 7, 2}}) {
    SCOPED_TRACE(c.offset);
    const auto v = read_typed_value(image, c.offset);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->type, c.type);
    EXPECT_EQ(v->value, c.value);
    EXPECT_EQ(v->size, c.size);
  }
}

TEST(TypedValue, RefusesIllegalTypeAndShortImage) {
  EXPECT_FALSE(read_typed_value(Bytes{0x04, 0x00}, 0));
  EXPECT_FALSE(read_typed_value(Bytes{0x02, 0x90, 0x5F, 0x01}, 0));
  EXPECT_FALSE(read_typed_value(Bytes{0x00}, 0));
  EXPECT_FALSE(read_typed_value(Bytes{0x00, 0x01}, 2));
  EXPECT_FALSE(read_le16(Bytes{0x05}, 0));
  EXPECT_EQ(read_le16(Bytes{0x00, 0x0C, 0x01}, 1), 0x010C);
}

TEST(TypedValue, WritesSmallestTypeThatHoldsTheValue) {
  EXPECT_EQ(smallest_type(255), ValueType::Byte);
  EXPECT_EQ(smallest_type(256), ValueType::Word);
  EXPECT_EQ(smallest_type(65535), ValueType::Word);
  EXPECT_EQ(smallest_type(65536), ValueType::Long);
  Bytes code;
  for (std::uint32_t fields : {250u, 500u, 90000u})
    append_typed_value(code, smallest_type(fields), fields);
  EXPECT_EQ(code, (Bytes{0x00, 0xFA, 0x01, 0xF4, 0x01, 0x02, 0x90, 0x5F, 0x01, 0x00}));
}

}  // namespace
}  // namespace qm
