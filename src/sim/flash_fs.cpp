// A unit's flash file system: the sectors, their space accounting and the one-open-file
// protocol the program drives.
#include "sim/flash_fs.h"

#include <algorithm>
#include <utility>

namespace qm::sim {

namespace {

constexpr std::uint32_t kSectorHeaderBytes = 16;  // a sector's header, used from the start
constexpr std::uint32_t kRecordBytes = 16;        // a file's directory record
constexpr std::uint8_t kModeRead = 0;             // open: existing file, for reading
constexpr std::uint8_t kModeWrite = 1;            // open: new file, for writing
constexpr std::uint8_t kOpened = 1;               // open / close status: done
constexpr std::uint8_t kFailed = 0;               // open / close status: refused

// The saved image: magic, version, per sector the recoverable bytes and the files, then an
// FNV-1a hash of everything before it.
constexpr std::array<std::uint8_t, 4> kImageMagic = {'Q', 'M', 'F', 'S'};
constexpr std::uint8_t kImageVersion = 1;

bool valid_name(const std::string& name) {
  return !name.empty() && name.size() <= kMaxFlashName && name.find('\0') == std::string::npos;
}

// The 16-bit sum of the bytes, modulo 65 536.
std::uint16_t sum16(std::uint16_t sum, std::span<const std::uint8_t> bytes) {
  for (std::uint8_t b : bytes)
    sum = static_cast<std::uint16_t>(sum + b);
  return sum;
}

// Whether name matches pattern: "*" any run of characters, "?" one character, anything else
// itself.
bool matches(const std::string& pattern, const std::string& name) {
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t star = std::string::npos;  // pattern position after the last "*"
  std::size_t resume = 0;                // name position that "*" has swallowed up to
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = ++p;
      resume = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (star != std::string::npos) {
      p = star;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*')
    ++p;
  return p == pattern.size();
}

// FNV-1a over the bytes.
std::uint32_t fnv1a(std::span<const std::uint8_t> bytes) {
  std::uint32_t h = 2166136261u;
  for (std::uint8_t b : bytes)
    h = (h ^ b) * 16777619u;
  return h;
}

void put_u16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v & 0xFF));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8)
    out.push_back(static_cast<std::uint8_t>(v >> shift));
}

// Takes little-endian fields off the front of a saved image; every take fails past the end.
class ImageReader {
 public:
  explicit ImageReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool done() const { return pos_ == bytes_.size(); }

  std::optional<std::span<const std::uint8_t>> take(std::size_t n) {
    if (n > bytes_.size() - pos_) return std::nullopt;
    auto part = bytes_.subspan(pos_, n);
    pos_ += n;
    return part;
  }

  std::optional<std::uint32_t> take_le(std::size_t n) {
    auto part = take(n);
    if (!part) return std::nullopt;
    std::uint32_t v = 0;
    for (std::size_t i = n; i-- > 0;)
      v = (v << 8) | (*part)[i];
    return v;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
};

}  // namespace

FlashFileSystem::FlashFileSystem() = default;

FlashFileSystem::Sector* FlashFileSystem::sector_at(int sector) {
  if (sector < 1 || sector > kFlashSectors) return nullptr;
  return &sectors_[static_cast<std::size_t>(sector - 1)];
}

const FlashFileSystem::Sector* FlashFileSystem::sector_at(int sector) const {
  if (sector < 1 || sector > kFlashSectors) return nullptr;
  return &sectors_[static_cast<std::size_t>(sector - 1)];
}

// Header, live files and the part of a file being written that has arrived.
std::uint32_t FlashFileSystem::used_bytes(int sector) const {
  const Sector* s = sector_at(sector);
  if (!s) return 0;
  std::uint32_t used = kSectorHeaderBytes;
  for (const File& f : s->files)
    used += kRecordBytes + static_cast<std::uint32_t>(f.data.size());
  if (open_.mode == OpenMode::Write && open_.sector == sector && !open_.data.empty())
    used += kRecordBytes + static_cast<std::uint32_t>(open_.data.size());
  return used;
}

// What is neither used nor recoverable.
std::uint32_t FlashFileSystem::free_bytes(int sector) const {
  const Sector* s = sector_at(sector);
  if (!s) return 0;
  return kSectorBytes - used_bytes(sector) - s->recoverable;
}

void FlashFileSystem::commit(Sector& sector, std::string name, std::vector<std::uint8_t> data) {
  auto old = std::find_if(sector.files.begin(), sector.files.end(),
                          [&](const File& f) { return f.name == name; });
  if (old != sector.files.end()) {
    sector.recoverable += kRecordBytes + static_cast<std::uint32_t>(old->data.size());
    sector.files.erase(old);
  }
  sector.files.push_back(File{std::move(name), std::move(data), next_serial_++});
}

