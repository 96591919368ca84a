// Fuzz target: the input as a firmware file (.bin or .pak), checked for units with several
// FPGA versions and, where the unit gives none, for every major the operator may choose; and
// listed as a package. A file is only ever offered for download as an image that lies wholly
// inside it and is small enough to transfer; a listing never names a body beyond the file.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "flash/firmware_package.h"
#include "flash/transfer.h"

namespace {

void check_plan(const qm::FirmwarePlan& plan, std::span<const std::uint8_t> file) {
  using Step = qm::FirmwarePlan::Step;
  if (plan.step == Step::Refused && plan.error.empty()) __builtin_trap();
  if (plan.step != Step::Ready) {
    if (!plan.image.empty()) __builtin_trap();
    return;
  }
  if (plan.questions.empty()) __builtin_trap();
  if (plan.image.empty() || plan.image.size() >= qm::kTransferLimitBytes) __builtin_trap();
  if (!plan.package) {
    if (plan.image.size() != file.size()) __builtin_trap();
    if (plan.image.size() < qm::kSystemFileMin) __builtin_trap();
    return;
  }
  // The image is the bytes right after its entry header.
  bool found = false;
  for (std::size_t at = 0; at + plan.image.size() <= file.size() && !found; ++at)
    found = std::memcmp(file.data() + at, plan.image.data(), plan.image.size()) == 0;
  if (!found) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> file(data, size);
  const std::string shown = "fuzz.pak";
  for (const int fpga : {0x31, 0x21, 0x05, 0xF0}) {
    const qm::FirmwarePlan plan =
        qm::plan_firmware_update(file, shown, 0, static_cast<std::uint8_t>(fpga));
    if (plan.step == qm::FirmwarePlan::Step::ChooseFpga) __builtin_trap();  // the unit told
    check_plan(plan, file);
  }
  const qm::FirmwarePlan unknown = qm::plan_firmware_update(file, shown, 1, 0);
  check_plan(unknown, file);
  if (unknown.step == qm::FirmwarePlan::Step::ChooseFpga) {
    for (int major = qm::kSelectFpgaFirst; major <= qm::kSelectFpgaLast; ++major) {
      const qm::FirmwarePlan chosen = qm::plan_firmware_update(file, shown, 1, 0, major);
      if (chosen.step == qm::FirmwarePlan::Step::ChooseFpga) __builtin_trap();
      check_plan(chosen, file);
    }
  }

  const qm::PackageListing listing = qm::list_package(file, shown);
  for (std::size_t i = 0; i < listing.entries.size(); ++i) {
    const qm::PackageEntryInfo& e = listing.entries[i];
    if (e.body_at > size) __builtin_trap();
    const bool last = i + 1 == listing.entries.size();
    if (e.length > size - e.body_at && !(last && listing.error)) __builtin_trap();
  }
  return 0;
}
