// Dialog 168 " Sequence": the modal host of one run of a sequence file. Opening it starts the
// run, the end of the run ends it, and closing it stops the run. It shows the line being
// executed, the run time and the run's output, and carries the Pause, Skip and Stop buttons.
#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/idle_jobs.h"
#include "link/link_worker.h"
#include "link/tick_clock.h"
#include "runner/runner.h"

class QPlainTextEdit;
class QPushButton;

namespace qm {

class RunField;

// The run's steps, Pause, Skip and Stop run on the link thread (worker), so that the dialog
// answers at once while a step waits for a unit; what the runner shows comes back to the
// dialog in order. Closing the dialog ends it at once; the run stops behind it.
class RunDialog final : public QDialog, public RunnerHost {
  Q_OBJECT

 public:
  // Starts the run of the file at `path`. When the run cannot start (the failure has been
  // reported), the dialog has ended already and exec() returns at once.
  RunDialog(RunnerServices services, LinkWorker& worker, const QString& path, QWidget* parent);
  ~RunDialog() override;

  // Whether the dialog has ended (the run could not start, or it is over).
  bool ended() const { return ended_; }
  // Runs the dialog; returns once the link thread has also finished with the run.
  int exec() override;
  void done(int result) override;

  // The run's state as the dialog last heard it from the runner.
  RunnerState state() const { return state_; }

  // RunnerHost: called on the GUI thread, in the order the runner made the calls.
  void show_line_number(std::optional<int> line) override;
  void show_output_line(const std::string& text) override;
  void run_stopped() override;
  void buttons_changed(bool stop_pause_enabled, bool skip_enabled, bool paused) override;
  void run_ended() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  struct Session;
  void drive();
  // Posts a step of the run to the link thread, after `first` (Pause, Skip) when given.
  void post_step(std::function<void(Runner&)> first);
  // A step came back: the time to call again, or none.
  void stepped(std::optional<std::uint32_t> next);
  void show_run_time();
  void set_fields_active(bool active);
  void apply_fonts();
  void pause_clicked();
  void skip_clicked();
  void stop_clicked();

  TickClock& clock_;
  IdleJobs& idle_;
  std::shared_ptr<Session> session_;  // shared with the jobs of the link thread
  RunnerState state_ = RunnerState::Stopped;
  int steps_posted_ = 0;  // steps on the link thread not yet back
  QPushButton* pause_;
  QPushButton* skip_;
  QPushButton* stop_;
  RunField* line_;
  std::array<RunField*, 4> time_{};
  QPlainTextEdit* pane_;
  QTimer step_timer_;  // single shot: the next runner_step, now or at the wait's deadline
  QTimer time_timer_;  // every 20 ms while the run is active: the run-time display
  bool ended_ = false;
  bool ending_ = false;
  bool destroying_ = false;
  bool placed_ = false;
  bool replaced_ = false;  // placed again when the output pane made it grow
  bool pane_font_set_ = false;
};

}  // namespace qm
