// File-system places of the program and the user, the reading of a whole file, and the atomic
// replacement of a file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace qm::platform {

// The value of an environment variable, or none when it is not set.
std::optional<std::string> env_var(const char* name);

// An environment variable that names a folder, read as a path (on Windows in its wide form,
// so that no character outside the ANSI code page is lost); none when it is not set.
std::optional<std::filesystem::path> env_path(const char* name);

// The user's documents folder: on Windows the shell's Documents folder; elsewhere
// XDG_DOCUMENTS_DIR from the user's user-dirs.dirs, else $HOME/Documents. None when no home
// directory is known.
std::optional<std::filesystem::path> documents_folder();

// The directory holding the running executable.
std::filesystem::path executable_dir();

// Where the program's data (std.inc, the help pages) lives: share/quadrimon beside the
// executable's folder in an installed tree (bin/../share/quadrimon), else the executable's own
// folder (a build folder, Windows).
std::filesystem::path data_dir();

// The folder of this program's settings for the whole machine, which only an administrator
// writes: /etc/quadrimon on POSIX; none on Windows, where the program's own folder is that place.
std::optional<std::filesystem::path> machine_config_folder();

// The user's folder for this program's own settings: $XDG_CONFIG_HOME/quadrimon (else
// ~/.config/quadrimon) on POSIX, %APPDATA%\Quadrimon on Windows; none when neither is known.
std::optional<std::filesystem::path> user_config_folder();

// Whether this user may create files in `folder` now (false for a read-only file system too).
bool folder_writable(const std::filesystem::path& folder);

// How read_file ended.
enum class FileReadStatus {
  Read,        // `contents` holds the whole file
  NotFound,    // there is no such file
  NotRegular,  // a directory, a pipe, a device: never opened, so that nothing can block
  TooLarge,    // the file holds more bytes than the caller's limit
  OpenFailed,  // the file is there but could not be opened (or looked at)
  ReadFailed,  // the file opened but could not be read
};

struct FileRead {
  FileReadStatus status = FileReadStatus::OpenFailed;
  std::string contents;
  std::error_code error;  // the system's reason, when there is one
  bool ok() const { return status == FileReadStatus::Read; }
};

// Reads the regular file at `path` whole when it holds at most `max_bytes`. Never throws for
// a file the system will not read: the result says what went wrong.
FileRead read_file(const std::filesystem::path& path, std::uintmax_t max_bytes = UINTMAX_MAX);

// Moves `from` over `to`, replacing an existing `to` in one step where the platform allows it.
// The system's reason when it failed.
std::error_code replace_file(const std::filesystem::path& from, const std::filesystem::path& to);

// Creates a file that must not exist yet (never one someone else made meanwhile) for writing
// bytes; null with the system's reason when it cannot.
std::FILE* create_new_file(const std::filesystem::path& path, std::error_code& error);

// The step at which write_file_atomically stopped.
enum class AtomicWriteStep {
  Done,     // the target holds the new contents
  Create,   // the temporary file could not be created
  Write,    // the contents could not be written to it, or it could not be closed
  Prepare,  // the caller's step before the replacement failed
  Replace,  // the temporary file could not replace the target
};

struct AtomicWriteResult {
  AtomicWriteStep step = AtomicWriteStep::Done;
  std::error_code error;  // the system's reason (or the caller's, at Prepare)
  bool ok() const { return step == AtomicWriteStep::Done; }
};

// Writes `contents` to a new temporary file beside `target`, then moves it over `target` in
// one step, so that `target` is always either the old file or the new one whole. The
// temporary file has a name of its own (no file of the user's is ever taken for it); the new
// file keeps the old one's permissions; a symbolic link is written through to the file it
// names. `before_replace` runs between the two (while the old file is still in place); an
// error it returns stops the write. On any failure the temporary file is removed and `target`
// is left as it was.
AtomicWriteResult write_file_atomically(
    const std::filesystem::path& target, std::string_view contents,
    const std::function<std::error_code()>& before_replace = {});

}  // namespace qm::platform
