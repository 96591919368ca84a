// File-system places on Windows: the shell's Documents folder, the module file name,
// MoveFileExW.

#include "platform/win32.h"

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>

#include "platform/paths.h"

namespace qm::platform {

std::optional<std::string> env_var(const char* name) {
  std::string value(64, '\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    DWORD length = GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) {
      // 0 is both "not set" and "set to the empty string"; the last error tells them apart.
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    if (length < value.size()) {
      value.resize(length);
      return value;
    }
    // Too small: `length` is the size needed, terminator included.
    value.resize(length);
  }
}

std::optional<std::filesystem::path> env_path(const char* name) {
  const std::wstring wide_name(name, name + std::char_traits<char>::length(name));  // ASCII names
  std::wstring value(64, L'\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    DWORD length =
        GetEnvironmentVariableW(wide_name.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::filesystem::path();
    }
    if (length < value.size()) {
      value.resize(length);
      return std::filesystem::path(value);
    }
    value.resize(length);  // the size needed, terminator included
  }
}

std::optional<std::filesystem::path> documents_folder() {
  PWSTR folder = nullptr;
  std::optional<std::filesystem::path> result;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, KF_FLAG_DEFAULT, nullptr, &folder)) &&
      folder != nullptr) {
    result = std::filesystem::path(folder);
  }
  CoTaskMemFree(folder);  // the shell allocates the text even when the call fails
  return result;
}

std::filesystem::path executable_dir() {
  std::wstring name(MAX_PATH, L'\0');
  // Long paths can exceed MAX_PATH; a full buffer means the name was cut, so grow and retry.
  while (name.size() <= 32768) {
    DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) break;
    if (length < name.size()) {
      name.resize(length);
      return std::filesystem::path(name).parent_path();
    }
    name.resize(name.size() * 2);
  }
  std::error_code error;
  auto current = std::filesystem::current_path(error);
  return error ? std::filesystem::path(".") : current;
}

std::filesystem::path data_dir() {
  return executable_dir();  // Windows keeps the data beside the programs
}

std::optional<std::filesystem::path> user_config_folder() {
  auto app_data = env_path("APPDATA");
  if (!app_data || app_data->empty()) return std::nullopt;
  return *app_data / "Quadrimon";
}

std::optional<std::filesystem::path> machine_config_folder() {
  return std::nullopt;  // the program's own folder holds the machine's settings here
}

bool folder_writable(const std::filesystem::path& folder) {
  // The attributes do not tell what the folder's access list allows: a file made and removed
  // again does.
  const std::filesystem::path probe =
      folder / ("quadrimon-" + std::to_string(GetCurrentProcessId()) + ".tmp");
  std::error_code error;
  std::FILE* file = create_new_file(probe, error);
  if (file == nullptr) return false;
  std::fclose(file);
  std::filesystem::remove(probe, error);
  return true;
}

std::error_code replace_file(const std::filesystem::path& from, const std::filesystem::path& to) {
  // A plain rename refuses an existing target here; MoveFileExW replaces it.
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return {};
  return {static_cast<int>(GetLastError()), std::system_category()};
}

std::FILE* create_new_file(const std::filesystem::path& path, std::error_code& error) {
  int fd = -1;
  const errno_t failed =
      _wsopen_s(&fd, path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                _SH_DENYNO, _S_IREAD | _S_IWRITE);
  if (failed != 0) {
    error.assign(failed, std::generic_category());
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "wb");
  if (file == nullptr) {
    error.assign(errno, std::generic_category());
    _close(fd);
    std::filesystem::remove(path, error);
  }
  return file;
}

}  // namespace qm::platform
