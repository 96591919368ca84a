// The decoder: lists a binary sequence file as text, one line per instruction with its
// offset, its bytes in hexadecimal and a readable form. Lines end in CR LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/operator_ui.h"
#include "compiler/sequence_format.h"

namespace qm {

// The listing of a whole image at field rate 50 or 60; empty for an image of 24576 bytes or
// more. Never reads past the image.
std::string decode_sequence(std::span<const std::uint8_t> image, int field_rate);

// A listing and whether the image was damaged: an illegal opcode byte, an illegal type, or an
// instruction that runs past the end, each of which leaves an ERROR line in the text.
struct SequenceListing {
  std::string text;
  bool damaged = false;
};
SequenceListing list_sequence(std::span<const std::uint8_t> image, int field_rate);

// "(50Hz) 00:00:01.00 (50 fields)" for a field count at a rate.
std::string format_fields_time(long fields, int field_rate);

// A typed value as listed: "byte: %d ", "word: %d " (a 4-byte word signed) or "Var: %d ".
std::string list_typed_value(const TypedValue& value);

// OUTPUT data: printable runs in double quotes, other bytes as 0x%02X, separated by ",".
std::string list_output_bytes(std::span<const std::uint8_t> bytes);

// A binary sequence file read for listing.
struct SequenceFileRead {
  enum class Status {
    Read,       // `image` holds the whole file
    NotOpened,  // the file cannot be opened: nothing is shown
    TooLarge,   // 24576 bytes or more: the listing stays empty
    ReadError,  // opened but not read: report_sequence_read_error
  };
  Status status = Status::NotOpened;
  std::vector<std::uint8_t> image;
};

// Reads a binary sequence file whole when it is smaller than the decoder's limit.
SequenceFileRead read_sequence_file(const std::filesystem::path& path);

inline constexpr const char* kDecodeReadErrorTitle = " Decode sequence";
inline constexpr const char* kDecodeReadError = " Error reading file: %s";

// Tells the operator that the file at `shown_path` could not be read: the box
// " Error reading file: %s" titled " Decode sequence" with the error icon.
void report_sequence_read_error(OperatorUi& ui, std::string_view shown_path);

}  // namespace qm
