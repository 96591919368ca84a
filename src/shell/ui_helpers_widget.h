// The shared helpers applied to Qt widgets: dialog placement inside the main window, the
// unit selector's radio buttons, scroll bars bound to values.
#pragma once

#include <QString>

#include "shell/ui_helpers.h"

class QDialog;
class QScrollBar;
class QWidget;

namespace qm {

class App;

// The object name of a numbered dialog or control: "dialog135", "id1285".
QString dialog_name(int number);
QString control_name(int id);

// Moves the dialog to (x, y) inside its parent's client area, or centres it where x or y is
// negative. Without a visible parent it stays where the window system puts it.
void place_dialog(QWidget* dialog, int x, int y);

// Enables and checks the dialog's unit radio buttons id1200..id1204 (those that exist) by
// the installed and selected units; returns the selected unit (unit 0 when all units were
// selected and allow_all is false: select_unit(0) is applied then).
int init_unit_selector(App& app, QWidget* dialog, bool allow_all);

// Ties the scroll bar to the binding: range 0..maximum - minimum, the value's position, and
// every change of the bar updates the value and calls on_change.
void bind_scroll(QScrollBar* bar, ScrollBinding& binding);
// Moves the bar to the value without calling on_change and without changing the binding.
void set_scroll_value(QScrollBar* bar, const ScrollBinding& binding, int value);

}  // namespace qm
