// Link benchmarks over a real pseudo-terminal.
//
// UnitGetLatency: the time from the far side's write of a reply's last byte to unit_get's
// return, that is the latency the program itself adds to a request. Run a release build:
//   cmake -S . -B build-rel -G Ninja -DCMAKE_BUILD_TYPE=Release && cmake --build build-rel
//   build-rel/bench/link_bench --benchmark_repetitions=5
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "base/operator_ui.h"
#include "link/link.h"
#include "support/far_side.h"

namespace {

using Clock = std::chrono::steady_clock;
using qm::test::Bytes;

// A unit that answers every poll with a reply to function 35 and notes when the reply's last
// byte was handed to the pseudo-terminal.
class TimedUnit {
 public:
  explicit TimedUnit(qm::test::PtyPair& pty) : pty_(pty), thread_([this] { run(); }) {}
  ~TimedUnit() {
    stop_ = true;
    thread_.join();
  }
  Clock::time_point last_reply() const { return Clock::time_point(Clock::duration(sent_.load())); }

 private:
  void run() {
    qm::SerialReceiver rx;
    const Bytes answer = qm::test::reply(0, 35, {1, 1, 0, 0, 1, 16, 2});
    while (!stop_) {
      pollfd p{pty_.master(), POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      std::uint8_t buf[128];
      const ssize_t got = ::read(pty_.master(), buf, sizeof buf);
      for (ssize_t i = 0; i < got; ++i) {
        if (rx.feed(buf[i]) != qm::SerialReceiver::Event::Frame) continue;
        if (!(rx.frame().type() & qm::kTypePoll)) continue;
        if (::write(pty_.master(), answer.data(), answer.size()) < 0) return;
        sent_ = Clock::now().time_since_epoch().count();
      }
    }
  }
  qm::test::PtyPair& pty_;
  std::atomic<bool> stop_{false};
  std::atomic<Clock::rep> sent_{0};
  std::thread thread_;
};

// A link on COM1, which is the pseudo-terminal of a TimedUnit.
struct Rig {
  Rig() {
    link.set_port_device(1, pty.slave_path());
    settings.com_port = 0;
    link.com_open_configured();
  }
  qm::test::PtyPair pty;
  TimedUnit unit{pty};
  qm::SettingsValues settings;
  qm::TrafficLog log{std::nullopt};
  qm::SilentOperatorUi ui;
  qm::TickClock clock;
  qm::Link link{settings, log, ui, clock};
};

void UnitGetLatency(benchmark::State& state) {
  Rig rig;
  for (auto _ : state) {
    const auto reply = rig.link.unit_get(7, 0, 35, {});
    const auto returned = Clock::now();
    if (!reply) {
      state.SkipWithError("no reply");
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(returned - rig.unit.last_reply()).count());
  }
}
BENCHMARK(UnitGetLatency)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);

// The full round trip of a request (send, poll, reply) against a unit that answers at once.
void UnitGetRoundTrip(benchmark::State& state) {
  Rig rig;
  for (auto _ : state)
    benchmark::DoNotOptimize(rig.link.unit_get(7, 0, 35, {}));
}
BENCHMARK(UnitGetRoundTrip)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
