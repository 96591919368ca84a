// The unit font file from glyphs drawn by a scripted renderer: widths measured, bits packed,
// offsets laid out, the sector limit kept, and files read back.
#include "fontbuilder/font_file.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

namespace qm {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Pixels = std::vector<std::pair<int, int>>;  // (x, y) of ink

// Draws each character as the pixels given for it; characters without any stay white.
class ScriptedRenderer final : public GlyphRenderer {
 public:
  explicit ScriptedRenderer(int height, int overhang = 0) : metrics_{height, overhang} {}
  void draw(char c, Pixels pixels) { glyphs_[c] = std::move(pixels); }
  FontMetrics metrics() const override { return metrics_; }
  void render(char c, GlyphSurface& surface) override {
    surface.clear();
    for (auto [x, y] : glyphs_[c])
      surface.set_ink(x, y);
  }

 private:
  FontMetrics metrics_;
  std::map<char, Pixels> glyphs_;
};

GlyphSurface surface_with(const Pixels& pixels) {
  GlyphSurface s;
  for (auto [x, y] : pixels)
    s.set_ink(x, y);
  return s;
}

std::size_t offset_of(const Bytes& image, int k) {
  const auto at = kFontOffsetsAt + 2 * static_cast<std::size_t>(k);
  return image[at] | static_cast<std::size_t>(image[at + 1]) << 8;
}

TEST(GlyphWidth, IsOnePastTheRightmostInkWithinFiftyColumnsAndSixtyRows) {
  struct Case {
    const char* what;
    Pixels ink;
    int width;
  } cases[] = {
      {"nothing drawn", {}, 1},
      {"one pixel at the left edge", {{0, 0}}, 1},
      {"the rightmost pixel counts, wherever it is", {{3, 9}, {6, 2}, {1, 40}}, 7},
      {"column 49 is the last measured", {{49, 59}}, 50},
      {"column 50 never counts", {{50, 0}}, 1},
      {"column 50 does not widen a measured glyph", {{4, 4}, {50, 4}}, 5},
      {"row 60 never counts", {{20, 60}}, 1},
      {"outside the surface draws nothing", {{-1, 0}, {51, 0}, {0, 61}}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(glyph_width(surface_with(c.ink)), c.width);
  }
}

TEST(GlyphRecord, TakesTheWidthByteAndTheBitsRoundedUpToWholeBytes) {
  EXPECT_EQ(glyph_record_size(1, 10), 1u + 2u);  // a space: ceil(10 / 8)
  EXPECT_EQ(glyph_record_size(7, 10), 1u + 9u);  // 70 bits
  EXPECT_EQ(glyph_record_size(8, 10), 1u + 10u);
  EXPECT_EQ(glyph_record_size(1, 8), 1u + 1u);
  EXPECT_EQ(glyph_record_size(50, 60), 1u + 375u);
}

TEST(GlyphRecord, PacksRowsFromTheTopBitZeroFirstRunningOnAcrossRows) {
  // A 5 x 3 glyph at h = 3:   #...#
  //                           .#.#.
  //                           ..#..
  // Pixels 0, 4, 6, 8 and 12 of the 15 are ink: 0b01010001, then 0b0010001 filled up.
  const GlyphSurface s = surface_with({{0, 0}, {4, 0}, {1, 1}, {3, 1}, {2, 2}});
  Bytes out;
  pack_glyph(s, glyph_width(s), 3, out);
  EXPECT_EQ(out, (Bytes{5, 0x51, 0x11}));
}

TEST(GlyphRecord, KeepsOnlyTheMeasuredWidthAndTheFontsRows) {
  // Ink beyond the width (column 50) and below the font's rows is left out of the record.
  const GlyphSurface s = surface_with({{0, 0}, {7, 0}, {50, 0}, {0, 2}, {7, 5}});
  Bytes out;
  pack_glyph(s, 8, 2, out);
  EXPECT_EQ(out, (Bytes{8, 0x81, 0x00}));
}

TEST(GlyphRecord, SpaceIsOneColumnOfZeroBytes) {
  Bytes out;
  pack_glyph(GlyphSurface{}, 1, 17, out);
  EXPECT_EQ(out, (Bytes{1, 0, 0, 0}));
}

TEST(BuildFontFile, LaysOutTheHeaderOffsetsAndRecordsInCharacterOrder) {
  ScriptedRenderer font(10, 0x1203);
  font.draw('A', {{0, 9}, {3, 0}, {6, 9}});  // width 7: 1 + 9 bytes
  font.draw('B', {{7, 0}});                  // width 8: 1 + 10 bytes
  const FontBuild build = build_font_file(font);
  ASSERT_EQ(build.status, FontBuildStatus::Built);
  const Bytes& image = build.image;

  EXPECT_EQ(image[0], 96);
  EXPECT_EQ(image[1], 0x03);  // the overhang's low byte
  EXPECT_EQ(image[2], 10);
  EXPECT_EQ(image[3], 0x83);  // the space at 387
  EXPECT_EQ(image[4], 0x01);
  for (std::size_t i = 195; i < kFontHeaderSize; ++i)
    EXPECT_EQ(image[i], 0) << i;

  // Every other character is blank: 1 + 2 bytes.
  std::size_t expected = kFontHeaderSize;
  for (int k = 0; k < kFontCharacters; ++k) {
    EXPECT_EQ(offset_of(image, k), expected) << k;
    const int width = build.widths[static_cast<std::size_t>(k)];
    EXPECT_EQ(image[expected], width) << k;
    expected += glyph_record_size(width, 10);
  }
  EXPECT_EQ(image.size(), expected);
  EXPECT_EQ(build.size, expected);
  EXPECT_EQ(build.widths['A' - 0x20], 7);
  EXPECT_EQ(build.widths['B' - 0x20], 8);
  EXPECT_EQ(offset_of(image, 'B' - 0x20) - offset_of(image, 'A' - 0x20), 10u);
  EXPECT_EQ(offset_of(image, 'C' - 0x20) - offset_of(image, 'B' - 0x20), 11u);

  // 'A' on the wire: (3,0) is bit 3; (0,9) is bit 63; (6,9) is bit 69.
  const std::size_t a = offset_of(image, 'A' - 0x20);
  EXPECT_EQ(Bytes(image.begin() + static_cast<long>(a), image.begin() + static_cast<long>(a) + 10),
            (Bytes{7, 0x08, 0, 0, 0, 0, 0, 0, 0x80, 0x20}));
}

// Glyphs whose records sum to `total` bytes past the header at h = 168 (21 bytes per column):
// 73 of width 32 and 23 of width 31 make the file exactly 64 512 bytes; `extra` more columns
// on the last glyph add 21 bytes each.
ScriptedRenderer font_of_limit(int extra) {
  ScriptedRenderer font(168);
  for (int k = 0; k < kFontCharacters; ++k) {
    const int width = (k < 73 ? 32 : 31) + (k == kFontCharacters - 1 ? extra : 0);
    font.draw(static_cast<char>(0x20 + k), {{width - 1, 0}});
  }
  return font;
}

TEST(BuildFontFile, TakesAFileOfExactlyTheSectorLimitAndRefusesOneByteMore) {
  ScriptedRenderer fits = font_of_limit(0);
  const FontBuild at_limit = build_font_file(fits);
  EXPECT_EQ(at_limit.status, FontBuildStatus::Built);
  EXPECT_EQ(at_limit.image.size(), kFontFileLimit);

  ScriptedRenderer over = font_of_limit(1);
  const FontBuild too_big = build_font_file(over);
  EXPECT_EQ(too_big.status, FontBuildStatus::TooBig);
  EXPECT_EQ(too_big.size, kFontFileLimit + 21);
  EXPECT_TRUE(too_big.image.empty());
}

TEST(BuildFontFile, RefusesAHeightTheHeaderCannotHold) {
  for (int height : {0, -3, 256}) {
    ScriptedRenderer font(height);
    EXPECT_EQ(build_font_file(font).status, FontBuildStatus::BadHeight) << height;
  }
  ScriptedRenderer tallest(255);
  EXPECT_EQ(build_font_file(tallest).status, FontBuildStatus::Built);
}

TEST(ReadFontGlyph, GivesBackWhatWasPacked) {
  ScriptedRenderer font(3);
  font.draw('v', {{0, 0}, {4, 0}, {1, 1}, {3, 1}, {2, 2}});
  const FontBuild build = build_font_file(font);
  std::string error;
  const auto v = read_font_glyph(build.image, 'v', error);
  ASSERT_TRUE(v) << error;
  EXPECT_EQ(v->width, 5);
  EXPECT_EQ(v->height, 3);
  EXPECT_EQ(glyph_rows(*v), "#...#\n.#.#.\n..#..\n");
  const auto space = read_font_glyph(build.image, ' ', error);
  ASSERT_TRUE(space) << error;
  EXPECT_EQ(glyph_rows(*space), ".\n.\n.\n");
  EXPECT_TRUE(read_font_glyph(build.image, 0x7F, error));
}

TEST(ReadFontGlyph, RefusesFilesThatAreNoFontOrAreDamaged) {
  ScriptedRenderer font(10);
  font.draw('~', {{9, 9}});
  const Bytes good = build_font_file(font).image;
  const std::size_t tilde = offset_of(good, '~' - 0x20);

  auto with = [&](std::size_t at, std::uint8_t value) {
    Bytes b = good;
    b[at] = value;
    return b;
  };
  struct Case {
    const char* what;
    Bytes file;
    int character;
  } cases[] = {
      {"empty", {}, 'A'},
      {"header cut short", Bytes(good.begin(), good.begin() + 386), 'A'},
      {"wrong character count", with(0, 95), 'A'},
      {"offset inside the header", with(3, 0x10), ' '},
      {"offset past the end", with(3 + 2 * ('~' - 0x20) + 1, 0xF0), '~'},
      {"width 0", with(tilde, 0), '~'},
      {"width over 50", with(tilde, 51), '~'},
      {"record cut short", Bytes(good.begin(), good.end() - 1), 0x7F},
      {"character below the range", good, 0x1F},
      {"character above the range", good, 0x80},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string error;
    EXPECT_FALSE(read_font_glyph(c.file, c.character, error));
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace qm
