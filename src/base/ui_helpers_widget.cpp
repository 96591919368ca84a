#include "base/ui_helpers_widget.h"

#include <QDialog>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QWidget>

namespace qm {

QString dialog_name(int number) {
  return QStringLiteral("dialog%1").arg(number);
}
QString control_name(int id) {
  return QStringLiteral("id%1").arg(id);
}

void place_dialog(QWidget* dialog, int x, int y) {
  QWidget* parent = dialog->parentWidget() ? dialog->parentWidget()->window() : nullptr;
  if (parent == nullptr || !parent->isVisible()) return;
  const QRect outer = parent->frameGeometry();
  const QRect inner = parent->geometry();
  dialog->adjustSize();
  const QRect d = dialog->frameGeometry();
  const Point p =
      qm::place_dialog({outer.left(), outer.top(), outer.right() + 1, outer.bottom() + 1},
                       {0, 0, inner.width(), inner.height()}, {0, 0, d.width(), d.height()}, x, y);
  dialog->move(p.x, p.y);
}

void bind_scroll(QScrollBar* bar, ScrollBinding& binding) {
  {
    const QSignalBlocker quiet(bar);
    bar->setRange(0, binding.maximum - binding.minimum);
    bar->setPageStep(1);
    bar->setSingleStep(1);
    bar->setValue(scroll_position(binding, binding.value));
  }
  QObject::connect(bar, &QScrollBar::valueChanged, bar, [&binding](int position) {
    binding.value = scroll_value(binding, position);
    if (binding.on_change) binding.on_change(binding);
  });
}

void set_scroll_value(QScrollBar* bar, const ScrollBinding& binding, int value) {
  if (value < binding.minimum || value > binding.maximum) return;
  const QSignalBlocker quiet(bar);
  bar->setValue(scroll_position(binding, value));
}

}  // namespace qm
