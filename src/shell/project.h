// Where the current project of the sequence buttons lives: the project location file wall.prj
// in the per-user folder remembers its path from one run to the next, and a project file is
// checked before it is taken at start-up.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "base/operator_ui.h"

namespace qm {

inline constexpr const char* kProjectLocationFile = "wall.prj";
inline constexpr const char* kDefaultProjectName = "wall.efx";
inline constexpr const char* kProjectTitle = "Project";
inline constexpr const char* kCannotCreateProjectFolder =
    "Unable to create the directory \"%s\" to save current the project location.\n\n";
inline constexpr const char* kCannotWriteProjectLocation =
    "Unable to write to \"%s\" to save current the project location.\n\n";
inline constexpr const char* kCheckProjectFolder =
    "Check that the directory \"%s\\Quadrimon\" exists and has the correct permissions.";

inline constexpr std::size_t kMaxProjectPath = 259;  // characters of a remembered path
inline constexpr int kMaxProjectLines = 281;

// The current project's path. The per-user folder (Settings::user_folder()) becomes the current
// directory, created when missing, and its wall.prj names the project, whose directory then
// becomes current. Without the folder, or when that fails, "wall.efx" in the current directory.
// None when no path can be had.
std::optional<std::filesystem::path> find_project(
    const std::optional<std::filesystem::path>& user_folder);

// Records the project's path (UTF-8 text, as wall.prj keeps it) in wall.prj, creating the per-user
// folder (and making it the current directory) when it is missing. Failures are told in a "Project"
// box. Without a per-user folder nothing happens.
void remember_project(const std::optional<std::filesystem::path>& user_folder,
                      const std::string& project, OperatorUi& ui);

// Whether the file may be used as a project: a file that cannot be opened passes; one with a
// line (read whole, however long) that is not a quoted legend followed by a file, or with
// more than 281 lines, fails.
bool check_project_file(const std::filesystem::path& path);

}  // namespace qm
