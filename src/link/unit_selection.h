// The selected unit: the address that panels send to and polls go to (settings key ID), its
// text in the status bar, and the rules of the unit radio buttons that choose it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/operator_ui.h"
#include "link/settings.h"

namespace qm {

// " ID%u" for a unit 0..3, " ID*" for all units (-1).
std::string unit_status_text(int unit);
// Makes `unit` (0..3, or -1 for all) the selected unit and shows it in the status bar.
void select_unit(SettingsValues& settings, OperatorUi& ui, int unit);

// A panel closing: when all units are selected then, the unit selected when it opened is
// selected again; a single unit chosen in the panel stays.
void restore_unit_on_close(SettingsValues& settings, OperatorUi& ui, int unit_at_open);

// The address a panel sends to: the selected unit, or every unit (255) when all are selected.
std::uint8_t send_address(const SettingsValues& settings);
// The unit a panel reads from: the selected unit, or unit 0 when all are selected.
std::uint8_t read_address(const SettingsValues& settings);

// The unit radio buttons 1200..1203 (units 0..3) and 1204 ("*", all units) of a panel.
struct UnitSelector {
  std::array<bool, 5> enabled{};  // per button
  int checked = 0;                // 0..4, the button to check
};
// What init_unit_selector shows for the settings. Without allow_all a selection of all units
// first becomes unit 0 (the caller does select_unit(0) when `selected` changed).
UnitSelector init_unit_selector(const SettingsValues& settings, bool allow_all, int& selected);

}  // namespace qm
