// The transfer workers, step by step, and the flows around them that need no window.
#include "flash/transfer.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include "base/text_format.h"
#include "flash/flash_protocol.h"
#include "link/link.h"
#include "platform/paths.h"

namespace qm {

namespace {

// What the worker shows while it works.
constexpr const char* kStatusChecking = " Checking communications link";
constexpr const char* kStatusErasing = " Erasing exiting file";
constexpr const char* kStatusFreeing = " Freeing spare FLASH memory";
constexpr const char* kStatusDownloading = " Downloading...";
constexpr const char* kStatusUploading = " Uploading...";

// What the progress line shows for each result.
constexpr const char* kResultAnnounced = " Download sucessful";
constexpr const char* kResultLinkFailure = " Error: Serial communications failure";
constexpr const char* kResultOutOfSpace = " Error: out of space on sector %d";
constexpr const char* kResultOpenFailed = " Error: opening FLASH file: %d:%s";
constexpr const char* kResultCloseFailed = " Error: closing FLASH file: %d:%s";
constexpr const char* kResultBlockTransfer = " Error: block transfer";
constexpr const char* kResultChecksum = " Error: checksum";
constexpr const char* kResultFileSize = " Error: File size";
constexpr const char* kResultCancelled = " Error: User cancelled transaction";
constexpr const char* kResultUnspecified = " Error: Unspecified";

constexpr int kLinkCheckTries = 3;

}  // namespace

bool TransferJob::set_data(std::span<const std::uint8_t> bytes) {
  if (bytes.size() >= kTransferLimitBytes) return false;
  std::memcpy(buffer.data(), bytes.data(), bytes.size());
  size = static_cast<std::int32_t>(bytes.size());
  return true;
}

void TransferJob::prepare(std::uint8_t to_sector, std::string flash_name, int success) {
  sector = to_sector;
  name = std::move(flash_name);
  success_code = success;
  upload_complete = false;
  cancel_state = kCancelNone;
}

bool check_cancel(TransferJob& job) {
  int requested = kCancelRequested;
  if (!job.cancel_state.compare_exchange_strong(requested, kCancelAcknowledged)) return false;
  job.upload_complete = false;
  return true;
}

int download_worker(TransferJob& job, Link& link, std::uint8_t address,
                    TransferObserver& observer) {
  FlashFiles flash(link, address);
  const std::size_t size = static_cast<std::size_t>(std::max<std::int32_t>(job.size, 0));

  observer.transfer_status(kStatusChecking);
  if (link.unit_poll(kLinkCheckTries) != 0) return kTransferLinkFailure;
  if (flash.flash_open(job.sector, job.name, kFlashOpenRead) == 1) {
    observer.transfer_status(kStatusErasing);
    flash.flash_delete(job.sector, job.name);
  }
  if (check_cancel(job)) return kTransferCancelled;

  const auto space = flash.flash_sector_status(job.sector);
  if (!space) return kTransferLinkFailure;
  if (check_cancel(job)) return kTransferCancelled;

  if (space->free < size) {
    const std::uint32_t room = (space->free + space->recoverable) % kFlashSectorBytes;
    if (room < size) return kTransferOutOfSpace;
    observer.transfer_status(kStatusFreeing);
    flash.flash_compact(job.sector);
  }
  if (check_cancel(job)) return kTransferCancelled;

  if (flash.flash_open(job.sector, job.name, kFlashOpenWrite) == 0) {
    observer.transfer_status(kStatusFreeing);
    flash.flash_compact(job.sector);
    if (flash.flash_open(job.sector, job.name, kFlashOpenWrite) == 0) return kTransferOpenFailed;
  }
  if (check_cancel(job)) return kTransferCancelled;

  observer.transfer_status(kStatusDownloading);
  observer.transfer_progress(0, size);
  std::int16_t blocks = 0;
  std::uint16_t sum = 0;
  for (std::size_t position = 0; position < size;) {
    const std::size_t count = std::min(kFlashBlockBytes, size - position);
    const auto block = job.data().subspan(position, count);
    ++blocks;
    if (flash.flash_write_block(static_cast<std::uint16_t>(position), block) <= 0)
      return kTransferLinkFailure;
    sum = flash_sum(sum, block);
    position += count;
    observer.transfer_progress(position, size);
    if (check_cancel(job)) return kTransferCancelled;
  }

  const auto closed = flash.flash_close();
  if (!closed) return kTransferLinkFailure;
  if (closed->status == 0) return kTransferCloseFailed;
  if (closed->blocks != blocks) return kTransferBlockTransfer;
  if (closed->checksum != sum) return kTransferChecksum;
  return job.success_code;
}

int upload_worker(TransferJob& job, Link& link, std::uint8_t address, TransferObserver& observer) {
  FlashFiles flash(link, address);

  observer.transfer_status(kStatusChecking);
  if (link.unit_poll(kLinkCheckTries) != 0) return kTransferLinkFailure;
  const auto entry = flash.flash_find_first(job.sector, job.name);
  if (!entry) return kTransferOpenFailed;
  if (check_cancel(job)) return kTransferCancelled;

  const std::size_t size = entry->size;  // 16 bits: always within the buffer
  job.size = static_cast<std::int32_t>(size);
  if (flash.flash_open(job.sector, job.name, kFlashOpenRead) != 1) return kTransferOpenFailed;
  if (size == 0) return kTransferFileSize;
  if (check_cancel(job)) return kTransferCancelled;

  observer.transfer_status(kStatusUploading);
  observer.transfer_progress(0, size);
  for (std::size_t position = 0; position < size;) {
    const std::size_t count = std::min(kFlashBlockBytes, size - position);
    if (flash.flash_read_block(static_cast<std::uint8_t>(count),
                               static_cast<std::uint16_t>(position),
                               job.buffer.data() + position) < 0)
      return kTransferBlockTransfer;
    if (check_cancel(job)) return kTransferCancelled;
    position += count;
    observer.transfer_progress(position, size);
  }
  job.upload_complete = true;
  return job.success_code;
}

std::optional<std::string> transfer_result_text(int code, const TransferJob& job) {
  const char* name = job.name.c_str();
  switch (code) {
    case kTransferAnnounced:
      return kResultAnnounced;
    case kTransferLinkFailure:
      return kResultLinkFailure;
    case kTransferOutOfSpace:
      return strprintf(kResultOutOfSpace, job.sector);
    case kTransferOpenFailed:
      return strprintf(kResultOpenFailed, job.sector, name);
    case kTransferCloseFailed:
      return strprintf(kResultCloseFailed, job.sector, name);
    case kTransferBlockTransfer:
      return kResultBlockTransfer;
    case kTransferChecksum:
      return kResultChecksum;
    case kTransferFileSize:
      return kResultFileSize;
    case kTransferQuiet:
      return std::nullopt;
    case kTransferCancelled:
      return kResultCancelled;
    default:
      return kResultUnspecified;
  }
}

namespace {

// Characters an 8.3 name may hold besides letters and digits.
bool short_name_char(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (std::isalnum(u)) return true;
  return std::string_view("$%'-_@~`!(){}^#&").find(c) != std::string_view::npos;
}

bool short_part(std::string_view part, std::size_t most) {
  return !part.empty() && part.size() <= most &&
         std::all_of(part.begin(), part.end(), short_name_char);
}

// The characters of `part` an 8.3 name may hold, upper case, at most `most` of them.
std::string squeezed(std::string_view part, std::size_t most) {
  std::string out;
  for (const char c : part) {
    if (out.size() == most) break;
    if (short_name_char(c)) out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return out;
}

}  // namespace

std::string short_flash_name(std::string_view file_name) {
  const std::size_t dot = file_name.rfind('.');
  const std::string_view base =
      dot == std::string_view::npos ? file_name : file_name.substr(0, dot);
  const std::string_view ext =
      dot == std::string_view::npos ? std::string_view() : file_name.substr(dot + 1);
  if (short_part(base, 8) && (dot == std::string_view::npos || short_part(ext, 3)))
    return std::string(file_name);
  std::string name = squeezed(base, 6);
  if (name.empty()) name = "FILE";
  name += "~1";
  const std::string short_ext = squeezed(ext, 3);
  if (!short_ext.empty()) name += "." + short_ext;
  return name;
}

std::string overwrite_question(int sector, const std::string& name) {
  return strprintf(kOverwriteQuestion, sector, name.c_str());
}

std::optional<std::string> load_download_file(TransferJob& job, const std::filesystem::path& path) {
  const std::string shown = path.string();
  const platform::FileRead read = platform::read_file(path, kTransferLimitBytes - 1);
  using Status = platform::FileReadStatus;
  switch (read.status) {
    case Status::Read:
      break;
    case Status::TooLarge:
      return std::string(kFileTooBig);
    case Status::NotFound:
    case Status::NotRegular:
    case Status::OpenFailed:
      return strprintf(kCantOpenFile, shown.c_str());
    case Status::ReadFailed:
      return strprintf(kCantReadFile, shown.c_str(), read.error.message().c_str());
  }
  // An empty file would be created as an empty flash file: nothing the operator meant.
  if (read.contents.empty()) return strprintf(kCantReadFile, shown.c_str(), kFileIsEmpty);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(read.contents.data());
  job.set_data({bytes, read.contents.size()});
  return std::nullopt;
}

std::optional<std::string> save_uploaded_file(const TransferJob& job,
                                              const std::filesystem::path& path) {
  const auto data = job.data();
  const std::string_view contents(reinterpret_cast<const char*>(data.data()), data.size());
  const platform::AtomicWriteResult written = platform::write_file_atomically(path, contents);
  if (written.ok()) return std::nullopt;
  return strprintf(kCantSaveFile, path.string().c_str(), written.error.message().c_str());
}

}  // namespace qm
