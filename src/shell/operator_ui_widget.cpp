#include "shell/operator_ui_widget.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QThread>
#include <memory>
#include <optional>

#include "base/ui_helpers.h"

namespace qm {
namespace {

constexpr int kIndicatorMs = 200;  // an indicator stays lit this long after the last frame

QMessageBox::Icon qt_icon(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::Error:
      return QMessageBox::Critical;
    case BoxIcon::Warning:
      return QMessageBox::Warning;
    case BoxIcon::Question:
      return QMessageBox::Question;
    case BoxIcon::Information:
      return QMessageBox::Information;
    case BoxIcon::None:
      return QMessageBox::NoIcon;
  }
  return QMessageBox::NoIcon;
}

// The answer of a box nobody can see any more: the one that changes nothing.
BoxAnswer unanswered(BoxButtons buttons) {
  switch (buttons) {
    case BoxButtons::Ok:
      return BoxAnswer::Ok;
    case BoxButtons::OkCancel:
    case BoxButtons::OkCancelDefaultCancel:
    case BoxButtons::YesNoCancel:
    case BoxButtons::YesNoCancelDefaultNo:
      return BoxAnswer::Cancel;
    case BoxButtons::YesNo:
    case BoxButtons::YesNoDefaultNo:
      return BoxAnswer::No;
  }
  return BoxAnswer::No;
}

}  // namespace

QtOperatorUi::QtOperatorUi(QWidget* window) : window_(window) {
  for (int i = 0; i < 2; ++i) {
    indicator_timers_[i].setSingleShot(true);
    connect(&indicator_timers_[i], &QTimer::timeout, this, [this, i] {
      lit_state_[i] = false;
      QLabel* part = i == 0 ? parts_.transmit : parts_.receive;
      if (part != nullptr) part->setPixmap(dark_);
    });
  }
}

QtOperatorUi::~QtOperatorUi() {
  close_for_other_threads();
}

void QtOperatorUi::attach(const StatusParts& parts, QPixmap lit, QPixmap dark) {
  parts_ = parts;
  lit_ = std::move(lit);
  dark_ = std::move(dark);
  for (QLabel* part : {parts_.transmit, parts_.receive})
    if (part != nullptr) part->setPixmap(dark_);
}

void QtOperatorUi::close_for_other_threads() {
  const std::lock_guard lock(mutex_);
  closed_ = true;
  answered_.notify_all();
}

bool QtOperatorUi::on_gui_thread() const {
  return QThread::currentThread() == thread();
}

void QtOperatorUi::on_gui(std::function<void()> call) {
  if (on_gui_thread()) {
    call();
    return;
  }
  QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

bool QtOperatorUi::ask_on_gui(const std::function<void()>& question) {
  if (on_gui_thread()) {
    question();
    return true;
  }
  // The question runs in the GUI thread's loop while this thread waits. One not yet started
  // when the window closes is abandoned; one already showing is waited for, since it uses
  // this thread's values.
  enum class Stage { Queued, Showing, Answered, Abandoned };
  auto stage = std::make_shared<Stage>(Stage::Queued);
  {
    const std::lock_guard lock(mutex_);
    if (closed_) return false;
  }
  QMetaObject::invokeMethod(
      this,
      [this, &question, stage] {
        {
          const std::lock_guard lock(mutex_);
          if (*stage == Stage::Abandoned) return;
          *stage = Stage::Showing;
        }
        question();
        const std::lock_guard lock(mutex_);
        *stage = Stage::Answered;
        answered_.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock lock(mutex_);
  answered_.wait(lock,
                 [&] { return *stage == Stage::Answered || (closed_ && *stage == Stage::Queued); });
  if (*stage == Stage::Answered) return true;
  *stage = Stage::Abandoned;
  return false;
}

void QtOperatorUi::show_status(const std::string& text) {
  on_gui([this, text] {
    if (parts_.message == nullptr) return;
    std::string shown = " " + text;
    if (shown.size() > kMaxBoxText) shown.resize(kMaxBoxText);
    parts_.message->setText(QString::fromStdString(shown));
  });
}

void QtOperatorUi::clear_status() {
  on_gui([this] {
    if (parts_.message != nullptr) parts_.message->clear();
  });
}

void QtOperatorUi::show_link_status(const std::string& text) {
  on_gui([this, text] {
    if (parts_.link != nullptr) parts_.link->setText(QString::fromStdString(text));
  });
}

void QtOperatorUi::show_unit_status(const std::string& text) {
  on_gui([this, text] {
    if (parts_.unit != nullptr) parts_.unit->setText(QString::fromStdString(text));
  });
}

void QtOperatorUi::flash_activity(Activity which) {
  on_gui([this, which] {
    const int i = which == Activity::Transmit ? 0 : 1;
    indicator_timers_[i].start(kIndicatorMs);  // restarted by every frame
    QLabel* part = i == 0 ? parts_.transmit : parts_.receive;
    if (lit_state_[i] || part == nullptr) return;
    lit_state_[i] = true;
    part->setPixmap(lit_);
  });
}

bool QtOperatorUi::indicator_lit(Activity which) const {
  return lit_state_[which == Activity::Transmit ? 0 : 1];
}

void QtOperatorUi::remote_link_dropped() {
  on_gui([this] {
    if (dropped_) dropped_();
  });
}

BoxAnswer QtOperatorUi::message_box(const std::string& title, const std::string& text,
                                    BoxButtons buttons, BoxIcon icon) {
  BoxAnswer answer = unanswered(buttons);
  ask_on_gui([&] { answer = show_box(title, text, buttons, icon); });
  return answer;
}

void QtOperatorUi::edit_sequence_file(const std::string& path, int line) {
  ask_on_gui([&] {
    if (edit_) edit_(path, line);
  });
}

// The window that asked: the one the operator works in (a modeless dialog such as Find /
// Replace over a modal editor keeps its place above the editor, and gets the focus back when
// the box closes); else the modal dialog open, else the main window.
QWidget* QtOperatorUi::box_owner() const {
  QWidget* active = QApplication::activeWindow();
  if (active != nullptr && active->isVisible() && !active->isMinimized()) {
    // A window that a modal dialog blocks cannot own a box the operator has to answer.
    QWidget* modal = QApplication::activeModalWidget();
    for (QWidget* w = active; w != nullptr; w = w->parentWidget())
      if (modal == nullptr || w == modal) return active;
  }
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return window_.data();
}

BoxAnswer QtOperatorUi::show_box(const std::string& title, const std::string& text,
                                 BoxButtons buttons, BoxIcon icon) {
  QMessageBox box(qt_icon(icon), QString::fromStdString(title), QString::fromStdString(text),
                  QMessageBox::NoButton, box_owner());
  switch (buttons) {
    case BoxButtons::Ok:
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case BoxButtons::OkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      break;
    case BoxButtons::OkCancelDefaultCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Cancel);
      break;
    case BoxButtons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
      break;
    case BoxButtons::YesNoDefaultNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::No);
      break;
    case BoxButtons::YesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::Cancel);
      break;
    case BoxButtons::YesNoCancelDefaultNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::No);
      box.setEscapeButton(QMessageBox::Cancel);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Ok:
      return BoxAnswer::Ok;
    case QMessageBox::Yes:
      return BoxAnswer::Yes;
    case QMessageBox::Cancel:
      return BoxAnswer::Cancel;
    default:
      return BoxAnswer::No;
  }
}

}  // namespace qm
