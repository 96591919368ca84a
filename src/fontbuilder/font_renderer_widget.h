// Draws the characters of an installed font onto a glyph surface with Qt: a 51 x 61 one-bit
// image, black text on white from the top-left corner, no antialiasing. Needs a
// QGuiApplication.
#pragma once

#include <QFont>
#include <QImage>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "fontbuilder/font_choice.h"
#include "fontbuilder/font_file.h"

namespace qm {

class QtGlyphRenderer final : public GlyphRenderer {
 public:
  // The font of the choice: its face with the weight, italic and effects, sized so that its
  // cell (ascent + descent) is `height` pixels and its average character `width` pixels.
  explicit QtGlyphRenderer(const FontChoice& choice);

  // The height is the cell height asked for; Qt fonts have no overhang, so it is 0.
  FontMetrics metrics() const override { return metrics_; }
  void render(char character, GlyphSurface& surface) override;

  const QFont& font() const { return font_; }
  // Whether the surface could be made.
  bool ready() const { return !image_.isNull(); }

 private:
  QFont font_;
  QImage image_;
  int ascent_ = 0;
  FontMetrics metrics_;
};

// Whether the face is installed (faces are not substituted: a missing one is refused).
bool font_face_installed(const QString& face);

enum class FontRendererError { None, Internal, Unusable };

// The renderer for the choice; null with the reason when the face is not installed or the
// surface cannot be made.
std::unique_ptr<QtGlyphRenderer> make_glyph_renderer(const FontChoice& choice,
                                                     FontRendererError& error);

// The font file of the choice, or the message (kFontUnusable, kFontInternalError,
// kFontTooBig) that says why there is none.
struct FontFileOutcome {
  std::vector<std::uint8_t> image;
  const char* error = nullptr;
  std::size_t size = 0;  // the file's length, also when it is too big
};
FontFileOutcome build_font_for(const FontChoice& choice);

// A picture of `text` as the font file shows it: each glyph at its measured width and the
// font's height, side by side, each pixel `scale` screen pixels wide.
QImage glyph_preview(QtGlyphRenderer& renderer, const QString& text, int scale);

}  // namespace qm
