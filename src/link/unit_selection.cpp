#include "link/unit_selection.h"

#include "base/text_format.h"
#include "link/unit_frame.h"

namespace qm {

std::string unit_status_text(int unit) {
  return unit < 0 ? std::string(" ID*") : strprintf(" ID%u", static_cast<unsigned>(unit));
}

void select_unit(SettingsValues& settings, OperatorUi& ui, int unit) {
  settings.id = unit;
  ui.show_unit_status(unit_status_text(unit));
}

void restore_unit_on_close(SettingsValues& settings, OperatorUi& ui, int unit_at_open) {
  if (settings.id < 0) select_unit(settings, ui, unit_at_open);
}

std::uint8_t send_address(const SettingsValues& settings) {
  return settings.id < 0 ? kAddressAll : static_cast<std::uint8_t>(settings.id);
}

std::uint8_t read_address(const SettingsValues& settings) {
  return settings.id < 0 ? 0 : static_cast<std::uint8_t>(settings.id);
}

UnitSelector init_unit_selector(const SettingsValues& settings, bool allow_all, int& selected) {
  UnitSelector s;
  int count = 0;
  for (int j = 0; j < 4; ++j) {
    if (settings.units[j] != 0 || j == selected) {
      s.enabled[static_cast<std::size_t>(j)] = true;
      ++count;
    }
  }
  if (allow_all) {
    if (count > 1) s.enabled[4] = true;
    s.checked = selected < 0 ? 4 : selected;
  } else {
    if (selected < 0) {
      selected = 0;
      s.enabled[0] = true;
    }
    s.checked = selected;
  }
  return s;
}

}  // namespace qm
