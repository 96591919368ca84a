// The unit font file (.fnt): a 387-byte header and one glyph record per printable ASCII
// character, packed from glyphs drawn one at a time onto a small one-bit surface. The packing
// sees the drawing only through GlyphRenderer, so it runs the same for any font and renderer.
//
// Layout (16-bit numbers little-endian):
//   0      1    number of characters: 96
//   1      1    the font's overhang, low byte
//   2      1    the height h in pixel rows, low byte
//   3      192  the file offset of each character's glyph record, 0x20 + k for k = 0..95
//   195    192  reserved, zero
//   387    ...  the glyph records in character order
// A glyph record is its width w (1..50) followed by ceil(w * h / 8) bytes of pixels: row by
// row from the top, each row left to right, 1 = ink, bit 0 of each byte first; the bits run
// on across rows and only the record's last byte is filled up with zero bits.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qm {

inline constexpr int kFontCharacters = 96;
inline constexpr int kFontFirstCharacter = 0x20;      // space
inline constexpr std::size_t kFontHeaderSize = 387;   // the first glyph record's offset
inline constexpr std::size_t kFontOffsetsAt = 3;      // the offset table in the header
inline constexpr std::size_t kFontFileLimit = 64512;  // what a flash sector takes (0xFC00)

// The surface a glyph is drawn on, and the part of it the width is measured in: a pixel at
// x = 50 or y = 60 never widens a glyph, so glyphs are cut at 50 columns.
inline constexpr int kSurfaceWidth = 51;
inline constexpr int kSurfaceHeight = 61;
inline constexpr int kMeasuredColumns = 50;
inline constexpr int kMeasuredRows = 60;

// A 51 x 61 one-bit surface, white until something is drawn. Pixels outside it read white.
class GlyphSurface {
 public:
  void clear() { pixels_.fill(0); }
  void set_ink(int x, int y) {
    if (inside(x, y)) pixels_[index(x, y)] = 1;
  }
  bool ink(int x, int y) const { return inside(x, y) && pixels_[index(x, y)] != 0; }

 private:
  static bool inside(int x, int y) {
    return x >= 0 && x < kSurfaceWidth && y >= 0 && y < kSurfaceHeight;
  }
  static std::size_t index(int x, int y) {
    return static_cast<std::size_t>(y) * kSurfaceWidth + static_cast<std::size_t>(x);
  }
  std::array<std::uint8_t, kSurfaceWidth * kSurfaceHeight> pixels_{};
};

// What the header records of the font: its height in rows and its overhang.
struct FontMetrics {
  int height = 0;
  int overhang = 0;
};

// Draws characters of one font black on white at the top-left corner of a surface.
class GlyphRenderer {
 public:
  virtual ~GlyphRenderer() = default;
  virtual FontMetrics metrics() const = 0;
  // Clears the surface and draws the character at (0, 0).
  virtual void render(char character, GlyphSurface& surface) = 0;
};

// The glyph's width: 1 + the largest x in 0..49 of an ink pixel in rows 0..59; 1 when there
// is none.
int glyph_width(const GlyphSurface& surface);

// The bytes of a glyph record of width w at height h: 1 + ceil(w * h / 8).
std::size_t glyph_record_size(int width, int height);

// Appends the glyph record of the surface's glyph at width w and height h to `out`.
void pack_glyph(const GlyphSurface& surface, int width, int height, std::vector<std::uint8_t>& out);

enum class FontBuildStatus {
  Built,     // `image` holds the whole file
  TooBig,    // the file would pass kFontFileLimit; `size` says how long it would be
  BadHeight  // the font's height is not 1..255 rows, which the header cannot record
};

struct FontBuild {
  FontBuildStatus status = FontBuildStatus::Built;
  std::vector<std::uint8_t> image;               // the file (when built)
  std::size_t size = 0;                          // its length, built or not
  int height = 0;                                // h
  std::array<int, kFontCharacters> widths = {};  // each character's width
};

// Builds the font file: every character drawn and measured, the offsets laid out, the size
// checked, then every character drawn again and packed.
FontBuild build_font_file(GlyphRenderer& renderer);

// One glyph of a font file, read back.
struct FontGlyph {
  int width = 0;
  int height = 0;
  std::vector<bool> ink;  // width * height pixels, row by row
};

// The glyph of `character` (0x20..0x7F) in a font file; none, with the reason in `error`,
// when the file is no font file or is damaged.
std::optional<FontGlyph> read_font_glyph(std::span<const std::uint8_t> file, int character,
                                         std::string& error);

// The glyph as text: one line per row, "#" for ink and "." for white.
std::string glyph_rows(const FontGlyph& glyph);

// Writes the file through a temporary one beside it, so that `path` holds either its old
// contents or the whole font; whether it was written.
bool write_font_file(const std::filesystem::path& path, std::span<const std::uint8_t> image);

// Messages of the font builder, shown in boxes titled kCreateFontTitle.
inline constexpr const char* kCreateFontTitle = " Create Font";
inline constexpr const char* kFontInternalError = " Internal error";
inline constexpr const char* kFontUnusable = " Can't use selected font";
inline constexpr const char* kFontTooBig = " Font file created is too big for a FLASH sector";
inline constexpr const char* kFontSaveError = " Error saving created font file";

}  // namespace qm
