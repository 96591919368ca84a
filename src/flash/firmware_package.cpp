// Firmware files checked and chosen, the questions built, the update run step by step.
#include "flash/firmware_package.h"

#include <algorithm>
#include <cstring>

#include "base/text_format.h"
#include "base/ui_helpers.h"
#include "flash/flash_protocol.h"
#include "flash/transfer.h"
#include "link/function_codes.h"
#include "link/link.h"
#include "link/unit_frame.h"
#include "platform/paths.h"

namespace qm {

namespace {

constexpr int kPollTries = 2;
constexpr std::uint8_t kUnitDevice = 7;
constexpr std::size_t kFpgaVersionAt = 4;  // in the hardware version reply's data

std::uint16_t le16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

std::uint32_t le32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
         static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

void put_le16(std::vector<std::uint8_t>& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v & 0xFF));
  out.push_back(static_cast<std::uint8_t>(v >> 8 & 0xFF));
}

void put_le32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8)
    out.push_back(static_cast<std::uint8_t>(v >> shift & 0xFF));
}

bool is_package(std::span<const std::uint8_t> file) {
  return file.size() >= kPackageHeaderBytes &&
         std::memcmp(file.data(), kPackageMagic, kPackageHeaderBytes - 1) == 0;
}

FirmwarePlan refused(std::string text, bool package) {
  FirmwarePlan plan;
  plan.step = FirmwarePlan::Step::Refused;
  plan.package = package;
  plan.error = std::move(text);
  return plan;
}

FirmwareQuestion question(std::string text, BoxButtons buttons = BoxButtons::YesNo) {
  return {kFirmwareTitle, std::move(text), buttons, BoxIcon::Question};
}

// The package steps: the first entry, in file order, whose mask has the unit's bit. The
// reading stops at the first entry header that is not all there; a skip that would leave the
// file cannot be made.
FirmwarePlan plan_package(std::span<const std::uint8_t> file, const std::string& shown, int unit,
                          std::uint8_t fpga_version, int chosen_major) {
  const int version = file[kPackageHeaderBytes - 1];
  if (version != 0) return refused(strprintf(kPackageUnknownVersion, version), true);
  int major = fpga_major(fpga_version);
  int minor = fpga_minor(fpga_version);
  if (fpga_version == 0) {
    if (chosen_major == 0) {
      FirmwarePlan plan;
      plan.step = FirmwarePlan::Step::ChooseFpga;
      plan.package = true;
      return plan;
    }
    major = chosen_major;
    minor = 0;
  }
  const std::uint16_t bit = fpga_mask_bit(major);
  const std::string reading = strprintf(kFirmwareReading, shown.c_str());

  std::size_t at = kPackageHeaderBytes;
  for (std::size_t entry = 0;; ++entry) {
    if (file.size() - at < kPackageLengthBytes) return refused(reading, true);
    const std::uint32_t length = le32(file, at);
    at += kPackageLengthBytes;
    if (length == 0) return refused(strprintf(kPackageNoCompatible, shown.c_str()), true);
    if (file.size() - at < kPackageEntryHeaderBytes) return refused(reading, true);
    const std::uint8_t type = file[at];
    const std::uint16_t mask = le16(file, at + 1);
    const std::uint8_t entry_major = file[at + 3];
    const std::uint8_t entry_minor = file[at + 4];
    at += kPackageEntryHeaderBytes;
    if (type != kPackagedSystemFile) return refused(strprintf(kPackageUnknownType, type), true);
    if ((mask & bit) == 0) {
      if (length > file.size() - at)
        return refused(strprintf(kFirmwareSeeking, shown.c_str()), true);
      at += length;
      continue;
    }
    if (length >= kPackageBodyLimit) return refused(kPackageEntryTooBig, true);
    if (length > file.size() - at) return refused(reading, true);

    FirmwarePlan plan;
    plan.step = FirmwarePlan::Step::Ready;
    plan.package = true;
    plan.entry = entry;
    plan.image.assign(file.begin() + static_cast<std::ptrdiff_t>(at),
                      file.begin() + static_cast<std::ptrdiff_t>(at + length));
    plan.image_major = entry_major;
    plan.image_minor = entry_minor;
    plan.image_mask = mask;
    plan.questions.push_back(
        question(strprintf(kPackageConfirm, unit, entry_major, entry_minor, major, minor)));
    return plan;
  }
}

