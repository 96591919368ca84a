// qmctl flash: the files in a unit's flash, listed, moved between the PC and the unit,
// deleted, renamed, run and compacted; qmctl keymap: the unit's key map shown and added to.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qm {
class App;
struct TransferJob;
}  // namespace qm

namespace qmctl {

// qmctl's exit statuses: every command's three, and those the flash commands add.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // no link, the link dropped, no reply, a failed file
inline constexpr int kExitUsage = 2;
inline constexpr int kExitLocalFile = 3;      // the local file cannot be read or saved
inline constexpr int kExitNotReplaced = 4;    // put: the flash file exists and --yes was not given
inline constexpr int kExitNoSuchFile = 5;     // rm, mv, run: the flash file is not there (after)
                                              // keymap: the unit gives no entry for the key map
inline constexpr int kExitKeyMapFull = 6;     // keymap add: the key map would reach the limit
inline constexpr int kExitTransferBase = 10;  // put, get: 10 + the transfer's result code

// Runs `flash SUBCOMMAND ...` (words[0] is "flash") on the link the App's settings name; the
// exit status. `open_link` opens that link, saying why when it cannot; `link_kept` tells
// whether it is still there after messages went out.
int run_flash(qm::App& app, const std::vector<std::string>& words, bool yes,
              const std::function<bool()>& open_link, const std::function<bool()>& link_kept);

// Downloads the App's transfer job to `address` on the link's thread, drawing the progress
// line of put on a terminal; Ctrl+C cancels at the next check point. The result code.
int run_download(qm::App& app, std::uint8_t address);
// Shows the result's text on stderr; the exit status for it (0 for either success).
int transfer_outcome(const qm::TransferJob& job, int code);

// Runs `keymap show` or `keymap add KEY SEQUENCE` (words[0] is "keymap") on the same terms.
int run_keymap(qm::App& app, const std::vector<std::string>& words,
               const std::function<bool()>& open_link, const std::function<bool()>& link_kept);

}  // namespace qmctl
