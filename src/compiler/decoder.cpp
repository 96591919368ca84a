#include "compiler/decoder.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

#include "base/text_format.h"
#include "platform/paths.h"

namespace qm {
namespace {

// Listing texts. An error goes in as "\r\nERROR: %s\r\n".
constexpr std::string_view kErrorPrefix = "\r\nERROR: ";
constexpr std::string_view kErrorSuffix = "\r\n";
constexpr std::string_view kIllegalCommandByte = "Illegal command byte: ";
constexpr std::string_view kIllegalParameterType = "Illegal parameter type: ";
constexpr std::string_view kIllegalType = "Illegal type: ";
constexpr std::string_view kRunsPastEnd = "Instruction runs past the end of the file at ";
constexpr std::string_view kIllegalOpcodeText = "???";  // the line of an illegal opcode byte
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kContinuation = "      ";  // starts the lines of further bytes
constexpr std::string_view kByteLabel = "byte: ";
constexpr std::string_view kWordLabel = "word: ";
constexpr std::string_view kVariableLabel = "Var: ";
constexpr std::string_view kRate60 = "60Hz";
constexpr std::string_view kRate50 = "50Hz";
constexpr std::string_view kFieldsSuffix = " fields)";

constexpr std::size_t kBytesPerLine = 10;
constexpr std::size_t kTextColumn = 28;  // the text starts after this many characters

// What stopped an instruction from being read whole.
enum class Fault {
  None,
  Truncated,             // an operand runs past the end of the image
  IllegalParameterType,  // a WAIT or UNTIL type byte
  IllegalType,           // the type byte of a typed value
};

// `value` in decimal, zero-padded to `width` digits like "%0*d".
std::string zero_padded(long long value, std::size_t width) {
  const unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                                 : static_cast<unsigned long long>(value);
  std::string digits = std::to_string(magnitude);
  const std::size_t digit_width = value < 0 && width > 0 ? width - 1 : width;
  if (digits.size() < digit_width) digits.insert(0, digit_width - digits.size(), '0');
  return value < 0 ? "-" + digits : digits;
}

// "%02X"
std::string hex_byte(std::uint8_t byte) {
  constexpr std::string_view kDigits = "0123456789ABCDEF";
  return {kDigits[byte >> 4], kDigits[byte & 0x0F]};
}

// Reads an instruction's operands in order. The first fault stops every later read, which
// then yields zeros, so the caller builds its text freely and checks fault() at the end.
class OperandReader {
 public:
  OperandReader(std::span<const std::uint8_t> image, std::size_t opcode_offset)
      : image_(image), pos_(opcode_offset + 1) {}

  Fault fault() const { return fault_; }
  std::uint8_t bad_type() const { return bad_type_; }
  std::size_t end() const { return pos_; }

  std::uint8_t byte() {
    if (fault_ != Fault::None) return 0;
    if (pos_ >= image_.size()) {
      fault_ = Fault::Truncated;
      return 0;
    }
    return image_[pos_++];
  }

  // `width` bytes, low byte first.
  std::uint32_t little_endian(std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
      value |= static_cast<std::uint32_t>(byte()) << (8 * i);
    return value;
  }

  // A type byte that this instruction cannot list: `fault` says which error it is.
  void reject_type(Fault fault, std::uint8_t type) {
    if (fault_ != Fault::None) return;
    fault_ = fault;
    bad_type_ = type;
  }

  // A type byte and its value; an illegal type is reported as `on_illegal`.
  TypedValue typed_value(Fault on_illegal) {
    const std::size_t start = pos_;
    const std::uint8_t type = byte();
    const std::optional<std::size_t> width = typed_value_width(type);
    if (!width) {
      reject_type(on_illegal, type);
      return {};
    }
    const std::uint32_t value = little_endian(*width);
    return {static_cast<ValueType>(type), value, pos_ - start};
  }

