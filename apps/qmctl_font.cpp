// qmctl font. Building a font needs Qt's font rendering, which only the build with the GUI
// has (QM_FONT_RENDERER); reading a font file back needs nothing but the core.
#include "qmctl_font.h"

#include <cstdio>
#include <optional>

#include "base/path_text.h"
#include "compiler/numbers.h"
#include "fontbuilder/font_choice.h"
#include "fontbuilder/font_file.h"
#include "platform/paths.h"
#include "qmctl_flash.h"

#ifdef QM_FONT_RENDERER
#include <QByteArray>
#include <QGuiApplication>

#include "fontbuilder/font_renderer_widget.h"
#endif

namespace qmctl {

namespace {

constexpr const char* kNoRenderer =
    "qmctl: font: this build of qmctl has no font renderer (it was built without Qt); "
    "use a build with the GUI\n";

int font_usage(const std::string& message) {
  std::fprintf(stderr, "qmctl: font: %s\ntry 'qmctl help font'\n", message.c_str());
  return kExitUsage;
}

// A whole number in first..last, or none.
std::optional<int> size_value(const std::string& text, int first, int last) {
  const qm::ParsedNumber n = qm::parse_number(text, 10);
  if (!n || n.value < first || n.value > last) return std::nullopt;
  return n.value;
}

// The character of a dump: one character as itself, else a number 0x20..0x7F.
std::optional<int> dump_character(const std::string& text) {
  if (text.size() == 1) return static_cast<unsigned char>(text[0]);
  const qm::ParsedNumber n = qm::parse_number(text, 10);
  if (!n) return std::nullopt;
  return n.value;
}

// font --dump FILE.fnt CHAR
int dump_glyph(const std::string& path, const std::string& which) {
  const std::optional<int> character = dump_character(which);
  if (!character) return font_usage("--dump: " + which + " is neither one character nor a number");
  const qm::platform::FileRead read =
      qm::platform::read_file(qm::path_from_utf8(path), qm::kFontFileLimit);
  if (read.status == qm::platform::FileReadStatus::TooLarge) {
    const std::string limit = std::to_string(qm::kFontFileLimit);
    std::fprintf(stderr, "qmctl: font: %s: not a font file (over %s bytes)\n", path.c_str(),
                 limit.c_str());
    return kExitFailed;
  }
  if (!read.ok()) {
    std::fprintf(stderr, "qmctl: font: cannot read %s\n", path.c_str());
    return kExitLocalFile;
  }
  std::string error;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(read.contents.data());
  const auto glyph = qm::read_font_glyph({bytes, read.contents.size()}, *character, error);
  if (!glyph) {
    std::fprintf(stderr, "qmctl: font: %s: %s\n", path.c_str(), error.c_str());
    return kExitFailed;
  }
  std::printf("'%c' (0x%02X): width %d, height %d\n", *character, *character, glyph->width,
              glyph->height);
  std::fputs(qm::glyph_rows(*glyph).c_str(), stdout);
  return kExitOk;
}

#ifdef QM_FONT_RENDERER
// Qt's notes about its environment (no runtime folder, no display) are not the command's
// output; only its errors are.
void qt_messages(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type == QtCriticalMsg || type == QtFatalMsg)
    std::fprintf(stderr, "qmctl: font: %s\n", text.toLocal8Bit().constData());
}

// Builds the font and writes it; the messages are those of the GUI's Create Font.
int build_font(const qm::FontChoice& choice, const std::string& out) {
  // No display is needed to draw into an image: Qt's offscreen platform unless one is set.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
  qInstallMessageHandler(qt_messages);
  int argc = 1;
  char name[] = "qmctl";
  char* argv[] = {name, nullptr};
  const QGuiApplication application(argc, argv);
  const qm::FontFileOutcome font = qm::build_font_for(choice);
  if (font.error != nullptr) {
    std::fprintf(stderr, "qmctl: font: %s:%s\n", choice.face.c_str(), font.error);
    return kExitFailed;
  }
  if (!qm::write_font_file(qm::path_from_utf8(out), font.image)) {
    std::fprintf(stderr, "qmctl: font: %s:%s\n", out.c_str(), qm::kFontSaveError);
    return kExitLocalFile;
  }
  const std::string size = std::to_string(font.image.size());
  std::printf("%s: %s bytes, height %d\n", out.c_str(), size.c_str(),
              static_cast<int>(font.image[2]));
  return kExitOk;
}
#endif

}  // namespace

bool is_font_option(std::string_view arg) {
  return arg == "--dump" || arg == "--width" || arg == "--height" || arg == "--bold" ||
         arg == "--italic" || arg == "--underline" || arg == "--strikeout";
}

int run_font(const std::vector<std::string>& words) {
  std::optional<std::string> face;
  std::optional<std::string> out;
  std::vector<std::string> dump;
  bool dumping = false;
  qm::FontChoice choice;
  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::string& w = words[i];
    const bool has_value = i + 1 < words.size();
    if (w == "--dump") {
      dumping = true;
    } else if (w == "--width" || w == "--height") {
      if (!has_value) return font_usage(w + " needs a value");
      const bool width = w == "--width";
      const auto n = width ? size_value(words[++i], qm::kFontWidthFirst, qm::kFontWidthLast)
                           : size_value(words[++i], qm::kFontHeightTypedFirst, qm::kFontHeightLast);
      if (!n) {
        return font_usage(w + " " + words[i] + " is not a number in " +
                          std::to_string(width ? qm::kFontWidthFirst : qm::kFontHeightTypedFirst) +
                          ".." + std::to_string(width ? qm::kFontWidthLast : qm::kFontHeightLast));
      }
      (width ? choice.width : choice.height) = *n;
    } else if (w == "--bold") {
      choice.weight = qm::kFontWeightBold;
    } else if (w == "--italic") {
      choice.italic = true;
    } else if (w == "--underline") {
      choice.underline = true;
    } else if (w == "--strikeout") {
      choice.strikeout = true;
    } else if (w == "-o") {
      if (!has_value) return font_usage("-o needs a file");
      out = words[++i];
    } else if (dumping) {
      dump.push_back(w);
    } else if (!face) {
      face = w;
    } else {
      return font_usage("unexpected " + w);
    }
  }
  if (dumping) {
    if (face) dump.insert(dump.begin(), *face);
    if (dump.size() != 2 || out) return font_usage("--dump wants FILE.fnt CHAR and nothing else");
    return dump_glyph(dump[0], dump[1]);
  }
  if (!face) return font_usage("wants a font face, e.g. \"Liberation Mono\"");
  if (!out) return font_usage("wants -o FILE.fnt");
  choice.face = *face;
#ifdef QM_FONT_RENDERER
  return build_font(choice, *out);
#else
  std::fputs(kNoRenderer, stderr);
  return kExitFailed;
#endif
}

}  // namespace qmctl
