// A child program for end-to-end tests: started with its standard output on a pipe, read line
// by line with a time-out, and asked to end with SIGTERM.
#pragma once

#include <sys/types.h>
#include <string>
#include <vector>

namespace qm::test {

class Process {
 public:
  explicit Process(const std::vector<std::string>& argv);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // The next line of standard output without its line feed, or "" after timeout_ms.
  std::string read_line(int timeout_ms);
  // Sends SIGTERM and waits; the exit code, or -1 when it did not exit normally.
  int terminate();
  // The same, waiting at most timeout_ms for the program to end (its output to close); a
  // program still running then is killed and the result is -2.
  int terminate_within(int timeout_ms);

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string pending_;
};

}  // namespace qm::test
