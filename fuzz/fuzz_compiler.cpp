// Fuzz target: any bytes as a sequence source file. The compiler must report or succeed,
// never crash, hang or read out of bounds.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/operator_ui.h"
#include "compiler/compiler.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace fs = std::filesystem;
  // One private folder per process; INCLUDE of a plain name finds only what is in it.
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("qm_fuzz_compiler_" + std::to_string(::getpid()));
    fs::create_directories(d);
    fs::current_path(d);
    return d;
  }();
  const fs::path source = dir / "input.seq";
  {
    std::ofstream out(source, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  qm::SilentOperatorUi ui;
  qm::SequenceCompiler compiler(ui);
  qm::CompileOptions options;
  options.skip_std = true;
  options.include_dir = dir.string();
  compiler.compile_sequence(source.string(), (dir / "output.sfb").string(), options);
  return 0;
}
