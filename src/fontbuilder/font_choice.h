// What the operator picks for a unit font: the face, its style and effects, and the pixel
// width and height; and the width and height the builder keeps for the rest of the run.
#pragma once

#include <string>

namespace qm {

inline constexpr const char* kDefaultFontFace = "Courier New";
// Where the default face is not installed, the metric-compatible face that stands in for it.
inline constexpr const char* kFallbackFontFace = "Liberation Mono";

inline constexpr int kFontWeightNormal = 400;
inline constexpr int kFontWeightBold = 700;

// The pixel widths and heights offered; a height may also be typed, down to 1. Heights above
// 60 would not fit the rows a glyph is measured in.
inline constexpr int kFontWidthFirst = 5;
inline constexpr int kFontWidthLast = 30;
inline constexpr int kFontHeightFirst = 7;
inline constexpr int kFontHeightLast = 60;
inline constexpr int kFontHeightTypedFirst = 1;

struct FontChoice {
  std::string face = kDefaultFontFace;
  int weight = kFontWeightNormal;  // 100..900 as font weights go; 400 normal, 700 bold
  bool italic = false;
  bool underline = false;
  bool strikeout = false;
  int width = 7;    // average character width in pixels
  int height = 10;  // character cell height in pixels
};

// The width and height the builder uses: 7 and 10 until the operator picks others, then the
// last ones picked, for the rest of the program run.
struct FontSizes {
  int width = 7;
  int height = 10;
};

}  // namespace qm
