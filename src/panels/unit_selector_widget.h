// A panel's unit radio buttons id1200..id1204 applied to its widgets.
#pragma once

#include "base/operator_ui.h"
#include "link/settings.h"

class QButtonGroup;
class QGroupBox;
class QWidget;

namespace qm {

// Enables and checks the dialog's unit radio buttons id1200..id1204 (those that exist) by
// the installed and selected units; returns the selected unit (unit 0 when all units were
// selected and allow_all is false: select_unit(0) is applied then).
int init_unit_selector(SettingsValues& settings, OperatorUi& ui, QWidget* dialog, bool allow_all);

// The unit radio buttons "0".."3" (ids 1200..1203) and, with `with_all`, "*" (1204) in a group
// box titled `title`; `group` gets them with ids 0..4.
QGroupBox* unit_radio_box(QWidget* dialog, const char* title, bool with_all, QButtonGroup*& group);

}  // namespace qm
