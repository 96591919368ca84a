// A unit's flash file system: five sectors of 65 536 bytes, each with free, used and
// recoverable space, and the one-open-file protocol the program drives (find, open, 32-byte
// blocks at 16-bit offsets, close with checksum and block count, delete, rename, compact).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qm::sim {

inline constexpr int kFlashSectors = 5;               // numbered 1..5
inline constexpr std::uint32_t kSectorBytes = 65536;  // free + used + recoverable
inline constexpr std::size_t kMaxFlashName = 12;
inline constexpr std::size_t kMaxFlashBlock = 32;

struct FlashEntry {
  std::string name;
  std::uint32_t size = 0;
};

struct FlashSpace {
  std::uint32_t free = 0;
  std::uint32_t used = 0;
  std::uint32_t recoverable = 0;
};

struct FlashCloseResult {
  std::uint8_t status = 0;     // 0 = failure
  std::uint16_t checksum = 0;  // 16-bit sum of the bytes written (or of the file read)
  std::uint16_t blocks = 0;    // write-block requests received since the open
};

class FlashFileSystem {
 public:
  FlashFileSystem();

  // --- Direct access: factory content, the unit's own files, tests, persistence ----------
  // Stores a whole file, replacing one of the same name (its space becomes recoverable).
  // False when the sector is invalid, the name too long or the space insufficient.
  bool put_file(int sector, const std::string& name, std::span<const std::uint8_t> data);
  // The file's bytes, or null.
  const std::vector<std::uint8_t>* file(int sector, const std::string& name) const;
  std::vector<FlashEntry> list(int sector) const;
  FlashSpace space(int sector) const;
  bool remove(int sector, const std::string& name);
  bool rename(int sector, const std::string& from, int to_sector, const std::string& to);
  // Frees the recoverable space of a sector.
  void compact(int sector);
  // When set, every write that needs space fails, as if the flash were full.
  void set_full(bool full);

  // --- The protocol, as the unit answers it -------------------------------------------------
  // Find first / next in a sector: "*" matches every file, "?" one character, other
  // characters themselves (case-sensitive). None when no (further) file matches.
  std::optional<FlashEntry> find_first(int sector, const std::string& pattern);
  std::optional<FlashEntry> find_next(int sector, const std::string& pattern);
  // Mode 0 opens an existing file for reading, mode 1 creates one for writing (an existing
  // file of that name is replaced when the new one is closed). 1 = open, 0 = failure.
  std::uint8_t open(std::uint8_t mode, int sector, const std::string& name);
  // Reads up to count bytes at offset of the open file; none when nothing is open for
  // reading or count is 0 or above 32. At or past the end: an empty block.
  std::optional<std::vector<std::uint8_t>> read_block(std::uint8_t count, std::uint16_t offset);
  // Writes bytes at offset of the file open for writing; false when none is open, the block
  // is empty or above 32 bytes, or the sector has no room.
  bool write_block(std::uint16_t offset, std::span<const std::uint8_t> bytes);
  // Closes the open file (a written one is committed). Status 0 when nothing was open.
  FlashCloseResult close();

  // --- Persistence ------------------------------------------------------------------------
  // Every sector's files and space accounting as bytes, and back; load is false (and changes
  // nothing) on malformed input.
  std::vector<std::uint8_t> save() const;
  bool load(std::span<const std::uint8_t> bytes);

 private:
  struct File {
    std::string name;
    std::vector<std::uint8_t> data;
    std::uint64_t serial = 0;  // creation order; the find cursor walks it
  };
  struct Sector {
    std::vector<File> files;  // in creation order
    std::uint32_t recoverable = 0;
  };
  enum class OpenMode { None, Read, Write };
  // The one open file of the protocol.
  struct OpenFile {
    OpenMode mode = OpenMode::None;
    int sector = 0;
    std::string name;
    std::vector<std::uint8_t> data;  // read: a copy of the file; write: what has arrived
    std::uint16_t sum = 0;           // write: 16-bit sum of every byte received
    std::uint16_t blocks = 0;        // write: write-block requests received
  };
  // Where find next goes on: after the file with this serial in this sector.
  struct FindCursor {
    int sector = 0;
    std::uint64_t after = 0;
  };

  Sector* sector_at(int sector);
  const Sector* sector_at(int sector) const;
  std::uint32_t used_bytes(int sector) const;
  std::uint32_t free_bytes(int sector) const;
  // Makes the file live, turning an older one of that name into recoverable space.
  void commit(Sector& sector, std::string name, std::vector<std::uint8_t> data);
  std::optional<FlashEntry> find_after(int sector, const std::string& pattern, std::uint64_t after);

  std::array<Sector, kFlashSectors> sectors_;
  OpenFile open_;
  FindCursor cursor_;
  std::uint64_t next_serial_ = 1;
  bool full_ = false;
};

}  // namespace qm::sim