 private:
  std::span<const std::uint8_t> image_;
  std::size_t pos_;
  Fault fault_ = Fault::None;
  std::uint8_t bad_type_ = 0;
};

// A 4-byte value as the listing prints it: signed.
long long signed_long(std::uint32_t value) {
  return static_cast<std::int32_t>(value);
}

// "SEND vars ... " and the arguments of PROC: n typed values, each with its trailing blank.
std::string list_values(OperandReader& in, std::uint8_t count) {
  std::string text;
  for (int i = 0; i < count && in.fault() == Fault::None; ++i)
    text += list_typed_value(in.typed_value(Fault::IllegalType));
  return text;
}

struct Instruction {
  std::string text;
  std::size_t length = 0;  // bytes, opcode included
  Fault fault = Fault::None;
  std::uint8_t bad_type = 0;
};

// Reads the legal instruction at `offset` and builds its listed text.
Instruction read_instruction(std::span<const std::uint8_t> image, std::size_t offset,
                             int field_rate) {
  const OpcodeInfo& info = *find_opcode(image[offset]);
  const std::string name(info.name);
  OperandReader in(image, offset);
  std::string text;
  switch (info.operands) {
    case Operands::None:
      // AGAIN, and ENDPROC, END and WAIT EVENT, which end their own line
      text = name + std::string(info.code == Opcode::Again ? " " : kLineEnd);
      break;
    case Operands::Name: {
      // INCLUDE "name": characters up to a 0 byte, which belongs to the instruction
      text = name + " \"";
      for (std::uint8_t c = in.byte(); c != 0 && in.fault() == Fault::None; c = in.byte())
        text += static_cast<char>(c);
      text += '"';
      break;
    }
    case Operands::CountBytes: {
      // SEND n bytes as decimals; OUTPUT n bytes as quoted runs and hex
      const std::uint8_t count = in.byte();
      const std::size_t first = in.end();
      for (int i = 0; i < count; ++i)
        in.byte();
      if (in.fault() != Fault::None) break;
      const auto bytes = image.subspan(first, count);
      text = name + " ";
      if (info.code == Opcode::Output) {
        text += list_output_bytes(bytes);
      } else {
        for (std::uint8_t b : bytes)
          text += std::to_string(b) + " ";
      }
      break;
    }
    case Operands::CountValues:
      // SEND vars n typed values
      text = name + " ";
      text += list_values(in, in.byte());
      break;
    case Operands::Value: {
      text = name + " ";
      if (info.code == Opcode::Repeat) {
        // REPEAT value: any typed value
        text += list_typed_value(in.typed_value(Fault::IllegalType));
        break;
      }
      // WAIT Var: n | WAIT a field count of 1, 2 or 4 bytes, shown as a time
      const std::uint8_t type = in.byte();
      const std::optional<std::size_t> width = typed_value_width(type);
      if (type == static_cast<std::uint8_t>(ValueType::Variable)) {
        text += std::string(kVariableLabel) + std::to_string(in.byte()) + " ";
      } else if (width) {
        const std::uint32_t fields = in.little_endian(*width);
        const long long count = *width == 4 ? signed_long(fields) : fields;
        text += format_fields_time(static_cast<long>(count), field_rate);
      } else {
        in.reject_type(Fault::IllegalParameterType, type);
      }
      break;
    }
    case Operands::LongOrVariable: {
      // UNTIL: word: field count | UNTIL: Var: n
      const std::uint8_t type = in.byte();
      if (type == static_cast<std::uint8_t>(ValueType::Long)) {
        text = name + ": " + std::string(kWordLabel) +
               std::to_string(signed_long(in.little_endian(4))) + " ";
      } else if (type == static_cast<std::uint8_t>(ValueType::Variable)) {
        text = name + ": " + std::string(kVariableLabel) + std::to_string(in.byte()) + " ";
      } else {
        in.reject_type(Fault::IllegalParameterType, type);
      }
      break;
    }
    case Operands::Call: {
      // PROC address, then its arguments directly after the address
      const std::uint32_t address = in.little_endian(2);
      text = name + " " + zero_padded(address, 5);
      text += list_values(in, in.byte());
      break;
    }
  }
  return {std::move(text), in.end() - offset, in.fault(), in.bad_type()};
}

void append_error(std::string& out, std::string_view message, std::string_view detail) {
  out += kErrorPrefix;
  out += message;
  out += detail;
  out += kErrorSuffix;
}

// "%05d:", up to 10 bytes, blanks to the text column, the text; then the further bytes ten
// to a continuation line.
void append_line(std::string& out, std::size_t offset, std::span<const std::uint8_t> bytes,
                 std::string_view text) {
  const std::size_t start = out.size();
  out += zero_padded(static_cast<long long>(offset), 5);
  out += ':';
  const std::size_t first = std::min(bytes.size(), kBytesPerLine);
  for (std::size_t i = 0; i < first; ++i)
    out += hex_byte(bytes[i]);
  out.append(kTextColumn - (out.size() - start), ' ');
  out += text;
  out += kLineEnd;
  for (std::size_t i = first; i < bytes.size(); i += kBytesPerLine) {
    out += kContinuation;
    for (std::size_t j = i; j < std::min(bytes.size(), i + kBytesPerLine); ++j)
      out += hex_byte(bytes[j]);
    out += kLineEnd;
  }
}

}  // namespace

SequenceListing list_sequence(std::span<const std::uint8_t> image, int field_rate) {
  SequenceListing listing;
  std::string& out = listing.text;
  if (image.size() >= kDecodeSizeLimit) return listing;
  std::size_t offset = 0;
  while (offset < image.size()) {
    const std::uint8_t opcode = image[offset];
    if (!is_legal_opcode(opcode)) {
      listing.damaged = true;
      append_error(out, kIllegalCommandByte, std::to_string(opcode));
      append_line(out, offset, image.subspan(offset, 1), kIllegalOpcodeText);
      ++offset;
      continue;
    }
    const Instruction ins = read_instruction(image, offset, field_rate);
    switch (ins.fault) {
      case Fault::None:
        append_line(out, offset, image.subspan(offset, ins.length), ins.text);
        offset += ins.length;
        break;
      case Fault::Truncated:
        // What is there is listed under the opcode's name alone.
        append_line(out, offset, image.subspan(offset),
                    std::string(find_opcode(opcode)->name) + " ");
        append_error(out, kRunsPastEnd, zero_padded(static_cast<long long>(offset), 5));
        listing.damaged = true;
        return listing;
      case Fault::IllegalParameterType:
        append_error(out, kIllegalParameterType, std::to_string(ins.bad_type));
        listing.damaged = true;
        return listing;
      case Fault::IllegalType:
        append_error(out, kIllegalType, std::to_string(ins.bad_type));
        listing.damaged = true;
        return listing;
    }
  }
  return listing;
}

std::string decode_sequence(std::span<const std::uint8_t> image, int field_rate) {
  return list_sequence(image, field_rate).text;
}

std::string format_fields_time(long fields, int field_rate) {
  // "(%s) %02d:%02d:%02d.%02d (%ld fields)", in 64 bits so that no count overflows
  const long long rate = field_rate == 60 ? 60 : 50;
  const long long count = fields;
  const long long seconds = count / rate;
  std::string text = "(";
  text += rate == 60 ? kRate60 : kRate50;
  text += ") " + zero_padded(seconds / 3600, 2) + ":" + zero_padded(seconds / 60 % 60, 2) + ":" +
          zero_padded(seconds % 60, 2) + "." + zero_padded(count % rate * 100 / rate, 2) + " (" +
          std::to_string(count);
  text += kFieldsSuffix;
  return text;
}

std::string list_typed_value(const TypedValue& value) {
  switch (value.type) {
    case ValueType::Byte:
      return std::string(kByteLabel) + std::to_string(value.value) + " ";
    case ValueType::Word:
      return std::string(kWordLabel) + std::to_string(value.value) + " ";
    case ValueType::Long:
      return std::string(kWordLabel) + std::to_string(signed_long(value.value)) + " ";
    case ValueType::Variable:
      return std::string(kVariableLabel) + std::to_string(value.value) + " ";
  }
  return {};
}

std::string list_output_bytes(std::span<const std::uint8_t> bytes) {
  std::string text;
  bool quoted = false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::uint8_t b = bytes[i];
    if (b >= 32) {
      if (!quoted) {
        if (i > 0) text += ',';
        text += '"';
        quoted = true;
      }
      text += static_cast<char>(b);
    } else {
      if (quoted) text += '"';
      quoted = false;
      if (i > 0) text += ',';
      text += "0x" + hex_byte(b);
    }
  }
  if (quoted) text += '"';
  return text;
}

