#include "fontbuilder/font_file.h"

#include <string_view>

#include "platform/paths.h"

namespace qm {

namespace {

constexpr std::uint8_t kMaxHeaderByte = 0xFF;

void put_u16(std::vector<std::uint8_t>& image, std::size_t at, std::size_t value) {
  image[at] = static_cast<std::uint8_t>(value & 0xFF);
  image[at + 1] = static_cast<std::uint8_t>(value >> 8 & 0xFF);
}

std::size_t get_u16(std::span<const std::uint8_t> file, std::size_t at) {
  return static_cast<std::size_t>(file[at]) | static_cast<std::size_t>(file[at + 1]) << 8;
}

// The character of glyph k: 0x20 + k.
char font_character(std::size_t k) {
  return static_cast<char>(kFontFirstCharacter + static_cast<int>(k));
}

}  // namespace

int glyph_width(const GlyphSurface& surface) {
  for (int x = kMeasuredColumns - 1; x >= 0; --x)
    for (int y = 0; y < kMeasuredRows; ++y)
      if (surface.ink(x, y)) return x + 1;
  return 1;
}

std::size_t glyph_record_size(int width, int height) {
  const auto bits = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  return 1 + (bits + 7) / 8;
}

void pack_glyph(const GlyphSurface& surface, int width, int height,
                std::vector<std::uint8_t>& out) {
  out.push_back(static_cast<std::uint8_t>(width));
  std::uint8_t byte = 0;
  int bit = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (surface.ink(x, y)) byte = static_cast<std::uint8_t>(byte | 1u << bit);
      if (++bit == 8) {
        out.push_back(byte);
        byte = 0;
        bit = 0;
      }
    }
  }
  if (bit != 0) out.push_back(byte);
}

FontBuild build_font_file(GlyphRenderer& renderer) {
  FontBuild build;
  const FontMetrics metrics = renderer.metrics();
  build.height = metrics.height;
  if (metrics.height < 1 || metrics.height > kMaxHeaderByte) {
    build.status = FontBuildStatus::BadHeight;
    return build;
  }

  GlyphSurface surface;
  std::array<std::size_t, kFontCharacters> offsets{};
  std::size_t size = kFontHeaderSize;
  for (std::size_t k = 0; k < kFontCharacters; ++k) {
    renderer.render(font_character(k), surface);
    build.widths[k] = glyph_width(surface);
    offsets[k] = size;
    size += glyph_record_size(build.widths[k], metrics.height);
  }
  build.size = size;
  if (size > kFontFileLimit) {
    build.status = FontBuildStatus::TooBig;
    return build;
  }

  std::vector<std::uint8_t>& image = build.image;
  image.assign(kFontHeaderSize, 0);
  image.reserve(size);
  image[0] = kFontCharacters;
  image[1] = static_cast<std::uint8_t>(metrics.overhang & 0xFF);
  image[2] = static_cast<std::uint8_t>(metrics.height);
  for (std::size_t k = 0; k < kFontCharacters; ++k)
    put_u16(image, kFontOffsetsAt + 2 * k, offsets[k]);
  for (std::size_t k = 0; k < kFontCharacters; ++k) {
    // Drawn again: a renderer gives the same glyph every time, and the surface is one.
    renderer.render(font_character(k), surface);
    pack_glyph(surface, build.widths[k], metrics.height, image);
  }
  return build;
}

std::optional<FontGlyph> read_font_glyph(std::span<const std::uint8_t> file, int character,
                                         std::string& error) {
  if (character < kFontFirstCharacter || character >= kFontFirstCharacter + kFontCharacters) {
    error = "the character is not one of 0x20..0x7F";
    return std::nullopt;
  }
  if (file.size() < kFontHeaderSize || file[0] != kFontCharacters) {
    error = "not a font file (no header of 96 characters)";
    return std::nullopt;
  }
  FontGlyph glyph;
  glyph.height = file[2];
  const std::size_t k = static_cast<std::size_t>(character - kFontFirstCharacter);
  const std::size_t at = get_u16(file, kFontOffsetsAt + 2 * k);
  if (at < kFontHeaderSize || at >= file.size()) {
    error = "damaged font file: the glyph's offset is outside the file";
    return std::nullopt;
  }
  glyph.width = file[at];
  if (glyph.width < 1 || glyph.width > kMeasuredColumns) {
    error = "damaged font file: the glyph's width is not 1..50";
    return std::nullopt;
  }
  const std::size_t record = glyph_record_size(glyph.width, glyph.height);
  if (record > file.size() - at) {
    error = "damaged font file: the glyph runs past the end of the file";
    return std::nullopt;
  }
  const std::size_t pixels =
      static_cast<std::size_t>(glyph.width) * static_cast<std::size_t>(glyph.height);
  glyph.ink.resize(pixels);
  for (std::size_t i = 0; i < pixels; ++i)
    glyph.ink[i] = (file[at + 1 + i / 8] >> (i % 8) & 1) != 0;
  return glyph;
}

std::string glyph_rows(const FontGlyph& glyph) {
  std::string text;
  const auto width = static_cast<std::size_t>(glyph.width);
  text.reserve((width + 1) * static_cast<std::size_t>(glyph.height));
  for (std::size_t i = 0; i < glyph.ink.size(); ++i) {
    text += glyph.ink[i] ? '#' : '.';
    if ((i + 1) % width == 0) text += '\n';
  }
  return text;
}

bool write_font_file(const std::filesystem::path& path, std::span<const std::uint8_t> image) {
  const std::string_view bytes(reinterpret_cast<const char*>(image.data()), image.size());
  return platform::write_file_atomically(path, bytes).ok();
}

}  // namespace qm
