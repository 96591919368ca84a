// Fuzz target: any bytes as a sequence source file. The compiler must report or succeed,
// never crash, hang or read out of bounds.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "base/operator_ui.h"
#include "compiler/compiler.h"

namespace {

namespace fs = std::filesystem;

// The process's private folder, made on first use and current from then on, so that an
// INCLUDE of a plain name finds only what is in it. When the process ends, the directory it
// started in is current again and the folder goes with what the compiler wrote there.
class PrivateFolder {
 public:
  PrivateFolder()
      : path_(fs::temp_directory_path() / ("qm_fuzz_compiler_" + std::to_string(::getpid()))),
        before_(fs::current_path()) {
    fs::create_directories(path_);
    fs::current_path(path_);
  }
  ~PrivateFolder() {
    std::error_code ec;
    fs::current_path(before_, ec);
    fs::remove_all(path_, ec);
  }
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
  fs::path before_;
};

}  // namespace

// The fuzzer's own paths are taken before the input's folder becomes current: every corpus
// folder or file named relative to where the fuzzer started is made absolute, and crash
// files go to that folder unless -artifact_prefix= names another.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static std::vector<std::string> texts;
  static std::vector<char*> args;
  const fs::path start = fs::current_path();
  bool artifact_prefix = false;
  for (int i = 0; i < *argc; ++i) {
    std::string arg = (*argv)[i];
    if (arg.rfind("-artifact_prefix=", 0) == 0) artifact_prefix = true;
    if (i > 0 && !arg.empty() && arg[0] != '-') arg = (start / arg).lexically_normal().string();
    texts.push_back(arg);
  }
  if (!artifact_prefix) texts.push_back("-artifact_prefix=" + (start / "").string());
  for (std::string& text : texts)
    args.push_back(text.data());
  args.push_back(nullptr);
  *argc = static_cast<int>(texts.size());
  *argv = args.data();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const PrivateFolder folder;
  const fs::path& dir = folder.path();
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
