// Paths the core keeps as text: file names in requests, options and the texts shown to the
// operator are UTF-8 on every platform. A path made from such text, or turned back into it,
// goes through these, never through the narrow std::string forms of std::filesystem::path,
// which use the ANSI code page on Windows and lose every character outside it.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace qm {

// The path named by UTF-8 text.
inline std::filesystem::path path_from_utf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

// The UTF-8 text of a path.
inline std::string utf8_from_path(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace qm
