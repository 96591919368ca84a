// Runs the real qmctl executable (or another of the programs) with a private home folder for
// its settings, capturing its output, exit code and time.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/temp_folder.h"

namespace qm::test {

namespace fs = std::filesystem;

struct Outcome {
  int exit_code = -1;
  std::string out;
  std::string err;
  long millis = 0;
};

class Qmctl : public ::testing::Test {
 protected:
  Qmctl() : home_("qmctl") {}

  // Runs qmctl with the arguments (shell words) and extra environment assignments.
  Outcome qmctl(const std::string& args, const std::string& env = "") {
    return run(QMCTL_PATH, args, env);
  }

  // Runs a program the same way: the arguments are shell words, `env` holds assignments.
  Outcome run(const std::string& program, const std::string& args, const std::string& env = "") {
    const fs::path out = home_ / "stdout", err = home_ / "stderr";
    const std::string command = "env HOME='" + home_.string() + "' XDG_CONFIG_HOME='" +
                                home_.string() + "' " + env + " '" + program + "' " + args + " >'" +
                                out.string() + "' 2>'" + err.string() + "'";
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    Outcome r;
    r.millis = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - start)
                                     .count());
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
  }

  void write_settings(const std::string& text) {
    fs::create_directories(home_ / "Documents" / "Quadrimon");
    std::ofstream(home_ / "Documents" / "Quadrimon" / "Orvik.ini") << text;
  }

  static std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  TempFolder home_;
};

}  // namespace qm::test
