// The shared helpers applied to Qt widgets: object names, dialog placement inside the main
// window, status bar parts, scroll bars bound to values.
#pragma once

#include <QString>
#include <string>

#include "base/ui_helpers.h"

class QDialog;
class QHBoxLayout;
class QPushButton;
class QLabel;
class QScrollBar;
class QWidget;

namespace qm {

// The object name of a numbered dialog or control: "dialog135", "id1285".
QString dialog_name(int number);
QString control_name(int id);

// The OK and Cancel buttons of a dialog ("okButton", OK the default; "cancelButton"), at the
// right of a row the caller places; the caller connects them.
struct DialogButtons {
  QPushButton* ok = nullptr;
  QPushButton* cancel = nullptr;
  QHBoxLayout* row = nullptr;
};
DialogButtons ok_cancel_buttons(QWidget* dialog);

// Moves the dialog to (x, y) inside its parent's client area, or centres it where x or y is
// negative. Without a visible parent it stays where the window system puts it.
void place_dialog(QWidget* dialog, int x, int y);

// A part of a status bar: a sunken panel at least `minimum_width` pixels wide that widens to
// show its whole text in the font it runs with.
QLabel* status_part(QWidget* bar, const QString& name, int minimum_width);

// Ties the scroll bar to the binding: range 0..maximum - minimum, the value's position, and
// every change of the bar updates the value and calls on_change.
void bind_scroll(QScrollBar* bar, ScrollBinding& binding);
// Moves the bar to the value without calling on_change and without changing the binding.
void set_scroll_value(QScrollBar* bar, const ScrollBinding& binding, int value);

// Hands an address ("http://...") or a file's path to the system to open, as a double click
// would (a browser for a page); whether the system took it.
bool open_document(const std::string& address_or_path);

}  // namespace qm
