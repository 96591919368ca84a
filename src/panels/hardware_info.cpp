// The version scan reads two replies per unit: function 4 gives the software version (major,
// minor, then the unit's title, unused here); function 3 gives the hardware version byte
// (major in the high nibble), the split and effect switches, the select button and, from
// newer units, the FPGA version byte.
#include "panels/hardware_info.h"

#include "base/idle_jobs.h"
#include "base/text_format.h"
#include "link/function_codes.h"

namespace qm {
namespace {

// Major and minor; the title that follows is not shown.
constexpr std::size_t kSoftwareVersionBytes = find_function_code(kFnSoftwareVersion)->reply_data;
// Version, split and effect switches, select button.
constexpr std::size_t kHardwareVersionBytes = find_function_code(kFnHardwareVersion)->reply_data;
constexpr std::size_t kFpgaVersionAt = 4;  // newer units add it after the select button

constexpr int kUnits = 4;
constexpr int kLastScanJob = kJobVersionScan + kUnits - 1;

int major_of(std::uint8_t version) {
  return version >> 4;
}
int minor_of(std::uint8_t version) {
  return version & 0x0F;
}

}  // namespace

std::string unit_version_text(int unit, const UnitQuery& query) {
  const std::optional<UnitFrame> software = query(kFnSoftwareVersion);
  if (!software) return strprintf(kVersionAbsent, unit);
  const auto s = software->data();
  // A reply too short to hold a version leaves only the blank line.
  if (s.size() < kSoftwareVersionBytes) return kVersionUnitEnd;

  std::string text = strprintf(kVersionSoftware, unit, s[0], s[1]);
  if (const std::optional<UnitFrame> hardware = query(kFnHardwareVersion)) {
    const auto h = hardware->data();
    if (h.size() >= kHardwareVersionBytes) {
      text += strprintf(kVersionHardware, major_of(h[0]), minor_of(h[0]));
      text += strprintf(kVersionSplitSwitch, h[1]);
      text += strprintf(kVersionEffectSwitch, h[2]);
    }
    // Older units end their reply at the select button: no FPGA version then.
    if (h.size() > kFpgaVersionAt) {
      text += strprintf(kVersionFpga, major_of(h[kFpgaVersionAt]), minor_of(h[kFpgaVersionAt]));
    }
  }
  return text + kVersionUnitEnd;
}

std::string VersionScan::read_unit(Link& link, int job) {
  const int unit = job - kJobVersionScan;
  if (unit < 0 || unit >= kUnits) return {};
  const auto address = static_cast<std::uint8_t>(unit);
  return unit_version_text(unit, [&](std::uint8_t function) {
    return link.unit_get(kDeviceUnit, address, function, {});
  });
}

int VersionScan::add_unit(int job, const std::string& block) {
  if (job < kJobVersionScan || job > kLastScanJob) return kJobNone;
  if (job == kJobVersionScan) text_ = kVersionHeading;
  text_ += block;
  if (job < kLastScanJob) return job + 1;
  text_ += kVersionScanComplete;
  return kJobNone;
}

std::string scan_versions(Link& link) {
  VersionScan scan;
  for (int job = kJobVersionScan; job != kJobNone;)
    job = scan.scan_unit(link, job);
  return scan.text();
}

int reset_target(const SettingsValues& settings) {
  const int id = settings.id;
  return id >= 0 && id < kUnits ? id : -1;
}

bool send_reset(Link& link, int target) {
  if (!link.linked()) return false;
  const std::uint8_t address =
      target >= 0 && target < kUnits ? static_cast<std::uint8_t>(target) : kAddressAll;
  return link.unit_send(kDeviceUnit, address, kFnReset, {});
}

}  // namespace qm
