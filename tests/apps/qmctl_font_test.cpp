// qmctl font end to end: font files built by the real qmctl from installed fonts (in the
// build with Qt), glyphs read back with --dump, and the usage and failure exits.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fontbuilder/font_file.h"
#include "support/qmctl_fixture.h"

namespace qm::test {
namespace {

using Bytes = std::string;

class QmctlFont : public Qmctl {
 protected:
  std::string path(const std::string& name) { return (home_ / name).string(); }
  // A font built by qmctl with no display and no platform set; the file's bytes.
  Bytes build(const std::string& args, const std::string& file) {
    const std::string script = "unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM; exec '" +
                               std::string(QMCTL_PATH) + "' font " + args + " -o '" + file + "'";
    std::string quoted;  // the script as one shell word
    for (char c : script)
      quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    const Outcome r = run("/bin/sh", "-c '" + quoted + "'");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return slurp(file);
  }
};

// Writes a font file of the core's own making: 'T' is a 3 x 4 T at height 4.
class TeeRenderer final : public GlyphRenderer {
 public:
  FontMetrics metrics() const override { return {4, 0}; }
  void render(char c, GlyphSurface& surface) override {
    surface.clear();
    if (c != 'T') return;
    for (int x = 0; x < 3; ++x)
      surface.set_ink(x, 0);
    for (int y = 1; y < 4; ++y)
      surface.set_ink(1, y);
  }
};

TEST_F(QmctlFont, Dump_PrintsTheGlyphAsRowsOfInkAndWhite) {
  TeeRenderer tee;
  const FontBuild build = build_font_file(tee);
  const std::string file = path("tee.fnt");
  ASSERT_TRUE(write_font_file(file, build.image));
  const Outcome t = qmctl("font --dump '" + file + "' T");
  EXPECT_EQ(t.exit_code, 0) << t.err;
  EXPECT_EQ(t.out, "'T' (0x54): width 3, height 4\n###\n.#.\n.#.\n.#.\n");
  // The character by its code, here the space.
  const Outcome space = qmctl("font --dump '" + file + "' 32");
  EXPECT_EQ(space.out, "' ' (0x20): width 1, height 4\n.\n.\n.\n.\n");
}

TEST_F(QmctlFont, Dump_RefusesWhatIsNoFontWithExitOneAndAMissingFileWithThree) {
  const std::string text = path("text.fnt");
  std::ofstream(text) << "not a font";
  const Outcome damaged = qmctl("font --dump '" + text + "' A");
  EXPECT_EQ(damaged.exit_code, 1);
  EXPECT_NE(damaged.err.find("not a font file"), std::string::npos) << damaged.err;
  EXPECT_EQ(damaged.out, "");
  EXPECT_EQ(qmctl("font --dump '" + path("none.fnt") + "' A").exit_code, 3);
}

TEST_F(QmctlFont, Usage_ErrorsExitTwoAndNameTheProblem) {
  struct Case {
    const char* args;
    const char* says;
  } cases[] = {
      {"font \"Liberation Mono\" --width 4 -o x.fnt", "--width 4 is not a number in 5..30"},
      {"font \"Liberation Mono\" --width 31 -o x.fnt", "5..30"},
      {"font \"Liberation Mono\" --height 0 -o x.fnt", "--height 0 is not a number in 1..60"},
      {"font \"Liberation Mono\" --height 61 -o x.fnt", "1..60"},
      {"font \"Liberation Mono\" --width", "--width needs a value"},
      {"font \"Liberation Mono\"", "wants -o FILE.fnt"},
      {"font -o x.fnt", "wants a font face"},
      {"font \"Liberation Mono\" Extra -o x.fnt", "unexpected Extra"},
      {"font --dump x.fnt", "--dump wants FILE.fnt CHAR"},
      {"font --dump x.fnt AB", "AB is neither one character nor a number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const Outcome r = qmctl(c.args);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
  const Outcome help = qmctl("font --help");
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("Usage: qmctl [OPTIONS] font FACE -o FILE.fnt"), std::string::npos)
      << help.out;
}

#ifdef QM_FONT_RENDERER

std::size_t u16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint8_t>(b[at]) |
         static_cast<std::size_t>(static_cast<std::uint8_t>(b[at + 1])) << 8;
}

// The rows of a --dump after its first line.
std::vector<std::string> dump_rows(const std::string& out) {
  std::vector<std::string> rows;
  std::size_t at = out.find('\n');
  while (at != std::string::npos && at + 1 < out.size()) {
    const std::size_t end = out.find('\n', at + 1);
    rows.push_back(out.substr(at + 1, end - at - 1));
    at = end;
  }
  return rows;
}

TEST_F(QmctlFont, Build_WithoutADisplay_WritesAFileWhoseOffsetsFollowTheWidths) {
  for (const char* face : {"Liberation Mono", "Liberation Sans", "DejaVu Sans"}) {
    SCOPED_TRACE(face);
    const Bytes f = build(std::string("'") + face + "' --width 8 --height 16", path("f.fnt"));
    ASSERT_GT(f.size(), kFontHeaderSize);
    EXPECT_EQ(f[0], 96);
    const int h = static_cast<std::uint8_t>(f[2]);
    EXPECT_EQ(h, 16);
    EXPECT_EQ(u16(f, 3), 387u);
    EXPECT_TRUE(std::all_of(f.begin() + 195, f.begin() + 387, [](char c) { return c == 0; }));
    std::size_t at = kFontHeaderSize;
    for (std::size_t k = 0; k < kFontCharacters; ++k) {
      ASSERT_EQ(u16(f, 3 + 2 * k), at) << k;
      const int w = static_cast<std::uint8_t>(f[at]);
      ASSERT_GE(w, 1);
      ASSERT_LE(w, 50);
      at += glyph_record_size(w, h);
    }
    EXPECT_EQ(f.size(), at);
    EXPECT_EQ(static_cast<std::uint8_t>(f[387]), 1);  // the space
  }
}

TEST_F(QmctlFont, Build_DumpOfAShowsALetterWithAnApexAndACrossbar) {
  const std::string file = path("mono.fnt");
  build("'Liberation Mono' --width 8 --height 16", file);
  const Outcome a = qmctl("font --dump '" + file + "' A");
  ASSERT_EQ(a.exit_code, 0) << a.err;
  const std::vector<std::string> rows = dump_rows(a.out);
  ASSERT_EQ(rows.size(), 16u) << a.out;
  const std::size_t width = rows[0].size();
  EXPECT_GE(width, 5u);
  std::vector<int> ink;
  for (const std::string& row : rows) {
    EXPECT_EQ(row.size(), width);
    EXPECT_EQ(row.find_first_not_of("#."), std::string::npos) << row;
    ink.push_back(static_cast<int>(std::count(row.begin(), row.end(), '#')));
  }
  // The first row with ink is the narrow apex; some row below is a crossbar of at least half
  // the width; the legs stand apart at the bottom.
  const auto top = std::find_if(ink.begin(), ink.end(), [](int n) { return n > 0; });
  ASSERT_NE(top, ink.end()) << a.out;
  EXPECT_LE(*top, 3) << a.out;
  EXPECT_TRUE(std::any_of(top, ink.end(), [&](int n) { return 2 * n >= static_cast<int>(width); }))
      << a.out;
  const auto bottom = std::find_if(ink.rbegin(), ink.rend(), [](int n) { return n > 0; });
  const std::string& feet = rows[static_cast<std::size_t>(ink.rend() - bottom - 1)];
  EXPECT_NE(feet.find("#."), std::string::npos) << a.out;
  EXPECT_LT(feet.find_first_of('#'), feet.find_last_of('#')) << a.out;
}

TEST_F(QmctlFont, Build_EffectsAndWeightChangeTheGlyphs) {
  auto total_ink = [&](const std::string& options, char c) {
    const std::string file = path("e.fnt");
    build("'DejaVu Sans' --width 10 --height 20 " + options, file);
    const Outcome d = qmctl("font --dump '" + file + "' '" + std::string(1, c) + "'");
    return std::count(d.out.begin(), d.out.end(), '#');
  };
  EXPECT_EQ(total_ink("", ' '), 0);
  EXPECT_GT(total_ink("--underline", ' '), 0);  // the line runs under the space too
  EXPECT_GT(total_ink("--strikeout", ' '), 0);
  EXPECT_GT(total_ink("--bold", 'H'), total_ink("", 'H'));
}

TEST_F(QmctlFont, Build_ASameChoiceGivesTheSameBytesAndAWiderOneAWiderFont) {
  const Bytes once = build("'Liberation Mono' --width 7 --height 10", path("a.fnt"));
  const Bytes again = build("'Liberation Mono' --width 7 --height 10", path("b.fnt"));
  EXPECT_EQ(once, again);
  const Bytes wide = build("'Liberation Mono' --width 14 --height 10", path("c.fnt"));
  EXPECT_GT(static_cast<std::uint8_t>(wide[u16(wide, 3 + 2 * ('M' - 0x20))]),
            static_cast<std::uint8_t>(once[u16(once, 3 + 2 * ('M' - 0x20))]));
}

TEST_F(QmctlFont, Build_RefusesAFaceThatIsNotInstalledAndAFileItCannotWrite) {
  const Outcome missing = qmctl("font 'No Such Face 42' -o '" + path("x.fnt") + "'");
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.err.find("Can't use selected font"), std::string::npos) << missing.err;
  EXPECT_FALSE(fs::exists(home_ / "x.fnt"));

  const Outcome unwritable =
      qmctl("font 'Liberation Mono' -o '" + path("no/such/folder/x.fnt") + "'");
  EXPECT_EQ(unwritable.exit_code, 3);
  EXPECT_NE(unwritable.err.find("Error saving created font file"), std::string::npos)
      << unwritable.err;
}

#else

TEST_F(QmctlFont, Build_WithoutQtSaysThereIsNoRenderer) {
  const Outcome r = qmctl("font 'Liberation Mono' -o '" + path("x.fnt") + "'");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("no font renderer"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(home_ / "x.fnt"));
}

#endif

}  // namespace
}  // namespace qm::test
