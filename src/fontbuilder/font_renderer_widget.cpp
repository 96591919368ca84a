#include "fontbuilder/font_renderer_widget.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace qm {

namespace {

constexpr int kStretchFirst = 1;  // the range QFont takes
constexpr int kStretchLast = 4000;
constexpr int kStretchSteps = 4;  // tries at the average width; each comes closer
constexpr uint kWhiteIndex = 0;   // the surface's two colours
constexpr int kBlackIndex = 1;

// The QFont weight of a font weight 100..900 (400 normal, 700 bold).
QFont::Weight qt_weight(int weight) {
  return static_cast<QFont::Weight>(std::clamp(weight, 1, 1000));
}

// The largest pixel size whose cell is at most `height` pixels (at least 1).
int pixel_size_for_cell(QFont& font, int height) {
  int size = std::max(height, 1);
  font.setPixelSize(size);
  const int cell = QFontMetrics(font).height();
  if (cell > height && cell > 0) size = std::max(1, height * size / cell + 1);
  while (size > 1) {
    font.setPixelSize(size);
    if (QFontMetrics(font).height() <= height) break;
    --size;
  }
  font.setPixelSize(size);
  return size;
}

// Stretches the font until its average character is `width` pixels, as near as it gets.
void stretch_to_width(QFont& font, int width) {
  int stretch = 100;
  for (int step = 0; step < kStretchSteps; ++step) {
    font.setStretch(stretch);
    const int average = QFontMetrics(font).averageCharWidth();
    if (average <= 0 || average == width) return;
    const int next = std::clamp(static_cast<int>(std::lround(stretch * static_cast<double>(width) /
                                                             static_cast<double>(average))),
                                kStretchFirst, kStretchLast);
    if (next == stretch) return;
    stretch = next;
  }
  font.setStretch(stretch);
}

}  // namespace

QtGlyphRenderer::QtGlyphRenderer(const FontChoice& choice)
    : image_(kSurfaceWidth, kSurfaceHeight, QImage::Format_Mono) {
  image_.setColorTable({QColor(Qt::white).rgb(), QColor(Qt::black).rgb()});
  font_.setFamily(QString::fromStdString(choice.face));
  font_.setWeight(qt_weight(choice.weight));
  font_.setItalic(choice.italic);
  font_.setUnderline(choice.underline);
  font_.setStrikeOut(choice.strikeout);
  font_.setKerning(false);
  // One bit per pixel: no grey edges to round.
  font_.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::NoFontMerging));
  pixel_size_for_cell(font_, choice.height);
  stretch_to_width(font_, choice.width);
  const QFontMetrics metrics(font_);
  ascent_ = metrics.ascent();
  // The cell asked for: the font fits it, though whole pixel sizes may leave a spare row at the
  // bottom; a font too tall even at its smallest size keeps its own cell.
  metrics_.height = std::max(metrics.height(), choice.height);
  metrics_.overhang = 0;
}

void QtGlyphRenderer::render(char character, GlyphSurface& surface) {
  surface.clear();
  if (image_.isNull()) return;
  image_.fill(kWhiteIndex);
  {
    QPainter painter(&image_);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.setFont(font_);
    painter.setPen(Qt::black);
    painter.drawText(0, ascent_, QString(QChar(static_cast<unsigned char>(character))));
  }
  for (int y = 0; y < kSurfaceHeight; ++y)
    for (int x = 0; x < kSurfaceWidth; ++x)
      if (image_.pixelIndex(x, y) == kBlackIndex) surface.set_ink(x, y);
}

bool font_face_installed(const QString& face) {
  const QStringList families = QFontDatabase::families();
  return std::any_of(families.begin(), families.end(), [&](const QString& family) {
    return family.compare(face, Qt::CaseInsensitive) == 0;
  });
}

std::unique_ptr<QtGlyphRenderer> make_glyph_renderer(const FontChoice& choice,
                                                     FontRendererError& error) {
  error = FontRendererError::None;
  if (!font_face_installed(QString::fromStdString(choice.face))) {
    error = FontRendererError::Unusable;
    return nullptr;
  }
  auto renderer = std::make_unique<QtGlyphRenderer>(choice);
  if (!renderer->ready()) {
    error = FontRendererError::Internal;
    return nullptr;
  }
  return renderer;
}

FontFileOutcome build_font_for(const FontChoice& choice) {
  FontFileOutcome outcome;
  FontRendererError error = FontRendererError::None;
  const auto renderer = make_glyph_renderer(choice, error);
  if (!renderer) {
    outcome.error = error == FontRendererError::Internal ? kFontInternalError : kFontUnusable;
    return outcome;
  }
  FontBuild build = build_font_file(*renderer);
  outcome.size = build.size;
  switch (build.status) {
    case FontBuildStatus::Built:
      outcome.image = std::move(build.image);
      break;
    case FontBuildStatus::TooBig:
      outcome.error = kFontTooBig;
      break;
    case FontBuildStatus::BadHeight:
      outcome.error = kFontUnusable;
      break;
  }
  return outcome;
}

QImage glyph_preview(QtGlyphRenderer& renderer, const QString& text, int scale) {
  const int height = std::clamp(renderer.metrics().height, 1, kSurfaceHeight);
  constexpr int kGap = 1;  // white columns between glyphs
  std::vector<GlyphSurface> surfaces(static_cast<std::size_t>(text.size()));
  std::vector<int> widths;
  int total = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char c = text[i].toLatin1();
    renderer.render(c, surfaces[static_cast<std::size_t>(i)]);
    widths.push_back(glyph_width(surfaces[static_cast<std::size_t>(i)]));
    total += widths.back() + kGap;
  }
  QImage picture(std::max(total, 1) * scale, height * scale, QImage::Format_RGB32);
  picture.fill(Qt::white);
  QPainter painter(&picture);
  int left = 0;
  for (std::size_t i = 0; i < surfaces.size(); ++i) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < widths[i]; ++x)
        if (surfaces[i].ink(x, y))
          painter.fillRect((left + x) * scale, y * scale, scale, scale, Qt::black);
    left += widths[i] + kGap;
  }
  return picture;
}

}  // namespace qm
