#include "shell/options.h"

#include <cstdint>
#include <fstream>
#include <system_error>

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
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ui.message_box(kShowLogTitle, kLogNotCreated, BoxButtons::Ok, BoxIcon::Error);
    return std::nullopt;
  }
  std::error_code ec;
  const auto length = std::filesystem::file_size(path, ec);
  if (!ec && length == 0) {
    ui.message_box(kShowLogTitle, kLogHasNoEntries, BoxButtons::Ok, BoxIcon::Error);
    return std::nullopt;
  }
  std::string text;
  if (!ec) {
    text.resize(static_cast<std::size_t>(length));
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
  }
  if (ec || !in || static_cast<std::uintmax_t>(in.gcount()) != length) {
    ui.message_box(kShowLogTitle, kLogReadError, BoxButtons::Ok, BoxIcon::Warning);
    return std::nullopt;
  }
  return text;
}

}  // namespace qm
