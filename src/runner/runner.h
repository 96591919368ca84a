// The sequence runner: executes a sequence file on the PC line by line, sending unit messages
// over the link at once. It runs inside a host (the run dialog, the buttons panel, qmctl run,
// tests) that shows its line number, run time and output and owns its buttons. The host calls
// runner_step while the run is active; nothing here waits or spins: a WAIT sets a deadline.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

class IdleJobs;
class Link;
class OperatorUi;
class TickClock;
struct ProgramOptions;
struct SettingsValues;

// What the runner shows and tells its host.
class RunnerHost {
 public:
  virtual ~RunnerHost() = default;
  // The line number field: the line being executed ("%d"), or none for "-----" when stopped.
  virtual void show_line_number(std::optional<int> line) = 0;
  // Appends a line to the output pane; the first output of a run shows the pane.
  virtual void show_output_line(const std::string& text) = 0;
  // The run stopped: the pane is emptied and hidden, the time fields show "--".
  virtual void run_stopped() = 0;
  // The button states changed: Stop and Pause enabled, Skip enabled, Pause labelled "Run".
  virtual void buttons_changed(bool stop_pause_enabled, bool skip_enabled, bool paused) = 0;
  // The run has ended (the run dialog then ends itself).
  virtual void run_ended() = 0;
};

// What a run takes from outside its sequence file. Empty members take the program's own:
// std.inc from the program's directory, the date from the local clock.
struct RunnerOptions {
  std::filesystem::path std_dir;                       // the directory holding std.inc
  std::function<std::chrono::year_month_day()> today;  // the date the at-sign code D writes
};

// What a run reaches outside itself: the link its commands use, the settings (selected unit,
// field rate, the link's switches), the program options (std.inc skipped), the operator, the
// idle job that marks a run active, and the clock its waits are timed on.
struct RunnerServices {
  Link& link;
  SettingsValues& settings;
  const ProgramOptions& options;
  OperatorUi& ui;
  IdleJobs& idle;
  TickClock& clock;
};

enum class RunnerState { Stopped = 0, Running = 1, Waiting = 2, Paused = 3 };

// The four texts of the run-time display (hours, minutes, seconds, frame) for a run time in
// ms, each "%02d". The frame counts 20 ms steps, 0..49 at every field rate; the hours are not
// cut at 99.
std::array<std::string, 4> format_run_time(std::uint32_t ms);

class Runner {
 public:
  explicit Runner(RunnerServices services, RunnerOptions options = {});
  ~Runner();
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;

  // Starts a run of `path` (UTF-8 text, base/path_text.h) in `host`: 1 started, 0 failed (the
  // failure has been reported).
  int runner_start(RunnerHost& host, const std::string& path);
  // Stops and releases everything; safe when stopped.
  void runner_stop();
  // Executes lines until the run waits, stops, or a short time slice has passed. Returns the
  // tick (the services' clock) at which the host should call again: now while lines remain, the
  // wait deadline while waiting; none when paused or stopped.
  std::optional<std::uint32_t> runner_step();
  // The host's buttons.
  void skip();   // ends the current wait (waiting or paused)
  void pause();  // waiting → paused, paused → running, otherwise nothing
  RunnerState state() const;
  // Milliseconds since the run started (the run-time display).
  std::uint32_t run_time() const;
  // The runner's command words, in the order of its command table.
  static std::vector<std::string_view> command_words();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qm
