#include "shell/options.h"

#include <cstdint>
#include <system_error>
#include <utility>

#include "platform/paths.h"
#include "shell/app.h"

namespace qm {

OptionChoices current_options(const App& app) {
  return {app.options.skip_std, app.options.flash_sector1, app.options.logging,
          app.settings.values.enable_ip};
}

void set_logging(App& app, bool on) {
  app.options.logging = on;
  app.log.log_enable(on);
}

void apply_options(App& app, const OptionChoices& choices) {
  app.options.skip_std = choices.skip_std;
  app.options.flash_sector1 = choices.flash_sector1;
  app.settings.values.enable_ip = choices.remote_access;
  // The socket is left open: only the routing flag moves traffic back to the serial port.
  if (!choices.remote_access) app.settings.values.ip = false;
  app.link.show_link_status();
}

void view_log(App& app, const std::function<void(const std::filesystem::path&)>& show_viewer) {
  const auto path = app.log.log_path();
  if (!path) return;
  // The viewer reads the file whole; it must not grow or stay open meanwhile.
  const bool was_logging = app.log.log_enable(false);
  show_viewer(*path);
  app.log.log_enable(was_logging);
}

void clear_log(App& app) {
  app.log.log_clear();
}

std::optional<std::string> read_log_for_viewer(OperatorUi& ui, const std::filesystem::path& path) {
  // Only a plain file is read: a pipe in the log's place would hold the viewer for good.
  platform::FileRead log = platform::read_file(path);
  switch (log.status) {
    case platform::FileReadStatus::NotFound:
    case platform::FileReadStatus::OpenFailed:
      ui.message_box(kShowLogTitle, kLogNotCreated, BoxButtons::Ok, BoxIcon::Error);
      return std::nullopt;
    case platform::FileReadStatus::Read:
      if (log.contents.empty()) {
        ui.message_box(kShowLogTitle, kLogHasNoEntries, BoxButtons::Ok, BoxIcon::Error);
        return std::nullopt;
      }
      return std::move(log.contents);
    case platform::FileReadStatus::NotRegular:
    case platform::FileReadStatus::TooLarge:
    case platform::FileReadStatus::ReadFailed:
      break;
  }
  ui.message_box(kShowLogTitle, kLogReadError, BoxButtons::Ok, BoxIcon::Warning);
  return std::nullopt;
}

}  // namespace qm
