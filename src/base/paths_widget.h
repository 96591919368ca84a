// Paths across the Qt boundary: a file chooser's answer, a dropped file, a command-line
// argument or a window title. Qt holds UTF-16; the core holds std::filesystem::path or UTF-8
// text (base/path_text.h). Every crossing goes through these, so a folder such as "Säle" names
// the same file on both sides, on Windows as elsewhere.
#pragma once

#include <QString>
#include <QStringList>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

std::filesystem::path path_from_qstring(const QString& path);
QString qstring_from_path(const std::filesystem::path& path);

// The core's UTF-8 text of a path, and back.
std::string path_text_from_qstring(const QString& path);
QString qstring_from_path_text(std::string_view text);

// Command-line arguments as the core's UTF-8 texts.
std::vector<std::string> path_texts_from_qstrings(const QStringList& texts);

}  // namespace qm
