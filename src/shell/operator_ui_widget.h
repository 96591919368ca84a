// The operator interface of the core in the GUI: the main window's status bar parts and
// activity indicators, message boxes, and the editor opened at a line.
//
// Any thread may call it. The GUI thread acts at once; another thread (the link thread) has
// its status-bar calls queued to the GUI thread, and its questions (message boxes, the
// editor) wait for the operator's answer there. Once close_for_other_threads() has been
// called, such a question is answered at once with the default answer, so the link thread
// never waits on a window that is going away.
#pragma once

#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "base/operator_ui.h"

class QLabel;
class QWidget;

namespace qm {

class QtOperatorUi final : public QObject, public OperatorUi {
 public:
  // window: owns message boxes while no other window of the program is active.
  explicit QtOperatorUi(QWidget* window);
  ~QtOperatorUi() override;

  // The status bar's parts, once the main window has built them.
  struct StatusParts {
    QLabel* link = nullptr;
    QLabel* unit = nullptr;
    QLabel* transmit = nullptr;
    QLabel* receive = nullptr;
    QLabel* message = nullptr;
  };
  void attach(const StatusParts& parts, QPixmap lit, QPixmap dark);
  // What edit_sequence_file and remote_link_dropped do in the program.
  void on_edit(std::function<void(const std::string& path, int line)> edit) {
    edit_ = std::move(edit);
  }
  void on_remote_link_dropped(std::function<void()> dropped) { dropped_ = std::move(dropped); }
  // From now on questions from other threads get the default answer at once.
  void close_for_other_threads();

  bool indicator_lit(Activity which) const;

  // OperatorUi
  void show_status(const std::string& text) override;
  void clear_status() override;
  void show_link_status(const std::string& text) override;
  void show_unit_status(const std::string& text) override;
  void flash_activity(Activity which) override;
  void remote_link_dropped() override;
  BoxAnswer message_box(const std::string& title, const std::string& text, BoxButtons buttons,
                        BoxIcon icon) override;
  void edit_sequence_file(const std::string& path, int line) override;

 private:
  bool on_gui_thread() const;
  // Runs `call` on the GUI thread; from another thread it is queued there.
  void on_gui(std::function<void()> call);
  // Runs `question` on the GUI thread and waits for it; from another thread the wait ends
  // early (false) when the window closes first.
  bool ask_on_gui(const std::function<void()>& question);
  QWidget* box_owner() const;
  BoxAnswer show_box(const std::string& title, const std::string& text, BoxButtons buttons,
                     BoxIcon icon);

  QPointer<QWidget> window_;
  StatusParts parts_;
  QPixmap lit_;
  QPixmap dark_;
  QTimer indicator_timers_[2];
  bool lit_state_[2] = {false, false};
  std::function<void(const std::string&, int)> edit_;
  std::function<void()> dropped_;

  std::mutex mutex_;
  std::condition_variable answered_;
  bool closed_ = false;
};

}  // namespace qm
