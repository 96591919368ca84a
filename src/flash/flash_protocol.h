// The flash file protocol of a unit: every operation on its flash files is one exchange of
// the unit message protocol, addressed to device 7 at one unit. Files live in five numbered
// sectors of 65 536 bytes; names are at most 12 characters and travel NUL-terminated; offsets,
// sizes and sums are 16-bit, low byte first.
//
// There is no file handle on the wire: read block, write block and close act on the file the
// unit opened last, so an open, its blocks and its close must not be interleaved with another
// open on the same unit. The operations keep no state between calls and show nothing; callers
// decide what the operator sees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

class Link;

inline constexpr int kFlashSectorCount = 5;          // sectors 1..5
inline constexpr std::size_t kFlashNameMax = 12;     // characters of a flash file name
inline constexpr std::size_t kFlashBlockBytes = 32;  // most data bytes of one block
inline constexpr std::uint32_t kFlashSectorBytes = 65536;

// Sectors the program itself uses.
inline constexpr std::uint8_t kSystemSector = 1;         // firmware
inline constexpr std::uint8_t kConfigurationSector = 2;  // $START.SFB, key map, panel files
inline constexpr std::uint8_t kSequenceSector = 3;       // binary sequence files

inline constexpr const char* kStartFileName = "$START.SFB";  // the sequence run at start-up

// Modes of an open.
inline constexpr std::uint8_t kFlashOpenRead = 0;   // an existing file, for reading
inline constexpr std::uint8_t kFlashOpenWrite = 1;  // a new file, for writing

// Waits that give the unit time to finish before the next request.
inline constexpr std::uint32_t kDeleteWaitMs = 2;
inline constexpr std::uint32_t kCompactWaitMs = 10000;

// Attempts of the requests that are repeated.
inline constexpr int kReadBlockAttempts = 3;
inline constexpr int kSectorStatusAttempts = 3;
inline constexpr int kPollTriesAfterReadFailure = 3;

// A directory listing ends here even if the unit keeps answering (a sector of 65 536 bytes
// cannot hold more files, each taking at least its directory record).
inline constexpr std::size_t kMaxListedFiles = 4096;

// The name each sector is shown with, for sectors 1..5; empty for any other.
std::string_view flash_sector_name(int sector);
// A file as the operator sees it: "%d:%s" (sector, name).
std::string flash_file_text(int sector, std::string_view name);

struct FlashDirEntry {
  std::uint16_t size = 0;  // bytes
  std::string name;        // up to 12 characters
};

struct FlashSectorStatus {
  std::uint16_t free = 0;
  std::uint16_t used = 0;
  std::uint16_t recoverable = 0;  // not sent: 65 536 - free - used, modulo 65 536
};

struct FlashCloseResult {
  std::uint8_t status = 0;     // 0 = the close failed
  std::uint16_t checksum = 0;  // 16-bit sum of the bytes the unit received
  std::int16_t blocks = 0;     // write-block requests the unit received since the open
};

// Appends `name` truncated to 12 characters and a NUL; returns the characters copied.
std::size_t copy_flash_name(std::string_view name, std::vector<std::uint8_t>& out);

// The 16-bit running sum of the bytes, as the unit's close reports it.
std::uint16_t flash_sum(std::uint16_t sum, std::span<const std::uint8_t> bytes);

// The flash files of one unit over a link.
class FlashFiles {
 public:
  FlashFiles(Link& link, std::uint8_t address) : link_(link), address_(address) {}

  // The first / next file of the sector matching the pattern ("*" for every file); none
  // when the unit has no (further) entry or does not answer.
  std::optional<FlashDirEntry> flash_find_first(std::uint8_t sector, std::string_view pattern);
  std::optional<FlashDirEntry> flash_find_next(std::uint8_t sector, std::string_view pattern);
  // The unit's status of the open: 1 = open (on a read open: the file exists); 0 when it
  // failed or no reply came.
  std::uint8_t flash_open(std::uint8_t sector, std::string_view name, std::uint8_t mode);
  // Reads `count` (1..32) bytes at `offset` of the open file into dest; the number of bytes
  // read (always count), or -1. An attempt fails when no reply comes, its status is not 1 or
  // it does not carry exactly `count` data bytes; after each failed attempt the unit is
  // polled, and after 3 the read has failed.
  int flash_read_block(std::uint8_t count, std::uint16_t offset, std::uint8_t* dest);
  // Writes `bytes` (1..32 of them) at `offset` of the open file; their count, or -1 when the
  // unit refused them or did not answer. A block of another size is refused unsent.
  int flash_write_block(std::uint16_t offset, std::span<const std::uint8_t> bytes);
  // Closes the open file; none when no (complete) reply came.
  std::optional<FlashCloseResult> flash_close();
  // Deletes a file, then gives the unit 2 ms to finish.
  void flash_delete(std::uint8_t sector, std::string_view name);
  // Free, used and recoverable bytes of a sector; asked up to 3 times, none when no reply.
  std::optional<FlashSectorStatus> flash_sector_status(std::uint8_t sector);
  // Frees the recoverable space of a sector: takes in what has arrived, sends the request and
  // waits up to 10 s for the unit to answer a poll again.
  void flash_compact(std::uint8_t sector);
  // Renames a file (both names whole). The unit does not answer: it may have ignored it.
  void flash_rename(std::uint8_t sector, std::string_view old_name, std::uint8_t new_sector,
                    std::string_view new_name);
  // Runs a sequence file: when a read open finds it, sends the run request; the unit's status
  // (1 = running), or 0 when the file is missing or no reply came.
  std::uint8_t flash_run(std::uint8_t sector, std::string_view name);
  // Stops the unit's running sequence.
  void flash_stop();

  // Whether the sector holds a file of exactly this name (compared byte for byte).
  bool flash_file_exists(std::uint8_t sector, std::string_view name);
  // Whether the unit has a start-up sequence 2:$START.SFB that is not empty.
  bool start_file_exists();
  // Every file of the sector, in the unit's order: find first and find next with "*" until
  // no entry or one with an empty name.
  std::vector<FlashDirEntry> flash_list(std::uint8_t sector);

 private:
  std::optional<FlashDirEntry> find(std::uint8_t function, std::uint8_t sector,
                                    std::string_view pattern);

  Link& link_;
  std::uint8_t address_;
};

}  // namespace qm
