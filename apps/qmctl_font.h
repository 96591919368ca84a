// qmctl font: unit font files built from an installed font (with the GUI's renderer, on Qt's
// offscreen platform when no other is set), and a glyph of a font file shown as text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qmctl {

// Whether `arg` is one of font's own options, which go to run_font with its words.
bool is_font_option(std::string_view arg);

// Runs `font FACE [--width W] [--height H] [--bold] [--italic] [--underline] [--strikeout]
// -o FILE.fnt` or `font --dump FILE.fnt CHAR` (words[0] is "font").
int run_font(const std::vector<std::string>& words);

}  // namespace qmctl