bool FlashFileSystem::put_file(int sector, const std::string& name,
                               std::span<const std::uint8_t> data) {
  Sector* s = sector_at(sector);
  if (!s || !valid_name(name) || full_) return false;
  if (kRecordBytes + data.size() > free_bytes(sector)) return false;
  commit(*s, name, std::vector<std::uint8_t>(data.begin(), data.end()));
  return true;
}

const std::vector<std::uint8_t>* FlashFileSystem::file(int sector, const std::string& name) const {
  const Sector* s = sector_at(sector);
  if (!s) return nullptr;
  for (const File& f : s->files)
    if (f.name == name) return &f.data;
  return nullptr;
}

std::vector<FlashEntry> FlashFileSystem::list(int sector) const {
  std::vector<FlashEntry> entries;
  if (const Sector* s = sector_at(sector))
    for (const File& f : s->files)
      entries.push_back(FlashEntry{f.name, static_cast<std::uint32_t>(f.data.size())});
  return entries;
}

FlashSpace FlashFileSystem::space(int sector) const {
  const Sector* s = sector_at(sector);
  if (!s) return {};
  return FlashSpace{free_bytes(sector), used_bytes(sector), s->recoverable};
}

bool FlashFileSystem::remove(int sector, const std::string& name) {
  Sector* s = sector_at(sector);
  if (!s) return false;
  auto it =
      std::find_if(s->files.begin(), s->files.end(), [&](const File& f) { return f.name == name; });
  if (it == s->files.end()) return false;
  s->recoverable += kRecordBytes + static_cast<std::uint32_t>(it->data.size());
  s->files.erase(it);
  return true;
}

// The record is rewritten in place: the file keeps its place in the listing and its space.
bool FlashFileSystem::rename(int sector, const std::string& from, int to_sector,
                             const std::string& to) {
  Sector* s = sector_at(sector);
  if (!s || to_sector != sector || !valid_name(to) || file(sector, to)) return false;
  for (File& f : s->files) {
    if (f.name == from) {
      f.name = to;
      return true;
    }
  }
  return false;
}

void FlashFileSystem::compact(int sector) {
  if (Sector* s = sector_at(sector)) s->recoverable = 0;
}

void FlashFileSystem::set_full(bool full) {
  full_ = full;
}

std::optional<FlashEntry> FlashFileSystem::find_after(int sector, const std::string& pattern,
                                                      std::uint64_t after) {
  const Sector* s = sector_at(sector);
  if (!s) return std::nullopt;
  for (const File& f : s->files) {
    if (f.serial <= after || !matches(pattern, f.name)) continue;
    cursor_ = FindCursor{sector, f.serial};
    return FlashEntry{f.name, static_cast<std::uint32_t>(f.data.size())};
  }
  return std::nullopt;
}

std::optional<FlashEntry> FlashFileSystem::find_first(int sector, const std::string& pattern) {
  cursor_ = FindCursor{sector, 0};
  return find_after(sector, pattern, 0);
}

// Without a find first in the same sector there is nothing to continue.
std::optional<FlashEntry> FlashFileSystem::find_next(int sector, const std::string& pattern) {
  if (cursor_.sector != sector) return std::nullopt;
  return find_after(sector, pattern, cursor_.after);
}

// A second open closes the first file (committing a written one), as the unit keeps only one.
std::uint8_t FlashFileSystem::open(std::uint8_t mode, int sector, const std::string& name) {
  if (open_.mode != OpenMode::None) close();
  if (mode == kModeRead) {
    const std::vector<std::uint8_t>* data = file(sector, name);
    if (!data) return kFailed;
    open_ = OpenFile{OpenMode::Read, sector, name, *data, 0, 0};
    return kOpened;
  }
  if (mode == kModeWrite) {
    if (!sector_at(sector) || !valid_name(name)) return kFailed;
    open_ = OpenFile{OpenMode::Write, sector, name, {}, 0, 0};
    return kOpened;
  }
  return kFailed;
}

std::optional<std::vector<std::uint8_t>> FlashFileSystem::read_block(std::uint8_t count,
                                                                     std::uint16_t offset) {
  if (open_.mode != OpenMode::Read || count == 0 || count > kMaxFlashBlock) return std::nullopt;
  const std::vector<std::uint8_t>& data = open_.data;
  if (offset >= data.size()) return std::vector<std::uint8_t>{};
  const std::size_t n = std::min<std::size_t>(count, data.size() - offset);
  const auto begin = data.begin() + offset;
  return std::vector<std::uint8_t>(begin, begin + static_cast<std::ptrdiff_t>(n));
}

