// WAIT timing of the runner against the simulator: the interval between the frames sent
// before and after WAIT 00:00:01, over 20 runs, and its deviation from 1000 ms. The runner is
// driven the way qmctl run drives it (sleeping until each deadline, never spinning).
//   build-rel/bench/runner_wait_bench [RUNS]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "base/operator_ui.h"
#include "platform/clock.h"
#include "runner/runner.h"
#include "shell/app.h"
#include "sim/buses.h"
#include "sim/wall.h"

namespace {

class QuietHost final : public qm::RunnerHost {
 public:
  void show_line_number(std::optional<int>) override {}
  void show_output_line(const std::string&) override {}
  void run_stopped() override {}
  void buttons_changed(bool, bool, bool) override {}
  void run_ended() override {}
};

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("qm_wait_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "wait.seq") << "SEND 7 0 44 0\nWAIT 00:00:01\nSEND 7 0 44 1\n";

  std::vector<double> deviations;
  for (int r = 0; r < runs; ++r) {
    qm::sim::SimWall wall;
    qm::sim::SerialBus bus(wall, false);
    if (!bus.start()) return 1;
    qm::SilentOperatorUi ui;
    qm::App app(ui, qm::Settings(dir / "Quadrimon", dir));
    app.options.skip_std = true;
    app.link.set_port_device(1, bus.device());
    app.settings.values.com_port = 0;
    app.link.com_open_configured();
    qm::Runner runner(app.runner_services());
    QuietHost host;
    if (runner.runner_start(host, (dir / "wait.seq").string()) == 0) return 1;
    while (runner.state() != qm::RunnerState::Stopped) {
      const auto next = runner.runner_step();
      if (runner.state() == qm::RunnerState::Stopped || !next) break;
      const std::uint32_t now = app.clock.tick_ms();
      if (*next > now) qm::platform::sleep_ms(*next - now);
    }
    wall.wait_transcript(2, 1000);
    std::vector<std::uint64_t> times;
    for (const auto& e : wall.transcript())
      if (e.direction == qm::sim::Direction::ToUnits) times.push_back(e.at_ms);
    if (times.size() < 2) return 1;
    deviations.push_back(static_cast<double>(times[1] - times[0]) - 1000.0);
  }
  fs::remove_all(dir);
  std::vector<double> sorted = deviations;
  std::sort(sorted.begin(), sorted.end());
  double worst = 0;
  for (double d : deviations)
    worst = std::max(worst, d < 0 ? -d : d);
  std::printf("WAIT 00:00:01 over %d runs: median deviation %+.1f ms, worst %.1f ms\n", runs,
              sorted[sorted.size() / 2], worst);
  return 0;
}
