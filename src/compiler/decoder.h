// The decoder: lists a binary sequence file as text, one line per instruction with its
// offset, its bytes in hexadecimal and a readable form. Lines end in CR LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "compiler/sequence_format.h"

namespace qm {

// The listing of a whole image at field rate 50 or 60; empty for an image of 24576 bytes or
// more. Never reads past the image.
std::string decode_sequence(std::span<const std::uint8_t> image, int field_rate);

// "(50Hz) 00:00:01.00 (50 fields)" for a field count at a rate.
std::string format_fields_time(long fields, int field_rate);

// A typed value as listed: "byte: %d ", "word: %d " (a 4-byte word signed) or "Var: %d ".
std::string list_typed_value(const TypedValue& value);

// OUTPUT data: printable runs in double quotes, other bytes as 0x%02X, separated by ",".
std::string list_output_bytes(std::span<const std::uint8_t> bytes);

}  // namespace qm
