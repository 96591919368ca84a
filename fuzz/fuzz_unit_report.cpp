// Fuzz target: the first byte as a reply's count, the bytes after it as its message (type,
// address, function code, data). The report must read no byte beyond the count: a reply whose
// unused message bytes differ prints the same lines.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "link/unit_report.h"

namespace {

std::vector<std::string> report(const qm::UnitFrame& frame) {
  std::vector<std::string> lines;
  qm::unit_report(frame, [&lines](const std::string& line) { lines.push_back(line); });
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  qm::UnitFrame zeros;
  zeros.count = data[0];
  std::copy_n(data + 1, std::min(size - 1, zeros.message.size()), zeros.message.begin());
  qm::UnitFrame ones = zeros;
  for (std::size_t i = zeros.count; i < zeros.message.size(); ++i) {
    zeros.message[i] = 0x00;
    ones.message[i] = 0xFF;
  }

  const std::vector<std::string> lines = report(zeros);
  if (report(ones) != lines) __builtin_trap();
  if (zeros.count < qm::kMessageHeaderBytes && !lines.empty()) __builtin_trap();
  return 0;
}
