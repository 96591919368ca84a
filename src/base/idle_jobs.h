// The idle dispatcher: background work that advances one step each time a modal dialog waits
// for input, so that the dialog stays responsive and nothing spins. One process-wide job
// number picks the work:
//   1-4  version scan of unit (job - 1)       (Hardware Info)
//   5-8  automatic installation of unit (job - 5)  (Setup's Auto)
//   9    the sequence run                      (the runner)
//   10   the project warning                   (the buttons panel)
// Owners register the step of their jobs; the GUI calls idle() once per idle turn. A step
// whose work goes to the link thread marks the job waiting: no idle turn steps it again until
// its result sets the next job.
#pragma once

#include <functional>
#include <map>

namespace qm {

enum class IdleSource {
  Dialog,  // a modal dialog waits for input
  Menu,    // a menu is open
};

inline constexpr int kJobNone = 0;
inline constexpr int kJobVersionScan = 1;  // 1..4
inline constexpr int kJobAutoInstall = 5;  // 5..8
inline constexpr int kJobRun = 9;
inline constexpr int kJobProjectWarning = 10;

class IdleJobs {
 public:
  // A job's step: it receives the job number and sets the next one itself (set_job).
  using Step = std::function<void(int job)>;

  int job() const { return job_; }
  // Sets the job and ends a wait; starting one wakes whoever drives idle() (the main
  // window's idle turns).
  void set_job(int job) {
    job_ = job;
    waiting_ = false;
    if (job_ != kJobNone && wake_) wake_();
  }
  // The current job's step is being done elsewhere; idle turns leave it alone meanwhile.
  void set_waiting() { waiting_ = true; }
  bool waiting() const { return waiting_; }
  void set_wake(std::function<void()> wake) { wake_ = std::move(wake); }
  // Registers the step of jobs first..last (replacing an earlier registration).
  void set_step(int first, int last, Step step) { steps_[first] = {last, std::move(step)}; }
  void clear_step(int first) { steps_.erase(first); }

  // Performs the current job once. Jobs 1-9 run only while a dialog waits, job 10 in either
  // case; a number above 10 is reset to 0. A job without a registered step waits.
  void idle(IdleSource source) {
    if (job_ > kJobProjectWarning) job_ = kJobNone;
    if (job_ == kJobNone || waiting_) return;
    if (job_ != kJobProjectWarning && source != IdleSource::Dialog) return;
    for (const auto& [first, entry] : steps_) {
      if (job_ >= first && job_ <= entry.first) {
        entry.second(job_);
        return;
      }
    }
  }

 private:
  int job_ = kJobNone;
  bool waiting_ = false;
  std::map<int, std::pair<int, Step>> steps_;
  std::function<void()> wake_;
};

}  // namespace qm
