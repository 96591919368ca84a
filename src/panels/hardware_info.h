// Hardware information and reset: the version scan that lists the software, hardware and FPGA
// versions and switch settings of units 0..3, one unit per idle job (jobs 1..4), and the
// reset request sent to one unit or to all.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "link/link.h"
#include "link/settings.h"
#include "link/unit_frame.h"

namespace qm {

// Texts of the version list.
inline constexpr char kVersionHeading[] = "Reading version information\r\n\r\n";
inline constexpr char kVersionAbsent[] = "Unit %d:\r\n   N/A\r\n\r\n";
inline constexpr char kVersionSoftware[] = "Unit %d:\r\nSoftware version\t %d.%d\r\n";
inline constexpr char kVersionHardware[] = "Hardware version\t %d.%d\r\n";
inline constexpr char kVersionSplitSwitch[] = "Split switch\t 0x%02X\r\n";
inline constexpr char kVersionEffectSwitch[] = "Effect switch\t 0x%02X\r\n";
inline constexpr char kVersionFpga[] = "FPGA Version\t %d.%d\r\n";
inline constexpr char kVersionUnitEnd[] = "\r\n";
inline constexpr char kVersionScanComplete[] = "- scan complete";

// Asks the unit for one function code (no data); the reply, or none.
using UnitQuery = std::function<std::optional<UnitFrame>(std::uint8_t function)>;

// The version block of one unit: its software version (function 4), then, when that gave a
// version, its hardware version, switches and FPGA version (function 3). A unit that does not
// answer function 4 is "N/A"; one that answers 4 but not 3 shows its software version only.
std::string unit_version_text(int unit, const UnitQuery& query);

// The version list, built one unit at a time. Jobs 1..4 read units 0..3.
class VersionScan {
 public:
  // The version block of unit job - 1, read over the link (on the thread that drives it).
  static std::string read_unit(Link& link, int job);
  // Appends the block read for `job`; job 1 starts the text afresh. Returns the next job:
  // job + 1, or 0 after unit 3 (when the text ends with "- scan complete").
  int add_unit(int job, const std::string& block);
  // Both at once, for a caller that may wait for the link.
  int scan_unit(Link& link, int job) { return add_unit(job, read_unit(link, job)); }

  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

// The whole version list at once, units 0..3, for the command line.
std::string scan_versions(Link& link);

// The target the Reset dialog starts with: the selected unit 0..3, or -1 for all units.
int reset_target(const SettingsValues& settings);
// Sends the reset request (function 0, no data) to unit `target`, or to every unit (address
// 255) when target is -1. False when nothing could be sent (no link to the units).
bool send_reset(Link& link, int target);

}  // namespace qm
