// Firmware update: the system file images (.bin) and firmware packages (.pak) that become a
// unit's 1:SYSTEM.COM, the unit's FPGA version they are checked against, and the questions
// the operator answers before the image is downloaded and the unit reset.
//
// The checks work on the file's bytes in memory and never read outside them: a damaged or
// hostile file ends in one of the error texts below, never in a transfer. A window drives an
// update as a few steps, each a plain call:
//
//   1. read_unit_fpga (link thread): the unit answers a poll? its FPGA version (0: none).
//   2. read_firmware_file: the chosen file's bytes, or the error text.
//   3. plan_firmware_update: an error text, a request to choose the FPGA major (dialog 183,
//      then call again with the choice, or show the cancel box), or the image with the
//      questions to ask in order (any answer but Yes stops).
//   4. load_firmware_image into the transfer job; run the download worker (it reports
//      kTransferAnnounced when all went well).
//   5. After a good transfer ask reset_question; on Yes send_firmware_reset (link thread).
//
// update_firmware runs all of them at once through an OperatorUi, for the command line and
// for tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/operator_ui.h"

namespace qm {

class Link;
struct TransferJob;
struct UnitFrame;

// --- Texts ----------------------------------------------------------------------------------

inline constexpr const char* kFirmwareTitle = " System update";
inline constexpr const char* kFirmwareResetTitle = " Update";
inline constexpr const char* kFirmwareFileDialogTitle = " Downloading firmware";
inline constexpr const char* kFirmwareLinkFailure = " Serial Communications failure. ";
inline constexpr const char* kFirmwareCancelled = " Update cancelled. ";

// Error boxes (shown after "Error: ").
inline constexpr const char* kFirmwareCantOpen = "Can't open file %s";
inline constexpr const char* kFirmwareReading = "Reading file %s";
inline constexpr const char* kFirmwareSeeking = "Seeking file %s";
inline constexpr const char* kPackageUnknownVersion = "Unknown firmware package version %d";
inline constexpr const char* kPackageNoCompatible = "Can't find compatible file in package %s";
inline constexpr const char* kPackageUnknownType = "Unknown packed file type %d";
inline constexpr const char* kPackageEntryTooBig = "Packaged file is too big to be a system file";
inline constexpr const char* kSystemFileTooSmall = "File is too small to be a system file";
inline constexpr const char* kSystemFileTooBig = "File is too big to be a system file";

// Questions.
inline constexpr const char* kPackageConfirm =
    "Update unit %d with firmware version: %d.%d\n(Processor FPGA version is: %d.%d)";
inline constexpr const char* kSystemFileSignature =
    "%s does not appear to be a valid system file, continue with update?";
inline constexpr const char* kSystemFileMaybeIncompatible =
    "WARNING: This firmware may not be compatible with FPGA version %d.%d, continue with "
    "update?";
inline constexpr const char* kSystemFileIncompatible =
    "WARNING: This firmware is not compatible with the FPGA version, continue with update?";
inline constexpr const char* kSystemFileConfirm =
    "Update 1:SYSTEM.COM with %s\r\n(Updated firmware: %d.%d,  FPGA version: %d.%d)";
inline constexpr const char* kFirmwareResetQuestion = "Update successful, reset processor %d?";

// Dialog 183, where the operator names the FPGA major version the unit would not report.
inline constexpr const char* kSelectFpgaTitle = "Dialog";
inline constexpr const char* kSelectFpgaText =
    "Unable to determine the FPGA version. Select the major hardware version from the pull "
    "down list.";
inline constexpr const char* kSelectFpgaEntry = "FPGA %d.xx";
inline constexpr int kSelectFpgaFirst = 2;  // the list's majors: 2..9, the first selected
inline constexpr int kSelectFpgaLast = 9;

// --- Formats --------------------------------------------------------------------------------

inline constexpr const char* kFirmwareFlashName = "SYSTEM.COM";  // in sector 1

// A system file image, the bytes that become 1:SYSTEM.COM.
inline constexpr std::size_t kSystemFileMin = 128;       // a .bin file holds at least this
inline constexpr std::size_t kSystemFileMax = 65023;     // and at most this
inline constexpr std::uint8_t kSystemSignature0 = 0xF3;  // byte 0
inline constexpr std::uint8_t kSystemSignature1 = 0xC3;  // byte 1
inline constexpr std::size_t kSystemTagAt = 4;           // "BIN", no terminator
inline constexpr std::size_t kSystemMajorAt = 14;        // firmware major version
inline constexpr std::size_t kSystemMinorAt = 15;        // firmware minor version
inline constexpr std::size_t kSystemMaskAt = 22;         // 16-bit compatibility mask, low first

// A package: "PACKAGE", its version (0), then entries each of a 32-bit body length (0 ends the
// package), type, 16-bit mask, major, minor and the body. Numbers low byte first.
inline constexpr char kPackageMagic[] = "PACKAGE";
inline constexpr std::size_t kPackageHeaderBytes = 8;
inline constexpr std::size_t kPackageLengthBytes = 4;
inline constexpr std::size_t kPackageEntryHeaderBytes = 5;  // type, mask, major, minor
inline constexpr std::uint8_t kPackagedSystemFile = 0;      // the only type taken
// A package body is refused from this length on (0xFE00).
inline constexpr std::size_t kPackageBodyLimit = 65024;

// Files larger than this are not read at all: a system file is far smaller, and a package
// of this size would hold hundreds of images.
inline constexpr std::size_t kFirmwareFileReadLimit = 16 * 1024 * 1024;

// --- The unit's FPGA version ----------------------------------------------------------------

// FPGA versions: the major version in the high four bits, the minor in the low four; 0 when
// the unit did not tell.
constexpr int fpga_major(std::uint8_t version) {
  return version >> 4;
}
constexpr int fpga_minor(std::uint8_t version) {
  return version & 0x0F;
}
// The mask bit of images that run on FPGA major m: 1 << (m - 1); none for a major of 0.
constexpr std::uint16_t fpga_mask_bit(int major) {
  return major >= 1 && major <= 16 ? static_cast<std::uint16_t>(1u << (major - 1))
                                   : std::uint16_t{0};
}
// The FPGA majors a mask names, e.g. "3,4"; "none" for a mask of 0.
std::string fpga_majors_text(std::uint16_t mask);

// The FPGA version of a hardware version reply (function 3): its data byte 4; 0 when there
// was no reply or it is too short to hold that byte.
std::uint8_t fpga_version_of(const std::optional<UnitFrame>& reply);

// What the unit said before an update.
struct UnitFpga {
  bool answered = false;     // it answered a poll (2 tries)
  std::uint8_t version = 0;  // its FPGA version; 0 when it did not give one
};
// Polls the selected unit (2 tries) and asks unit `address` for its hardware version. Runs on
// the thread that owns the link.
UnitFpga read_unit_fpga(Link& link, std::uint8_t address);

// --- The file -------------------------------------------------------------------------------

// A firmware file as read: its bytes, or the error text (without "Error: ").
struct FirmwareFile {
  std::vector<std::uint8_t> bytes;
  std::optional<std::string> error;
};
// Reads the file at `path`; "Can't open file %s" when it is not there or not opened, "Reading
// file %s" when it cannot be read, "File is too big to be a system file" beyond
// kFirmwareFileReadLimit. `shown` is the path as the operator sees it.
FirmwareFile read_firmware_file(const std::filesystem::path& path, const std::string& shown);

// One question of the update: a Yes/No message box; any answer but Yes stops the update.
struct FirmwareQuestion {
  std::string title;
  std::string text;
  BoxButtons buttons = BoxButtons::YesNo;  // YesNoDefaultNo for the warnings
  BoxIcon icon = BoxIcon::Question;
};

// What to do with a file.
struct FirmwarePlan {
  enum class Step {
    Refused,     // show `error` in the error box; the update stops
    ChooseFpga,  // a package for a unit without an FPGA version: ask for the major (dialog
                 // 183) and plan again with it; when the operator cancels, kFirmwareCancelled
    Ready,       // ask `questions` in order; when all are answered Yes, download `image`
  };
  Step step = Step::Refused;
  bool package = false;
  std::string error;
  std::vector<FirmwareQuestion> questions;
  std::vector<std::uint8_t> image;  // what becomes 1:SYSTEM.COM (below 65 024 bytes)
  int image_major = 0;              // its version: the entry's for a package, bytes 14-15 else
  int image_minor = 0;
  std::uint16_t image_mask = 0;
  std::size_t entry = 0;  // a package: which entry was chosen, from 0
};

// Checks a firmware file for unit `unit` whose FPGA version is `fpga_version` (0: unknown).
// `chosen_major` (2..9) is the operator's answer to the FPGA choice, 0 before it was asked.
// `shown` is the file's path as the texts name it.
FirmwarePlan plan_firmware_update(std::span<const std::uint8_t> file, const std::string& shown,
                                  int unit, std::uint8_t fpga_version, int chosen_major = 0);

// Asks the plan's questions in order; true when every one was answered Yes.
bool ask_firmware_questions(OperatorUi& ui, const FirmwarePlan& plan);

// Sets up the transfer job for the plan's image: 1:SYSTEM.COM, success announced. False
// (the job untouched) when the plan is not Ready or its image is too large.
bool load_firmware_image(TransferJob& job, const FirmwarePlan& plan);

// The reset question after a good transfer, and the reset itself (function 0, no data).
FirmwareQuestion reset_question(int unit);
bool send_firmware_reset(Link& link, std::uint8_t address);

// --- The whole update -----------------------------------------------------------------------

// What update_firmware needs from its caller besides the link and the operator interface.
struct FirmwareUpdateHooks {
  // Dialog 183: the FPGA major chosen (2..9), or 0 when the operator cancelled.
  std::function<int()> select_fpga_version;
  // Runs the download of the job (on the link's thread, with the progress shown); its result.
  std::function<int(TransferJob& job)> run_download;
  // Reports the transfer's result; kTransferAnnounced is the only success.
  std::function<void(int code)> transfer_finished;
  // Whether to ask the reset question at all (the command line's --no-reset says no).
  bool offer_reset = true;
};

// How an update ended.
enum class FirmwareOutcome {
  LinkFailure,      // the unit did not answer the poll
  FileUnreadable,   // the file could not be opened or read
  Refused,          // a check refused the file (an error box said why)
  Declined,         // a question was answered other than Yes, or the FPGA choice cancelled
  TransferFailed,   // the download ran and failed
  Updated,          // downloaded; no reset (declined or not offered)
  UpdatedAndReset,  // downloaded and the reset sent
};

// The update of unit `unit` (its address) from the file at `path`, every step at once:
// boxes and questions through `ui`, the link driven on this thread except for the download.
FirmwareOutcome update_firmware(Link& link, TransferJob& job, OperatorUi& ui, int unit,
                                const std::filesystem::path& path,
                                const FirmwareUpdateHooks& hooks);

// --- Building and listing packages ----------------------------------------------------------

struct PackageEntryInfo {
  std::uint8_t type = kPackagedSystemFile;
  std::uint16_t mask = 0;
  std::uint8_t major = 0;
  std::uint8_t minor = 0;
  std::uint32_t length = 0;
  std::size_t body_at = 0;  // where the body starts in the package
};

// A package of the images, in order, each with its entry's fields (length from the body).
std::vector<std::uint8_t> build_package(const std::vector<PackageEntryInfo>& entries,
                                        const std::vector<std::vector<std::uint8_t>>& bodies);

// The entries of a package up to its closing zero length.
struct PackageListing {
  std::vector<PackageEntryInfo> entries;
  std::optional<std::string> error;  // why the listing stopped short (shown with the path)
};
PackageListing list_package(std::span<const std::uint8_t> file, const std::string& shown);

}  // namespace qm