// The system file steps: the size limits, then the signature, compatibility and confirmation
// questions, the warnings with No as their default.
FirmwarePlan plan_system_file(std::span<const std::uint8_t> file, const std::string& shown,
                              std::uint8_t fpga_version) {
  if (file.size() < kSystemFileMin) return refused(kSystemFileTooSmall, false);
  if (file.size() > kSystemFileMax) return refused(kSystemFileTooBig, false);

  FirmwarePlan plan;
  plan.step = FirmwarePlan::Step::Ready;
  plan.image.assign(file.begin(), file.end());
  const bool signature = file[0] == kSystemSignature0 && file[1] == kSystemSignature1 &&
                         std::memcmp(file.data() + kSystemTagAt, "BIN", 3) == 0;
  if (!signature)
    plan.questions.push_back(
        question(strprintf(kSystemFileSignature, shown.c_str()), BoxButtons::YesNoDefaultNo));

  plan.image_major = file[kSystemMajorAt];
  plan.image_minor = file[kSystemMinorAt];
  plan.image_mask = le16(file, kSystemMaskAt);
  const int major = fpga_major(fpga_version);
  const int minor = fpga_minor(fpga_version);
  if (plan.image_mask == 0 || fpga_version == 0) {
    plan.questions.push_back(question(strprintf(kSystemFileMaybeIncompatible, major, minor),
                                      BoxButtons::YesNoDefaultNo));
  } else if ((plan.image_mask & fpga_mask_bit(major)) == 0) {
    plan.questions.push_back(question(kSystemFileIncompatible, BoxButtons::YesNoDefaultNo));
  }
  plan.questions.push_back(question(strprintf(kSystemFileConfirm, shown.c_str(), plan.image_major,
                                              plan.image_minor, major, minor)));
  return plan;
}

}  // namespace

std::string fpga_majors_text(std::uint16_t mask) {
  std::string text;
  for (int major = 1; major <= 16; ++major) {
    if ((mask & fpga_mask_bit(major)) == 0) continue;
    if (!text.empty()) text += ",";
    text += std::to_string(major);
  }
  return text.empty() ? std::string("none") : text;
}

std::uint8_t fpga_version_of(const std::optional<UnitFrame>& reply) {
  if (!reply) return 0;
  const auto data = reply->data();
  return data.size() > kFpgaVersionAt ? data[kFpgaVersionAt] : 0;
}

UnitFpga read_unit_fpga(Link& link, std::uint8_t address) {
  UnitFpga fpga;
  if (link.unit_poll(kPollTries) != 0) return fpga;
  fpga.answered = true;
  fpga.version = fpga_version_of(link.unit_get(kUnitDevice, address, kFnHardwareVersion, {}));
  return fpga;
}

FirmwareFile read_firmware_file(const std::filesystem::path& path, const std::string& shown) {
  FirmwareFile out;
  const platform::FileRead read = platform::read_file(path, kFirmwareFileReadLimit);
  using Status = platform::FileReadStatus;
  switch (read.status) {
    case Status::Read:
      out.bytes.assign(read.contents.begin(), read.contents.end());
      break;
    case Status::TooLarge:
      out.error = kSystemFileTooBig;
      break;
    case Status::NotFound:
    case Status::NotRegular:
    case Status::OpenFailed:
      out.error = strprintf(kFirmwareCantOpen, shown.c_str());
      break;
    case Status::ReadFailed:
      out.error = strprintf(kFirmwareReading, shown.c_str());
      break;
  }
  return out;
}

FirmwarePlan plan_firmware_update(std::span<const std::uint8_t> file, const std::string& shown,
                                  int unit, std::uint8_t fpga_version, int chosen_major) {
  // The first 8 bytes decide what the file is; a file without them is unreadable as either.
  if (file.size() < kPackageHeaderBytes)
    return refused(strprintf(kFirmwareReading, shown.c_str()), false);
  if (is_package(file)) return plan_package(file, shown, unit, fpga_version, chosen_major);
  return plan_system_file(file, shown, fpga_version);
}

bool ask_firmware_questions(OperatorUi& ui, const FirmwarePlan& plan) {
  if (plan.step != FirmwarePlan::Step::Ready) return false;
  for (const FirmwareQuestion& q : plan.questions) {
    if (ui.message_box(q.title, q.text, q.buttons, q.icon) != BoxAnswer::Yes) return false;
  }
  return true;
}

bool load_firmware_image(TransferJob& job, const FirmwarePlan& plan) {
  if (plan.step != FirmwarePlan::Step::Ready || plan.image.empty() ||
      plan.image.size() >= kTransferLimitBytes)
    return false;
  job.prepare(kSystemSector, kFirmwareFlashName, kTransferAnnounced);
  return job.set_data(plan.image);
}

FirmwareQuestion reset_question(int unit) {
  return {kFirmwareResetTitle, strprintf(kFirmwareResetQuestion, unit), BoxButtons::YesNo,
          BoxIcon::Question};
}

