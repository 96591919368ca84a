#include "shell/project.h"

#include <fstream>
#include <sstream>
#include <string_view>
#include <system_error>

#include "base/path_text.h"
#include "base/text_format.h"
#include "platform/paths.h"

namespace qm {

namespace {

// Reads one piece of a text: up to its newline (kept) or `limit` characters. False at the end.
bool read_piece(std::istream& in, std::string& piece, std::size_t limit) {
  piece.clear();
  char c;
  while (piece.size() < limit && in.get(c)) {
    piece.push_back(c);
    if (c == '\n') break;
  }
  return !piece.empty();
}

// Removes the line end (LF or CR LF) from a piece.
void chop_line_end(std::string& line) {
  if (!line.empty() && line.back() == '\n') line.pop_back();
  if (!line.empty() && line.back() == '\r') line.pop_back();
}

// The next token after skipping leading delimiters, or none when only delimiters remain;
// `at` moves past the delimiter that ends the token.
std::optional<std::string_view> take_token(std::string_view text, std::size_t& at,
                                           std::string_view delimiters) {
  const std::size_t begin = text.find_first_not_of(delimiters, at);
  if (begin == std::string_view::npos) {
    at = text.size();
    return std::nullopt;
  }
  const std::size_t end = text.find_first_of(delimiters, begin);
  at = end == std::string_view::npos ? text.size() : end + 1;
  return text.substr(begin, end == std::string_view::npos ? end : end - begin);
}

std::optional<std::filesystem::path> current_directory() {
  std::error_code ec;
  auto here = std::filesystem::current_path(ec);
  if (ec) return std::nullopt;
  return here;
}

bool change_directory(const std::filesystem::path& dir) {
  std::error_code ec;
  std::filesystem::current_path(dir, ec);
  return !ec;
}

}  // namespace

std::optional<std::filesystem::path> find_project(
    const std::optional<std::filesystem::path>& user_folder) {
  if (user_folder) {
    const std::filesystem::path& folder = *user_folder;
    if (!change_directory(folder)) {
      std::error_code ec;
      std::filesystem::create_directory(folder, ec);
      if (ec || !change_directory(folder)) return std::nullopt;
    }
    // Only a plain file is read: a pipe in its place would hold up the program's start.
    const platform::FileRead location = platform::read_file(folder / kProjectLocationFile);
    std::istringstream in(location.contents);
    std::string line;
    if (location.ok() && read_piece(in, line, kMaxProjectPath)) {
      chop_line_end(line);
      const std::filesystem::path project = path_from_utf8(line);
      if (change_directory(project.parent_path())) return project;
    }
  }
  const auto here = current_directory();
  if (!here) return std::nullopt;
  return *here / kDefaultProjectName;
}

void remember_project(const std::optional<std::filesystem::path>& user_folder,
                      const std::string& project, OperatorUi& ui) {
  if (!user_folder) return;
  const std::filesystem::path& folder = *user_folder;
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) {
    std::filesystem::create_directory(folder, ec);
    if (ec) {
      ui.message_box(kProjectTitle,
                     strprintf(kCannotCreateProjectFolder, utf8_from_path(folder).c_str()),
                     BoxButtons::Ok, BoxIcon::Warning);
      return;
    }
    change_directory(folder);
  }
  const std::filesystem::path location = folder / kProjectLocationFile;
  // Through a temporary file: a failed write leaves the location remembered before.
  if (!platform::write_file_atomically(location, project + "\n").ok()) {
    ui.message_box(kProjectTitle,
                   strprintf(kCannotWriteProjectLocation, utf8_from_path(location).c_str()) +
                       strprintf(kCheckProjectFolder, utf8_from_path(folder.parent_path()).c_str()),
                   BoxButtons::Ok, BoxIcon::Warning);
  }
}

bool check_project_file(const std::filesystem::path& path) {
  // A file that cannot be read, or is not a plain file, is taken as a missing one.
  const platform::FileRead file = platform::read_file(path);
  if (!file.ok()) return true;
  std::istringstream in(file.contents);
  std::string line;
  int lines = 0;
  // Whole lines: a long legend with a deep path is still one button.
  while (std::getline(in, line)) {
    if (++lines > kMaxProjectLines) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    // A button: its legend in double quotes, then its file, which must not be empty.
    std::size_t at = 0;
    if (!take_token(line, at, "\"") || !take_token(line, at, "\" ,\n")) return false;
  }
  return true;
}

}  // namespace qm
