// The main window's creation: construct, start (settings, log, port, menu, status bar) and
// show it on the offscreen platform until it is exposed.
//   QT_QPA_PLATFORM=offscreen build-rel/bench/gui_bench --benchmark_repetitions=5
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QTest>
#include <filesystem>

#include "shell/main_window.h"

namespace {

void MainWindowShown(benchmark::State& state) {
  const auto folder =
      std::filesystem::temp_directory_path() / ("qm_gui_bench_" + std::to_string(::getpid()));
  for (auto _ : state) {
    qm::MainWindow window(qm::Settings(folder / "Quadrimon", folder), false);
    window.start({});
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) state.SkipWithError("never exposed");
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(MainWindowShown)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
