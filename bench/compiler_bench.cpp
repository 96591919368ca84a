// Compiler and decoder benchmarks: a 1 000-line source with macros and includes, one that
// fills a unit's code image, and the listing of an 8 KB binary.
//   build-rel/bench/compiler_bench --benchmark_repetitions=5
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/operator_ui.h"
#include "compiler/compiler.h"
#include "compiler/decoder.h"

namespace {

namespace fs = std::filesystem;

// A folder with show.seq (about `lines` lines) and the two include files it reads.
fs::path write_sources(int total_lines) {
  const fs::path dir = fs::temp_directory_path() / ("qm_bench_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "macros.inc") << "DEFINE FN_DGTBRT 17\n"
                                       "DEFINE FADE SEND 7 ?1 FN_DGTBRT ?2 ?3\n"
                                       "DEFINE LEVEL 200\n";
  std::ofstream(dir / "procs.inc") << "PROC BLINK\nSEND 7 -1 42 255 3\nWAIT 00:00:00.5\n"
                                      "SEND 7 -1 42 255 0\nENDPROC\n";
  std::ofstream show(dir / "show.seq");
  // INCLUDE takes a plain name as written, relative to the working folder: give it whole.
  show << "INCLUDE " << (dir / "macros.inc").string() << "\nINCLUDE "
       << (dir / "procs.inc").string() << "\n";
  int lines = 2;
  while (lines < total_lines) {
    show << "; a comment line\n"
            "REPEAT 3\n"
            "FADE 0 1 LEVEL\n"
            "WAIT 00:00:01.25\n"
            "BLINK\n"
            "AGAIN\n";
    lines += 6;
  }
  return dir;
}

// state.range(0) source lines: 1 000, and 2 550, which fills a unit's 8 KB code image.
void CompileLines(benchmark::State& state) {
  const fs::path dir = write_sources(static_cast<int>(state.range(0)));
  qm::SilentOperatorUi ui;
  qm::CompileOptions options;
  options.skip_std = true;
  for (auto _ : state) {
    qm::SequenceCompiler compiler(ui);
    const int result = compiler.compile_sequence((dir / "show.seq").string(),
                                                 (dir / "show.sfb").string(), options);
    if (result != 0) state.SkipWithError("compilation failed");
    state.counters["image_bytes"] = static_cast<double>(compiler.image().size());
  }
  fs::remove_all(dir);
}
BENCHMARK(CompileLines)->Arg(1000)->Arg(2550)->Unit(benchmark::kMicrosecond);

// An 8 KB image: the header, then SEND, WAIT and OUTPUT instructions to the limit.
std::vector<std::uint8_t> eight_kilobytes() {
  std::vector<std::uint8_t> image = {0x09, 0x05, 0x00, 0x00, 0x11};
  const std::vector<std::uint8_t> body = {
      0x02, 0x05, 0x07, 0x01, 0x11, 0x00, 0xC8,  // SEND 7 1 17 0 200
      0x05, 0x01, 0xF4, 0x01,                    // WAIT 500 fields
      0x04, 0x04, 0x41, 0x42, 0x01, 0x43,        // OUTPUT "AB",0x01,"C"
  };
  while (image.size() + body.size() < 8192)
    image.insert(image.end(), body.begin(), body.end());
  image.push_back(0x0A);
  return image;
}

void DecodeEightKilobytes(benchmark::State& state) {
  const std::vector<std::uint8_t> image = eight_kilobytes();
  for (auto _ : state)
    benchmark::DoNotOptimize(qm::decode_sequence(image, 50));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(image.size()));
}
BENCHMARK(DecodeEightKilobytes)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
