#include "panels/unit_selector_widget.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
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

QGroupBox* unit_radio_box(QWidget* dialog, const char* title, bool with_all, QButtonGroup*& group) {
  static constexpr const char* kNames[] = {"0", "1", "2", "3", "*"};
  auto* box = new QGroupBox(QString::fromLatin1(title), dialog);
  auto* row = new QHBoxLayout(box);
  group = new QButtonGroup(dialog);
  for (int i = 0; i < (with_all ? 5 : 4); ++i) {
    auto* radio = new QRadioButton(QString::fromLatin1(kNames[i]), box);
    radio->setObjectName(control_name(1200 + i));
    group->addButton(radio, i);
    row->addWidget(radio);
  }
  return box;
}

}  // namespace qm
