// File-system places of the program and the user, and the atomic replacement of a file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace qm::platform {

// The value of an environment variable, or none when it is not set.
std::optional<std::string> env_var(const char* name);

// The user's documents folder: on Windows the shell's Documents folder; elsewhere
// XDG_DOCUMENTS_DIR from the user's user-dirs.dirs, else $HOME/Documents. None when no home
// directory is known.
std::optional<std::filesystem::path> documents_folder();

// The directory holding the running executable.
std::filesystem::path executable_dir();

// Moves `from` over `to`, replacing `to` in one step where the platform allows it.
bool replace_file(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace qm::platform
