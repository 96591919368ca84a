// The binary sequence file (.sfb): a bare code image with no magic, length or trailer. Each
// instruction is an opcode byte and its operands; multi-byte values are little-endian and
// offsets count from the first byte of the file. The compiler writes it, the decoder lists
// it and the simulated units run it; all three take its shape from here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace qm {

// Every compiled image begins with a call of the main body, then an END for its return.
inline constexpr std::size_t kSequenceHeaderSize = 5;
inline constexpr std::size_t kStartCodeOffset = 1;     // 2 bytes: offset of the main body
inline constexpr std::uint8_t kHeaderCall = 0x09;      // byte 0: PROC
inline constexpr std::uint8_t kHeaderArgCount = 0x00;  // byte 3: the call passes no arguments
inline constexpr std::uint8_t kHeaderEnd = 0x11;       // byte 4: END

inline constexpr std::size_t kCompiledSizeLimit = 8192;  // the compiler's most, header included
inline constexpr std::size_t kDecodeSizeLimit = 24576;   // the decoder lists only smaller files

inline constexpr std::uint8_t kRepeatForever = 255;  // REPEAT count that never runs out

// The header for a main body at `start_code`.
std::array<std::uint8_t, kSequenceHeaderSize> sequence_header(std::uint16_t start_code);
// Whether `image` begins the way the compiler begins every file (a call, then END).
bool has_sequence_header(std::span<const std::uint8_t> image);

enum class Opcode : std::uint8_t {
  Include = 1,
  Send = 2,
  SendVars = 3,
  Output = 4,
  Wait = 5,
  Wait6 = 6,
  Wait7 = 7,
  Wait8 = 8,
  Proc = 9,
  EndProc = 10,
  Repeat = 11,
  Again = 12,
  Until = 13,
  Until14 = 14,
  Until15 = 15,
  End = 17,
  WaitEvent = 18,
};

// What follows an opcode byte.
enum class Operands : std::uint8_t {
  None,            // nothing
  Name,            // characters up to and including a 0 byte
  CountBytes,      // count n (1 byte), then n bytes
  CountValues,     // count n (1 byte), then n typed values
  Value,           // one typed value
  LongOrVariable,  // one typed value of type 2 (field count) or 3 (variable)
  Call,            // address (2 bytes), count n (1 byte), then n typed values
};

struct OpcodeInfo {
  Opcode code;
  std::string_view name;  // as the listing shows it; empty when illegal
  Operands operands;
  bool legal;
  bool compiled;  // the compiler produces it
};

// Indexed by opcode; every opcode from kFirstIllegalOpcode up is illegal too.
inline constexpr std::array<OpcodeInfo, 19> kOpcodeTable = {{
    {Opcode{0}, "", Operands::None, false, false},             // illegal
    {Opcode::Include, "INCLUDE", Operands::Name, true, true},  // run another file: CALL name
    {Opcode::Send, "SEND", Operands::CountBytes, true, true},  // a unit message to the wall
    {Opcode::SendVars, "SEND vars", Operands::CountValues, true, false},  // message of values
    {Opcode::Output, "OUTPUT", Operands::CountBytes, true, true},         // raw bytes out
    {Opcode::Wait, "WAIT", Operands::Value, true, true},                  // pause for a field count
    {Opcode::Wait6, "WAIT", Operands::Value, true, false},     // wait variant, never compiled
    {Opcode::Wait7, "WAIT", Operands::Value, true, false},     // wait variant, never compiled
    {Opcode::Wait8, "WAIT", Operands::Value, true, false},     // wait variant, never compiled
    {Opcode::Proc, "PROC", Operands::Call, true, true},        // call a procedure at an offset
    {Opcode::EndProc, "ENDPROC", Operands::None, true, true},  // return from a procedure
    {Opcode::Repeat, "REPEAT", Operands::Value, true, true},   // open a loop of a count
    {Opcode::Again, "AGAIN", Operands::None, true, true},      // close a counted loop
    {Opcode::Until, "UNTIL", Operands::LongOrVariable, true, true},     // close a loop by its time
    {Opcode::Until14, "UNTIL", Operands::LongOrVariable, true, false},  // never compiled
    {Opcode::Until15, "UNTIL", Operands::LongOrVariable, true, false},  // never compiled
    {Opcode{16}, "", Operands::None, false, false},                     // illegal
    {Opcode::End, "END", Operands::None, true, true},  // end of the sequence (header byte 4)
    {Opcode::WaitEvent, "WAIT EVENT", Operands::None, true, true},  // pause until a key
}};
inline constexpr std::uint8_t kFirstIllegalOpcode = 19;

// The table row of `code`, or null from kFirstIllegalOpcode up.
const OpcodeInfo* find_opcode(std::uint8_t code);
// Whether `code` names an instruction (not 0, 16 or from 19 up).
bool is_legal_opcode(std::uint8_t code);

// The type byte of a typed value.
enum class ValueType : std::uint8_t {
  Byte = 0,      // 1 unsigned byte
  Word = 1,      // 2 bytes
  Long = 2,      // 4 bytes
  Variable = 3,  // 1 byte: the number of a unit-side variable
};

struct TypedValue {
  ValueType type = ValueType::Byte;
  std::uint32_t value = 0;
  std::size_t size = 0;  // bytes taken, type byte included
};

// How many value bytes follow `type_byte`, or none for an illegal type.
std::optional<std::size_t> typed_value_width(std::uint8_t type_byte);
// The typed value at `offset`, or none when its type is illegal or it runs past the image.
std::optional<TypedValue> read_typed_value(std::span<const std::uint8_t> image, std::size_t offset);
// Appends the type byte and as many low bytes of `value` as the type holds.
void append_typed_value(std::vector<std::uint8_t>& code, ValueType type, std::uint32_t value);
// The smallest of Byte, Word and Long that holds `value`.
ValueType smallest_type(std::uint32_t value);

// The 2-byte value at `offset`, or none when it runs past the image.
std::optional<std::uint16_t> read_le16(std::span<const std::uint8_t> image, std::size_t offset);
void append_le16(std::vector<std::uint8_t>& code, std::uint16_t value);

}  // namespace qm
