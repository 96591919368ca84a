// Fuzz target: the input as a unit font file, every character read back as --dump reads it.
// A glyph read is never wider than 50 columns, has exactly width x height pixels, and its
// text has one line per row.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "fontbuilder/font_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> file(data, size);
  for (int c = 0x1E; c <= 0x81; ++c) {
    std::string error;
    const auto glyph = qm::read_font_glyph(file, c, error);
    if (!glyph) {
      if (error.empty()) __builtin_trap();
      continue;
    }
    if (c < 0x20 || c > 0x7F) __builtin_trap();
    if (glyph->width < 1 || glyph->width > qm::kMeasuredColumns) __builtin_trap();
    if (glyph->ink.size() !=
        static_cast<std::size_t>(glyph->width) * static_cast<std::size_t>(glyph->height))
      __builtin_trap();
    const std::string rows = qm::glyph_rows(*glyph);
    if (std::count(rows.begin(), rows.end(), '\n') != glyph->height) __builtin_trap();
  }
  return 0;
}
