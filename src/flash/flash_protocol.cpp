// The flash file protocol: requests, the replies each operation reads, and its retries.
#include "flash/flash_protocol.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/text_format.h"
#include "link/function_codes.h"
#include "link/link.h"
#include "link/unit_frame.h"

namespace qm {

namespace {

constexpr std::uint8_t kStatusGood = 1;  // a reply's status byte: done

constexpr std::array<std::string_view, kFlashSectorCount> kSectorNames = {
    "System", "Configuration", "Sequence", "Font", "General"};

std::uint8_t lo(std::uint16_t v) {
  return static_cast<std::uint8_t>(v & 0xFF);
}
std::uint8_t hi(std::uint16_t v) {
  return static_cast<std::uint8_t>(v >> 8);
}
std::uint16_t u16(std::span<const std::uint8_t> d, std::size_t at) {
  return static_cast<std::uint16_t>(d[at] | d[at + 1] << 8);
}

// The text of a NUL-terminated name in reply data from `at` (to the end if no NUL comes).
std::string name_from(std::span<const std::uint8_t> d, std::size_t at) {
  std::string name;
  for (std::size_t i = at; i < d.size() && d[i] != 0; ++i)
    name.push_back(static_cast<char>(d[i]));
  return name;
}

}  // namespace

std::string_view flash_sector_name(int sector) {
  if (sector < 1 || sector > kFlashSectorCount) return {};
  return kSectorNames[static_cast<std::size_t>(sector - 1)];
}

std::string flash_file_text(int sector, std::string_view name) {
  return strprintf("%d:%s", sector, std::string(name).c_str());
}

std::size_t copy_flash_name(std::string_view name, std::vector<std::uint8_t>& out) {
  const std::size_t n = std::min(name.size(), kFlashNameMax);
  out.insert(out.end(), name.begin(), name.begin() + static_cast<std::ptrdiff_t>(n));
  out.push_back(0);
  return n;
}

std::uint16_t flash_sum(std::uint16_t sum, std::span<const std::uint8_t> bytes) {
  for (std::uint8_t b : bytes)
    sum = static_cast<std::uint16_t>(sum + b);
  return sum;
}

// --- Directory ------------------------------------------------------------------------------

// sector, pattern + NUL → size (2), name + NUL. Two data bytes or fewer: no entry.
std::optional<FlashDirEntry> FlashFiles::find(std::uint8_t function, std::uint8_t sector,
                                              std::string_view pattern) {
  std::vector<std::uint8_t> request{sector};
  copy_flash_name(pattern, request);
  const auto reply = link_.unit_get(kDeviceUnit, address_, function, request);
  if (!reply) return std::nullopt;
  const auto d = reply->data();
  if (d.size() <= 2) return std::nullopt;
  return FlashDirEntry{u16(d, 0), name_from(d, 2)};
}

std::optional<FlashDirEntry> FlashFiles::flash_find_first(std::uint8_t sector,
                                                          std::string_view pattern) {
  return find(kFnFindFirst, sector, pattern);
}

std::optional<FlashDirEntry> FlashFiles::flash_find_next(std::uint8_t sector,
                                                         std::string_view pattern) {
  return find(kFnFindNext, sector, pattern);
}

bool FlashFiles::flash_file_exists(std::uint8_t sector, std::string_view name) {
  // The unit's matching is not relied on for exactness: the name it returns is compared.
  const auto entry = flash_find_first(sector, name);
  return entry && entry->name == name;
}

bool FlashFiles::start_file_exists() {
  const auto entry = flash_find_first(kConfigurationSector, kStartFileName);
  return entry && entry->size != 0 && entry->name == kStartFileName;
}

std::vector<FlashDirEntry> FlashFiles::flash_list(std::uint8_t sector) {
  std::vector<FlashDirEntry> files;
  for (auto entry = flash_find_first(sector, "*");
       entry && !entry->name.empty() && files.size() < kMaxListedFiles;
       entry = flash_find_next(sector, "*")) {
    files.push_back(std::move(*entry));
  }
  return files;
}

// --- Open file ------------------------------------------------------------------------------

// mode, sector, name + NUL → status.
std::uint8_t FlashFiles::flash_open(std::uint8_t sector, std::string_view name, std::uint8_t mode) {
  std::vector<std::uint8_t> request{mode, sector};
  copy_flash_name(name, request);
  const auto reply = link_.unit_get(kDeviceUnit, address_, kFnOpen, request);
  if (!reply || reply->data().empty()) return 0;
  return reply->data()[0];
}

// count, offset (2) → status, two bytes not used, the data.
int FlashFiles::flash_read_block(std::uint8_t count, std::uint16_t offset, std::uint8_t* dest) {
  if (count == 0 || count > kFlashBlockBytes) return -1;
  const std::array<std::uint8_t, 3> request{count, lo(offset), hi(offset)};
  for (int attempt = 0; attempt < kReadBlockAttempts; ++attempt) {
    const auto reply = link_.unit_get(kDeviceUnit, address_, kFnReadBlock, request);
    if (reply) {
      const auto d = reply->data();
      // Anything but exactly the bytes asked for would leave a gap in the file, or run past
      // the block: the attempt failed.
      if (d.size() == 3u + count && d[0] == kStatusGood) {
        std::memcpy(dest, d.data() + 3, count);
        return count;
      }
    }
    link_.unit_poll(kPollTriesAfterReadFailure);  // its answer is not needed, only the pause
  }
  return -1;
}

// offset (2), the bytes → status. Never repeated here: the close's block count tells.
int FlashFiles::flash_write_block(std::uint16_t offset, std::span<const std::uint8_t> bytes) {
  if (bytes.empty() || bytes.size() > kFlashBlockBytes) return -1;
  std::vector<std::uint8_t> request{lo(offset), hi(offset)};
  request.insert(request.end(), bytes.begin(), bytes.end());
  const auto reply = link_.unit_get(kDeviceUnit, address_, kFnWriteBlock, request);
  if (!reply || reply->data().empty() || reply->data()[0] != kStatusGood) return -1;
  return static_cast<int>(bytes.size());
}

// no data → status, checksum (2), blocks (2).
std::optional<FlashCloseResult> FlashFiles::flash_close() {
  const auto reply = link_.unit_get(kDeviceUnit, address_, kFnClose, {});
  if (!reply || reply->data().size() < 5) return std::nullopt;
  const auto d = reply->data();
  return FlashCloseResult{d[0], u16(d, 1), static_cast<std::int16_t>(u16(d, 3))};
}

// --- Files and sectors ------------------------------------------------------------------------

// sector, name + NUL; no reply.
void FlashFiles::flash_delete(std::uint8_t sector, std::string_view name) {
  std::vector<std::uint8_t> request{sector};
  copy_flash_name(name, request);
  link_.unit_send(kDeviceUnit, address_, kFnDelete, request);
  link_.unit_wait_any(kDeleteWaitMs);
}

// sector → a byte not used, free (2), used (2).
std::optional<FlashSectorStatus> FlashFiles::flash_sector_status(std::uint8_t sector) {
  const std::array<std::uint8_t, 1> request{sector};
  for (int attempt = 0; attempt < kSectorStatusAttempts; ++attempt) {
    const auto reply = link_.unit_get(kDeviceUnit, address_, kFnSectorStatus, request);
    if (!reply || reply->data().size() < 5) continue;
    const auto d = reply->data();
    FlashSectorStatus status;
    status.free = u16(d, 1);
    status.used = u16(d, 3);
    status.recoverable = static_cast<std::uint16_t>(0u - status.free - status.used);
    return status;
  }
  return std::nullopt;
}

// sector; no reply. The unit is busy compacting for a while and answers no poll meanwhile.
void FlashFiles::flash_compact(std::uint8_t sector) {
  link_.drain(kPollWaitMs);
  const std::array<std::uint8_t, 1> request{sector};
  link_.unit_send(kDeviceUnit, address_, kFnCompact, request);
  link_.unit_wait_any(kCompactWaitMs);
}

// sector, old + NUL, sector, new + NUL; no reply.
void FlashFiles::flash_rename(std::uint8_t sector, std::string_view old_name,
                              std::uint8_t new_sector, std::string_view new_name) {
  std::vector<std::uint8_t> request{sector};
  request.insert(request.end(), old_name.begin(), old_name.end());
  request.push_back(0);
  request.push_back(new_sector);
  request.insert(request.end(), new_name.begin(), new_name.end());
  request.push_back(0);
  link_.unit_send(kDeviceUnit, address_, kFnRename, request);
}

// sector, name + NUL → status; sent only when a read open finds the file.
std::uint8_t FlashFiles::flash_run(std::uint8_t sector, std::string_view name) {
  if (flash_open(sector, name, kFlashOpenRead) != kStatusGood) return 0;
  std::vector<std::uint8_t> request{sector};
  copy_flash_name(name, request);
  const auto reply = link_.unit_get(kDeviceUnit, address_, kFnRun, request);
  if (!reply || reply->data().empty()) return 0;
  return reply->data()[0];
}

void FlashFiles::flash_stop() {
  link_.unit_send(kDeviceUnit, address_, kFnStop, {});
}

}  // namespace qm
