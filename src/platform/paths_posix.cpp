// File-system places on POSIX systems: the XDG documents folder, /proc/self/exe, rename().

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "platform/paths.h"

namespace qm::platform {
namespace {

constexpr std::string_view kDocumentsVariable = "XDG_DOCUMENTS_DIR";

std::string_view trim_leading_blanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  return text;
}

// The value of an assignment line `XDG_DOCUMENTS_DIR="..."` in shell form (quotes and
// backslash escapes removed), or none when the line assigns something else.
std::optional<std::string> documents_assignment(std::string_view line) {
  line = trim_leading_blanks(line);
  if (line.substr(0, kDocumentsVariable.size()) != kDocumentsVariable) return std::nullopt;
  line = trim_leading_blanks(line.substr(kDocumentsVariable.size()));
  if (line.empty() || line.front() != '=') return std::nullopt;
  line = trim_leading_blanks(line.substr(1));

  std::string value;
  if (!line.empty() && line.front() == '"') {
    for (std::size_t i = 1; i < line.size() && line[i] != '"'; ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) ++i;
      value += line[i];
    }
  } else {
    for (char c : line) {
      if (c == ' ' || c == '\t' || c == '\r' || c == '#') break;
      value += c;
    }
  }
  return value;
}

// A user-dirs.dirs value as a path: "$HOME" (or "${HOME}") at the start is the home
// directory, and a relative value is taken relative to it.
std::filesystem::path expand_home(std::string_view value, const std::filesystem::path& home) {
  for (std::string_view name : {"$HOME", "${HOME}"}) {
    if (value.substr(0, name.size()) == name &&
        (value.size() == name.size() || value[name.size()] == '/')) {
      value.remove_prefix(name.size());
      while (!value.empty() && value.front() == '/')
        value.remove_prefix(1);
      return value.empty() ? home : home / value;
    }
  }
  std::filesystem::path path(value);
  return path.is_absolute() ? path : home / path;
}

// The user's configuration folder: $XDG_CONFIG_HOME when it names an absolute folder, else
// ~/.config; none without a home directory.
std::optional<std::filesystem::path> config_home() {
  if (auto config_home = env_var("XDG_CONFIG_HOME"); config_home && !config_home->empty()) {
    std::filesystem::path path(*config_home);
    if (path.is_absolute()) return path;
  }
  auto home = env_var("HOME");
  if (!home || home->empty()) return std::nullopt;
  return std::filesystem::path(*home) / ".config";
}

}  // namespace

std::optional<std::string> env_var(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::optional<std::filesystem::path> env_path(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::filesystem::path(value);
}

std::optional<std::filesystem::path> documents_folder() {
  auto home_text = env_var("HOME");
  if (!home_text || home_text->empty()) return std::nullopt;
  const std::filesystem::path home(*home_text);
  const std::filesystem::path config_dir = config_home().value_or(home / ".config");

  // As in a shell, the last assignment in the file wins.
  std::optional<std::string> documents;
  // Only a plain file is read: a pipe in its place would hold up the program's start.
  const FileRead dirs = read_file(config_dir / "user-dirs.dirs");
  for (std::string_view rest = dirs.contents; !rest.empty();) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    if (auto value = documents_assignment(line)) documents = std::move(value);
  }
  if (documents && !documents->empty()) return expand_home(*documents, home);
  return home / "Documents";
}

std::filesystem::path executable_dir() {
  std::error_code error;
  auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error && executable.has_parent_path()) return executable.parent_path();
  auto current = std::filesystem::current_path(error);
  return error ? std::filesystem::path(".") : current;
}

std::filesystem::path data_dir() {
  const std::filesystem::path here = executable_dir();
  const std::filesystem::path installed = here.parent_path() / "share" / "quadrimon";
  std::error_code error;
  if (std::filesystem::is_regular_file(installed / "std.inc", error)) return installed;
  return here;
}

std::optional<std::filesystem::path> user_config_folder() {
  auto config = config_home();
  if (!config) return std::nullopt;
  return *config / "quadrimon";
}

std::optional<std::filesystem::path> machine_config_folder() {
  return std::filesystem::path("/etc/quadrimon");
}

bool folder_writable(const std::filesystem::path& folder) {
  // access() answers for the real user and knows read-only file systems.
  return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::FILE* create_new_file(const std::filesystem::path& path, std::error_code& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    error.assign(errno, std::generic_category());
    return nullptr;
  }
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    error.assign(errno, std::generic_category());
    ::close(fd);
    std::filesystem::remove(path, error);
  }
  return file;
}

std::error_code replace_file(const std::filesystem::path& from, const std::filesystem::path& to) {
  // rename() replaces an existing file in one step.
  std::error_code error;
  std::filesystem::rename(from, to, error);
  return error;
}

}  // namespace qm::platform
