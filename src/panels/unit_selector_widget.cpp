#include "panels/unit_selector_widget.h"

#include <QAbstractButton>
#include <QWidget>

#include "base/ui_helpers_widget.h"
#include "link/unit_selection.h"

namespace qm {

int init_unit_selector(SettingsValues& settings, OperatorUi& ui, QWidget* dialog, bool allow_all) {
  int selected = settings.id;
  const int before = selected;
  const UnitSelector s = qm::init_unit_selector(settings, allow_all, selected);
  if (selected != before) select_unit(settings, ui, selected);
  for (int i = 0; i < 5; ++i) {
    auto* button = dialog->findChild<QAbstractButton*>(control_name(1200 + i));
    if (button == nullptr) continue;
    button->setEnabled(s.enabled[static_cast<std::size_t>(i)]);
    if (i == s.checked) button->setChecked(true);
  }
  return selected;
}

}  // namespace qm
