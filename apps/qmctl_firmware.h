// qmctl firmware: a unit's firmware replaced from a system file or a package, with the checks
// and questions of the Update command; qmctl pak: firmware packages built and listed.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qm {
class App;
}

namespace qmctl {

// Exit statuses the firmware commands add to those of qmctl_flash.h.
inline constexpr int kExitFirmwareRefused = 7;  // a check refused the file; nothing sent
inline constexpr int kExitNotConfirmed = 8;     // a question answered No or not askable

struct FirmwareOptions {
  bool yes = false;         // answer every question Yes
  bool no_reset = false;    // do not reset the unit afterwards
  std::optional<int> fpga;  // the FPGA major when the unit does not report its version
};

// Runs `firmware FILE` (words[0] is "firmware") on the link the App's settings name.
int run_firmware(qm::App& app, const std::vector<std::string>& words,
                 const FirmwareOptions& options, const std::function<bool()>& open_link,
                 const std::function<bool()>& link_kept);

// Runs `pak build OUT.pak IMAGE:MASK[:MAJOR.MINOR]...` or `pak list FILE.pak`.
int run_pak(const std::vector<std::string>& words);

}  // namespace qmctl
