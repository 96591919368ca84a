// The Program Options and what each option does to the running program, and the rules of the
// log viewer: when the traffic log can be shown and what the operator is told when not.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "base/operator_ui.h"

namespace qm {

class App;

inline constexpr const char* kShowLogTitle = " Show log";
inline constexpr const char* kLogNotCreated = "A log file has not been created yet";
inline constexpr const char* kLogHasNoEntries = "Log file has no entries";
inline constexpr const char* kLogReadError = "Error reading log file";

// The four check boxes of the Options dialog.
struct OptionChoices {
  bool skip_std = false;
  bool flash_sector1 = false;
  bool logging = false;
  bool remote_access = false;  // ENABLE_IP
};

// What the Options dialog shows when it opens.
OptionChoices current_options(const App& app);

// "Logging enabled" clicked: the option follows at once and the log opens or closes.
void set_logging(App& app, bool on);

// OK: stores the options other than logging. With remote access off the remote link flag is
// cleared too, so traffic goes to the serial port; the socket stays as it is. The status bar
// shows the link in use.
void apply_options(App& app, const OptionChoices& choices);

// "View log": with the log's path known, logging is off (its file closed) while `show_viewer`
// runs on that path, and then back as it was.
void view_log(App& app, const std::function<void(const std::filesystem::path&)>& show_viewer);

// "Clear log".
void clear_log(App& app);

// The log file's text for the viewer, read whole without translation. None when it cannot be
// shown; the operator has then been told why (" Show log" box).
std::optional<std::string> read_log_for_viewer(OperatorUi& ui, const std::filesystem::path& path);

}  // namespace qm
