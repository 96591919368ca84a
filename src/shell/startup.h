// The program's start-up rules, apart from its window: which settings hold for the run, which
// project and current directory the command line and the remembered project choose, and which
// sequence file runs before the window would open. The main window applies what these decide.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/operator_ui.h"

namespace qm {

class App;
class Settings;
struct SettingsValues;

// Reads the settings file, then the remote-access switch files over it; the switch file that
// decided, if any.
std::optional<std::filesystem::path> load_settings(Settings& settings);

// The remote-access rule: with "Enable Remote Access using TCP/IP" off, the link mode is serial
// whatever the settings file says.
void apply_remote_access_rule(SettingsValues& values);

// The settings of a run on the demo wall: remote access to its gateway on the loopback port
// `port` without a key, units 0 and 1 installed with 16 channels each, no serial port.
void use_demo_wall(SettingsValues& values, std::uint16_t port);

// Loads the settings and opens what they name, in the start-up order: the settings file and
// the remote-access switch (load_settings), the demo wall's settings when a demo gateway port is
// given, the remote-access rule, the traffic log (as the "Logging enabled" option says), then the
// clock and the serial port.
void open_from_settings(App& app, std::optional<std::uint16_t> demo_port);

// Where the operator's project is looked for when no argument names one.
struct ProjectPlaces {
  std::optional<std::filesystem::path> user_folder;  // the per-user folder: wall.prj
  std::optional<std::filesystem::path> profile;      // the USERPROFILE variable
};

// The project places of this user: the settings' per-user folder and the USERPROFILE variable.
ProjectPlaces project_places(const Settings& settings);

// Whether the path text names a file with the extension `extension` (without its dot) in any
// case: "show.EFX" has the extension "efx".
bool has_extension(std::string_view path, std::string_view extension);

// Whether the path text names a sequence file, which runs when dropped or given as the last
// argument: the extension ".seq" in any case.
bool is_sequence_file_name(std::string_view path);

// Chooses the project and the current directory from the command-line arguments (UTF-8 text):
//  1. A first argument with a folder part makes that folder current (the change stays even
//     when the argument is not taken). It is the project when that succeeded, its extension is
//     ".efx" in any case and the file passes check_project_file; its full path is then
//     remembered (remember_project).
//  2. Otherwise the remembered project is looked up (find_project, which sets the directory).
//  3. If that finds none, the folder "My Documents/Quadrimon" of the user's profile becomes
//     current.
// True when a project was found (in step 3: when its folder could be entered).
bool choose_start_project(const std::vector<std::string>& arguments, const ProjectPlaces& places,
                          OperatorUi& ui);

// The sequence file a ".seq" last argument names, as a full path, once its folder (when the
// argument has a folder part) has become the current directory: it runs in place of the
// window. None when there is no such argument or its folder cannot be entered.
std::optional<std::filesystem::path> enter_sequence_argument(
    const std::vector<std::string>& arguments);

}  // namespace qm
