#include "shell/startup.h"

#include <system_error>

#include "base/path_text.h"
#include "base/text_format.h"
#include "compiler/source_reader.h"
#include "link/settings.h"
#include "platform/paths.h"
#include "platform/socket.h"
#include "shell/app.h"
#include "shell/project.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

constexpr const char* kProfileVariable = "USERPROFILE";
constexpr const char* kProjectFolderFormat = "%s/My Documents/Quadrimon";
constexpr std::string_view kProjectExtension = "efx";
constexpr std::string_view kSequenceExtension = "seq";
constexpr const char* kDemoAddress = "127.0.0.1";
constexpr int kDemoChannels = 16;  // units 0 and 1 of the demo wall

// Whether the argument names a folder as well as a file: it holds a separator of either kind.
bool has_folder_part(std::string_view argument) {
  return argument.find_first_of("/\\") != std::string_view::npos;
}

// The argument's full path, made absolute against the current directory now; the path as
// written when that fails.
fs::path full_path(const fs::path& file) {
  std::error_code error;
  const fs::path full = fs::absolute(file, error);
  return error ? file : full.lexically_normal();
}

bool enter(const fs::path& folder) {
  std::error_code error;
  fs::current_path(folder, error);
  return !error;
}

}  // namespace

std::optional<fs::path> load_settings(Settings& settings) {
  settings.settings_load();
  return settings.remote_access_load();
}

void apply_remote_access_rule(SettingsValues& values) {
  if (!values.enable_ip) values.ip = false;
}

void use_demo_wall(SettingsValues& values, std::uint16_t port) {
  values.enable_ip = true;
  values.ip = true;
  values.address = *platform::parse_ipv4(kDemoAddress);
  values.tcp_port = port;
  values.key.clear();
  values.units[0] = kDemoChannels;
  values.units[1] = kDemoChannels;
  values.units[2] = values.units[3] = 0;
  values.com_port = -1;
}

void open_from_settings(App& app, std::optional<std::uint16_t> demo_port) {
  load_settings(app.settings);
  if (demo_port) use_demo_wall(app.settings.values, *demo_port);
  apply_remote_access_rule(app.settings.values);
  app.log.log_enable(app.options.logging);
  app.link.com_open_configured();  // restarts the millisecond clock too
}

ProjectPlaces project_places(const Settings& settings) {
  return {settings.user_folder(), platform::env_path(kProfileVariable)};
}

bool has_extension(std::string_view path, std::string_view extension) {
  const std::string name = utf8_from_path(path_from_utf8(path).filename());
  const std::size_t dot = name.rfind('.');
  return dot != std::string::npos && equals_ignoring_case(name.substr(dot + 1), extension);
}

bool is_sequence_file_name(std::string_view path) {
  return has_extension(path, kSequenceExtension);
}

bool choose_start_project(const std::vector<std::string>& arguments, const ProjectPlaces& places,
                          OperatorUi& ui) {
  if (!arguments.empty() && has_folder_part(arguments.front())) {
    const fs::path file = path_from_utf8(arguments.front());
    // The full path is taken before the directory changes, so that a relative argument still
    // names the same file.
    const fs::path full = full_path(file);
    const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    if (enter(folder) && has_extension(arguments.front(), kProjectExtension) &&
        check_project_file(full)) {
      remember_project(places.user_folder, utf8_from_path(full), ui);
      return true;
    }
  }
  if (find_project(places.user_folder)) return true;
  if (!places.profile) return false;
  return enter(
      path_from_utf8(strprintf(kProjectFolderFormat, utf8_from_path(*places.profile).c_str())));
}

std::optional<fs::path> enter_sequence_argument(const std::vector<std::string>& arguments) {
  if (arguments.empty() || !is_sequence_file_name(arguments.back())) return std::nullopt;
  const fs::path full = full_path(path_from_utf8(arguments.back()));
  if (has_folder_part(arguments.back()) && !enter(full.parent_path())) return std::nullopt;
  return full;
}

}  // namespace qm
