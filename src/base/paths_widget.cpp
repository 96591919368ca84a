#include "base/paths_widget.h"

#include "base/path_text.h"

namespace qm {

// UTF-8 is the one form both sides convert without loss: QString's toUtf8() never fails, and a
// path takes it as char8_t text, not in the narrow code page.
std::filesystem::path path_from_qstring(const QString& path) {
  return path_from_utf8(path_text_from_qstring(path));
}

QString qstring_from_path(const std::filesystem::path& path) {
  return qstring_from_path_text(utf8_from_path(path));
}

std::string path_text_from_qstring(const QString& path) {
  const QByteArray utf8 = path.toUtf8();
  return std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

QString qstring_from_path_text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::vector<std::string> path_texts_from_qstrings(const QStringList& texts) {
  std::vector<std::string> out;
  out.reserve(static_cast<std::size_t>(texts.size()));
  for (const QString& text : texts)
    out.push_back(path_text_from_qstring(text));
  return out;
}

}  // namespace qm