bool send_firmware_reset(Link& link, std::uint8_t address) {
  return link.unit_send(kUnitDevice, address, kFnReset, {});
}

FirmwareOutcome update_firmware(Link& link, TransferJob& job, OperatorUi& ui, int unit,
                                const std::filesystem::path& path,
                                const FirmwareUpdateHooks& hooks) {
  const auto address = static_cast<std::uint8_t>(unit);
  const UnitFpga fpga = read_unit_fpga(link, address);
  if (!fpga.answered) {
    ui.message_box(kFirmwareTitle, kFirmwareLinkFailure, BoxButtons::Ok, BoxIcon::Error);
    return FirmwareOutcome::LinkFailure;
  }
  const std::string shown = path.string();
  const FirmwareFile file = read_firmware_file(path, shown);
  if (file.error) {
    show_error_box(ui, *file.error);
    return FirmwareOutcome::FileUnreadable;
  }
  FirmwarePlan plan = plan_firmware_update(file.bytes, shown, unit, fpga.version);
  if (plan.step == FirmwarePlan::Step::ChooseFpga) {
    const int chosen = hooks.select_fpga_version ? hooks.select_fpga_version() : 0;
    if (chosen < kSelectFpgaFirst || chosen > kSelectFpgaLast) {
      ui.message_box(kFirmwareTitle, kFirmwareCancelled, BoxButtons::Ok, BoxIcon::Warning);
      return FirmwareOutcome::Declined;
    }
    plan = plan_firmware_update(file.bytes, shown, unit, fpga.version, chosen);
  }
  if (plan.step == FirmwarePlan::Step::Refused) {
    show_error_box(ui, plan.error);
    return FirmwareOutcome::Refused;
  }
  if (!ask_firmware_questions(ui, plan)) return FirmwareOutcome::Declined;
  if (!load_firmware_image(job, plan)) return FirmwareOutcome::Refused;

  const int code = hooks.run_download(job);
  job.clear_data();
  if (hooks.transfer_finished) hooks.transfer_finished(code);
  if (code != kTransferAnnounced) return FirmwareOutcome::TransferFailed;
  if (!hooks.offer_reset) return FirmwareOutcome::Updated;
  const FirmwareQuestion reset = reset_question(unit);
  if (ui.message_box(reset.title, reset.text, reset.buttons, reset.icon) != BoxAnswer::Yes)
    return FirmwareOutcome::Updated;
  send_firmware_reset(link, address);
  return FirmwareOutcome::UpdatedAndReset;
}

std::vector<std::uint8_t> build_package(const std::vector<PackageEntryInfo>& entries,
                                        const std::vector<std::vector<std::uint8_t>>& bodies) {
  std::vector<std::uint8_t> out(kPackageMagic, kPackageMagic + kPackageHeaderBytes - 1);
  out.push_back(0);  // package version
  const std::size_t n = std::min(entries.size(), bodies.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto& body = bodies[i];
    put_le32(out, static_cast<std::uint32_t>(body.size()));
    out.push_back(entries[i].type);
    put_le16(out, entries[i].mask);
    out.push_back(entries[i].major);
    out.push_back(entries[i].minor);
    out.insert(out.end(), body.begin(), body.end());
  }
  put_le32(out, 0);
  return out;
}

PackageListing list_package(std::span<const std::uint8_t> file, const std::string& shown) {
  PackageListing listing;
  if (!is_package(file)) {
    listing.error = shown + " is not a firmware package";
    return listing;
  }
  const int version = file[kPackageHeaderBytes - 1];
  if (version != 0) {
    listing.error = strprintf(kPackageUnknownVersion, version);
    return listing;
  }
  const std::string reading = strprintf(kFirmwareReading, shown.c_str());
  std::size_t at = kPackageHeaderBytes;
  for (;;) {
    if (file.size() - at < kPackageLengthBytes) {
      listing.error = reading + " (no closing zero length)";
      return listing;
    }
    PackageEntryInfo e;
    e.length = le32(file, at);
    at += kPackageLengthBytes;
    if (e.length == 0) return listing;
    if (file.size() - at < kPackageEntryHeaderBytes) {
      listing.error = reading + " (an entry header is cut short)";
      return listing;
    }
    e.type = file[at];
    e.mask = le16(file, at + 1);
    e.major = file[at + 3];
    e.minor = file[at + 4];
    at += kPackageEntryHeaderBytes;
    e.body_at = at;
    listing.entries.push_back(e);
    if (e.length > file.size() - at) {
      listing.error = reading + " (the last entry's body is cut short)";
      return listing;
    }
    at += e.length;
  }
}

}  // namespace qm