// Every block counts towards the close's block count and sum, written or not. The file's
// record is taken together with its first bytes; a gap before the offset reads as erased
// flash.
bool FlashFileSystem::write_block(std::uint16_t offset, std::span<const std::uint8_t> bytes) {
  if (open_.mode != OpenMode::Write) return false;
  open_.blocks = static_cast<std::uint16_t>(open_.blocks + 1);
  open_.sum = sum16(open_.sum, bytes);
  if (bytes.empty() || bytes.size() > kMaxFlashBlock) return false;

  std::vector<std::uint8_t>& data = open_.data;
  const std::size_t end = std::size_t{offset} + bytes.size();
  std::size_t needed = end > data.size() ? end - data.size() : 0;
  if (data.empty()) needed += kRecordBytes;
  if (needed > 0 && (full_ || needed > free_bytes(open_.sector))) return false;

  if (end > data.size()) data.resize(end, 0xFF);
  std::copy(bytes.begin(), bytes.end(), data.begin() + offset);
  return true;
}

// A written file becomes live even when no block arrived (an empty file then needs room for
// its record, and the close fails without it).
FlashCloseResult FlashFileSystem::close() {
  OpenFile done = std::exchange(open_, OpenFile{});
  switch (done.mode) {
    case OpenMode::None:
      return FlashCloseResult{kFailed, 0, 0};
    case OpenMode::Read:
      return FlashCloseResult{kOpened, sum16(0, done.data), 0};
    case OpenMode::Write:
      break;
  }
  Sector* s = sector_at(done.sector);
  if (done.data.empty() && (full_ || free_bytes(done.sector) < kRecordBytes))
    return FlashCloseResult{kFailed, done.sum, done.blocks};
  commit(*s, std::move(done.name), std::move(done.data));
  return FlashCloseResult{kOpened, done.sum, done.blocks};
}

// A file being written is not part of the image.
std::vector<std::uint8_t> FlashFileSystem::save() const {
  std::vector<std::uint8_t> out(kImageMagic.begin(), kImageMagic.end());
  out.push_back(kImageVersion);
  for (const Sector& s : sectors_) {
    put_u32(out, s.recoverable);
    put_u16(out, static_cast<std::uint16_t>(s.files.size()));
    for (const File& f : s.files) {
      out.push_back(static_cast<std::uint8_t>(f.name.size()));
      out.insert(out.end(), f.name.begin(), f.name.end());
      put_u32(out, static_cast<std::uint32_t>(f.data.size()));
      out.insert(out.end(), f.data.begin(), f.data.end());
    }
  }
  put_u32(out, fnv1a(out));
  return out;
}

// Builds the sectors aside and swaps them in only when the whole image checks out; a loaded
// flash has nothing open and no find in progress.
bool FlashFileSystem::load(std::span<const std::uint8_t> bytes) {
  constexpr std::size_t kHashBytes = 4;
  if (bytes.size() < kImageMagic.size() + 1 + kHashBytes) return false;
  const auto body = bytes.first(bytes.size() - kHashBytes);
  ImageReader hash(bytes.last(kHashBytes));
  if (hash.take_le(kHashBytes) != fnv1a(body)) return false;

  ImageReader in(body);
  auto magic = in.take(kImageMagic.size());
  if (!magic || !std::equal(magic->begin(), magic->end(), kImageMagic.begin())) return false;
  if (in.take_le(1) != kImageVersion) return false;

  std::array<Sector, kFlashSectors> sectors;
  std::uint64_t serial = next_serial_;
  for (Sector& s : sectors) {
    auto recoverable = in.take_le(4);
    auto count = in.take_le(2);
    if (!recoverable || !count) return false;
    std::uint64_t total = std::uint64_t{kSectorHeaderBytes} + *recoverable;
    for (std::uint32_t i = 0; i < *count; ++i) {
      auto name_size = in.take_le(1);
      if (!name_size) return false;
      auto name = in.take(*name_size);
      if (!name) return false;
      std::string text(name->begin(), name->end());
      auto size = in.take_le(4);
      if (!size || *size > kSectorBytes) return false;
      auto data = in.take(*size);
      if (!data || !valid_name(text)) return false;
      const bool duplicate = std::any_of(s.files.begin(), s.files.end(),
                                         [&](const File& f) { return f.name == text; });
      if (duplicate) return false;
      total += kRecordBytes + *size;
      if (total > kSectorBytes) return false;
      s.files.push_back(File{std::move(text), {data->begin(), data->end()}, serial++});
    }
    if (total > kSectorBytes) return false;
    s.recoverable = *recoverable;
  }
  if (!in.done()) return false;

  sectors_ = std::move(sectors);
  next_serial_ = serial;
  open_ = OpenFile{};
  cursor_ = FindCursor{};
  return true;
}

}  // namespace qm::sim
