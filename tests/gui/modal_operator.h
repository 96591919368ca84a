// Plays the operator for GUI tests whose code under test opens modal dialogs: a timer looks at
// the modal dialog on top every few milliseconds and lets the test's handler for it act.
#pragma once

#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QLabel>
#include <QTimer>
#include <functional>
#include <map>

#include "base/ui_helpers_widget.h"
#include "flash/transfer_progress_dialog.h"
#include "ids.h"

namespace qm::test {

// Every few milliseconds, the handler for the modal dialog on top (by object name, or
// "fileDialog") acts on it. The progress dialogs are counted and the last one's result kept.
class Operator final : public QObject {
 public:
  using Handler = std::function<void(QWidget*)>;
  Operator() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { act(); });
    timer_.start();
    QApplication::instance()->installEventFilter(this);
  }
  ~Operator() override { QApplication::instance()->removeEventFilter(this); }
  void on(const QString& name, Handler handler) { handlers_[name] = std::move(handler); }
  int transfers = 0;       // progress dialogs shown
  int transfer_code = -2;  // the progress dialog's result code when it closed
  QString transfer_text;   // its status line then

 protected:
  // Every progress dialog is seen as it opens, however quickly it closes again.
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* progress = qobject_cast<TransferProgressDialog*>(watched);
    if (event->type() == QEvent::Show && progress != nullptr) {
      ++transfers;
      QObject::connect(progress, &QDialog::finished, this, [this, progress] {
        transfer_code = progress->result_code();
        transfer_text = progress->findChild<QLabel*>(control_name(ids::kTransferStatus))->text();
      });
    }
    return false;
  }

 private:
  void act() {
    QWidget* top = QApplication::activeModalWidget();
    if (top == nullptr) return;
    const QString name = qobject_cast<QFileDialog*>(top) != nullptr ? QStringLiteral("fileDialog")
                                                                    : top->objectName();
    if (auto it = handlers_.find(name); it != handlers_.end()) it->second(top);
  }
  QTimer timer_;
  std::map<QString, Handler> handlers_;
};

}  // namespace qm::test