SequenceFileRead read_sequence_file(const std::filesystem::path& path) {
  using Status = SequenceFileRead::Status;
  SequenceFileRead read;
  // Anything that is not a plain file (a folder, a pipe, a device) counts as unreadable, and is
  // never opened: a pipe without a writer would hold the reader for good.
  platform::FileRead file = platform::read_file(path, kDecodeSizeLimit - 1);
  switch (file.status) {
    case platform::FileReadStatus::Read:
      read.status = Status::Read;
      read.image.assign(file.contents.begin(), file.contents.end());
      break;
    case platform::FileReadStatus::NotFound:
    case platform::FileReadStatus::OpenFailed:
      read.status = Status::NotOpened;
      break;
    case platform::FileReadStatus::TooLarge:
      read.status = Status::TooLarge;
      break;
    case platform::FileReadStatus::NotRegular:
    case platform::FileReadStatus::ReadFailed:
      read.status = Status::ReadError;
      break;
  }
  return read;
}

void report_sequence_read_error(OperatorUi& ui, std::string_view shown_path) {
  ui.message_box(kDecodeReadErrorTitle,
                 strprintf(kDecodeReadError, std::string(shown_path).c_str()), BoxButtons::Ok,
                 BoxIcon::Error);
}

}  // namespace qm
