#include "base/ui_helpers_widget.h"

#include <QDesktopServices>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QUrl>
#include <QWidget>

namespace qm {

QString dialog_name(int number) {
  return QStringLiteral("dialog%1").arg(number);
}
QString control_name(int id) {
  return QStringLiteral("id%1").arg(id);
}

namespace {

// The window's client area on the screen: its central widget, or what lies below its menu bar
// and above its status bar.
QRect client_area(QWidget* window) {
  if (auto* main = qobject_cast<QMainWindow*>(window); main && main->centralWidget())
    return {main->centralWidget()->mapToGlobal(QPoint(0, 0)), main->centralWidget()->size()};
  QRect area = window->rect();
  auto* menu = window->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly);
  if (menu != nullptr && menu->isVisible()) area.setTop(menu->geometry().bottom() + 1);
  auto* status = window->findChild<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly);
  if (status != nullptr && status->isVisible()) area.setBottom(status->geometry().top() - 1);
  return {window->mapToGlobal(area.topLeft()), area.size()};
}

// The window's frame (title bar and borders) around its client area; none until the window
// system has framed it.
QMargins frame_margins(const QWidget* window) {
  const QRect outer = window->frameGeometry();
  const QRect inner = window->geometry();
  return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
          outer.bottom() - inner.bottom()};
}

}  // namespace

void place_dialog(QWidget* dialog, int x, int y) {
  QWidget* parent = dialog->parentWidget() ? dialog->parentWidget()->window() : nullptr;
  if (parent == nullptr || !parent->isVisible()) return;
  const QRect outer = parent->frameGeometry();
  const QRect client = client_area(parent);
  dialog->adjustSize();
  // A dialog about to be shown for the first time has no frame yet: the window system gives it
  // the frame its parent has. The place is the frame's; the client area goes inside it.
  QMargins frame = frame_margins(dialog);
  if (frame.isNull()) frame = frame_margins(parent);
  const QSize d = dialog->size().grownBy(frame);
  const Point p =
      qm::place_dialog({outer.left(), outer.top(), outer.right() + 1, outer.bottom() + 1},
                       {client.left(), client.top(), client.right() + 1, client.bottom() + 1},
                       {0, 0, d.width(), d.height()}, x, y);
  dialog->setGeometry(QRect(QPoint(p.x + frame.left(), p.y + frame.top()), dialog->size()));
}

QLabel* status_part(QWidget* bar, const QString& name, int minimum_width) {
  auto* label = new QLabel(bar);
  label->setObjectName(name);
  label->setFrameShape(QFrame::Panel);
  label->setFrameShadow(QFrame::Sunken);
  // Fixed: the layout gives the part its size hint (the text, the frame and the indent), never
  // less than the minimum; a new text that needs more widens it.
  label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
  label->setMinimumWidth(minimum_width);
  return label;
}

DialogButtons ok_cancel_buttons(QWidget* dialog) {
  DialogButtons b;
  b.ok = new QPushButton(QStringLiteral("OK"), dialog);
  b.ok->setObjectName(QStringLiteral("okButton"));
  b.ok->setDefault(true);
  b.cancel = new QPushButton(QStringLiteral("Cancel"), dialog);
  b.cancel->setObjectName(QStringLiteral("cancelButton"));
  b.cancel->setAutoDefault(false);
  b.row = new QHBoxLayout;
  b.row->addStretch(1);
  b.row->addWidget(b.ok);
  b.row->addWidget(b.cancel);
  return b;
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

bool open_document(const std::string& address_or_path) {
  const QString text = QString::fromStdString(address_or_path);
  const bool address =
      text.startsWith(QLatin1String("http://")) || text.startsWith(QLatin1String("https://"));
  return QDesktopServices::openUrl(address ? QUrl(text) : QUrl::fromLocalFile(text));
}

}  // namespace qm
