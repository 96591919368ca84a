#include "compiler/sequence_format.h"

namespace qm {

std::array<std::uint8_t, kSequenceHeaderSize> sequence_header(std::uint16_t start_code) {
  return {kHeaderCall, static_cast<std::uint8_t>(start_code & 0xFF),
          static_cast<std::uint8_t>(start_code >> 8), kHeaderArgCount, kHeaderEnd};
}

bool has_sequence_header(std::span<const std::uint8_t> image) {
  return image.size() >= kSequenceHeaderSize && image[0] == kHeaderCall && image[4] == kHeaderEnd;
}

const OpcodeInfo* find_opcode(std::uint8_t code) {
  return code < kOpcodeTable.size() ? &kOpcodeTable[code] : nullptr;
}

bool is_legal_opcode(std::uint8_t code) {
  const OpcodeInfo* info = find_opcode(code);
  return info != nullptr && info->legal;
}

std::optional<std::size_t> typed_value_width(std::uint8_t type_byte) {
  switch (static_cast<ValueType>(type_byte)) {
    case ValueType::Byte:
    case ValueType::Variable:
      return 1;
    case ValueType::Word:
      return 2;
    case ValueType::Long:
      return 4;
  }
  return std::nullopt;
}

std::optional<TypedValue> read_typed_value(std::span<const std::uint8_t> image,
                                           std::size_t offset) {
  if (offset >= image.size()) return std::nullopt;
  const std::optional<std::size_t> width = typed_value_width(image[offset]);
  if (!width || image.size() - offset - 1 < *width) return std::nullopt;
  std::uint32_t value = 0;
  for (std::size_t i = *width; i > 0; --i)
    value = (value << 8) | image[offset + i];
  return TypedValue{static_cast<ValueType>(image[offset]), value, 1 + *width};
}

void append_typed_value(std::vector<std::uint8_t>& code, ValueType type, std::uint32_t value) {
  code.push_back(static_cast<std::uint8_t>(type));
  const std::size_t width = typed_value_width(static_cast<std::uint8_t>(type)).value_or(0);
  for (std::size_t i = 0; i < width; ++i)
    code.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

ValueType smallest_type(std::uint32_t value) {
  if (value <= 0xFF) return ValueType::Byte;
  if (value <= 0xFFFF) return ValueType::Word;
  return ValueType::Long;
}

std::optional<std::uint16_t> read_le16(std::span<const std::uint8_t> image, std::size_t offset) {
  if (offset >= image.size() || image.size() - offset < 2) return std::nullopt;
  return static_cast<std::uint16_t>(image[offset] | (image[offset + 1] << 8));
}

void append_le16(std::vector<std::uint8_t>& code, std::uint16_t value) {
  code.push_back(static_cast<std::uint8_t>(value & 0xFF));
  code.push_back(static_cast<std::uint8_t>(value >> 8));
}

}  // namespace qm
