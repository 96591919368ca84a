#include "sim/flash_fs.h"

#include <gtest/gtest.h>

#include <array>
#include <numeric>

namespace qm::sim {
namespace {

std::vector<std::uint8_t> bytes_of(std::size_t n) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i)
    v[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return v;
}

// Writes data the way the program does: 32-byte blocks, then close.
FlashCloseResult write_file(FlashFileSystem& fs, int sector, const std::string& name,
                            const std::vector<std::uint8_t>& data) {
  EXPECT_EQ(fs.open(1, sector, name), 1);
  for (std::size_t at = 0; at < data.size(); at += kMaxFlashBlock) {
    const std::size_t n = std::min(kMaxFlashBlock, data.size() - at);
    EXPECT_TRUE(fs.write_block(static_cast<std::uint16_t>(at), std::span(data).subspan(at, n)));
  }
  return fs.close();
}

// Free, used and recoverable, for comparing in one go.
std::array<std::uint32_t, 3> space_of(const FlashFileSystem& fs, int sector) {
  const FlashSpace s = fs.space(sector);
  return {s.free, s.used, s.recoverable};
}

void expect_space(const FlashFileSystem& fs, int sector, std::uint32_t free, std::uint32_t used,
                  std::uint32_t recoverable) {
  EXPECT_EQ(space_of(fs, sector), (std::array<std::uint32_t, 3>{free, used, recoverable}));
}

TEST(FlashFs, Space_WriteDeleteReplaceCompact_ExactNumbers) {
  FlashFileSystem fs;
  expect_space(fs, 3, 65520, 16, 0);

  write_file(fs, 3, "A.SFB", bytes_of(100));
  expect_space(fs, 3, 65404, 132, 0);

  // The old file keeps its space until the new one is committed.
  ASSERT_EQ(fs.open(1, 3, "A.SFB"), 1);
  ASSERT_TRUE(fs.write_block(0, bytes_of(10)));
  expect_space(fs, 3, 65378, 158, 0);
  ASSERT_EQ(fs.file(3, "A.SFB")->size(), 100u);
  fs.close();
  expect_space(fs, 3, 65378, 42, 116);

  ASSERT_TRUE(fs.put_file(3, "B.SFB", bytes_of(50)));
  EXPECT_TRUE(fs.remove(3, "A.SFB"));
  EXPECT_FALSE(fs.remove(3, "A.SFB"));
  expect_space(fs, 3, 65312, 82, 142);

  fs.compact(3);
  expect_space(fs, 3, 65520 - 66, 82, 0);
  expect_space(fs, 2, 65520, 16, 0);  // other sectors untouched
}

TEST(FlashFs, Close_ChecksumAndBlocks_AtBlockBoundaries) {
  for (std::size_t size : {0u, 1u, 31u, 32u, 33u, 1000u}) {
    SCOPED_TRACE(size);
    FlashFileSystem fs;
    const auto data = bytes_of(size);
    const FlashCloseResult r = write_file(fs, 5, "F.BIN", data);
    const unsigned sum = std::accumulate(data.begin(), data.end(), 0u) & 0xFFFF;
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.checksum, sum);
    EXPECT_EQ(r.blocks, (size + 31) / 32);
    ASSERT_NE(fs.file(5, "F.BIN"), nullptr);
    EXPECT_EQ(*fs.file(5, "F.BIN"), data);
    EXPECT_EQ(fs.space(5).used, 16 + 16 + size);
  }
}

TEST(FlashFs, Close_SumsBlocksReceivedNotFileContent) {
  FlashFileSystem fs;
  ASSERT_EQ(fs.open(1, 5, "G"), 1);
  const std::vector<std::uint8_t> ab = {0x10, 0x20};
  ASSERT_TRUE(fs.write_block(4, ab));  // gap of erased flash before it
  ASSERT_TRUE(fs.write_block(4, ab));  // overwrite keeps the size
  const FlashCloseResult r = fs.close();
  EXPECT_EQ(r.checksum, 0x60);
  EXPECT_EQ(r.blocks, 2);
  EXPECT_EQ(*fs.file(5, "G"), (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0x10, 0x20}));

  // A read close sums the file itself.
  ASSERT_EQ(fs.open(0, 5, "G"), 1);
  EXPECT_EQ(fs.close().checksum, 4 * 0xFF + 0x30);
  EXPECT_EQ(fs.close().status, 0);  // nothing open any more
}

TEST(FlashFs, Open_RefusesBadRequests_SecondOpenCommitsFirst) {
  FlashFileSystem fs;
  EXPECT_EQ(fs.open(1, 0, "A"), 0);
  EXPECT_EQ(fs.open(1, 6, "A"), 0);
  EXPECT_EQ(fs.open(1, 3, ""), 0);
  EXPECT_EQ(fs.open(1, 3, "THIRTEEN.CHR"), 1);
  EXPECT_EQ(fs.open(1, 3, "THIRTEEN.CHRS"), 0);
  EXPECT_EQ(fs.open(0, 3, "MISSING"), 0);
  // The failed opens above closed the 12-character one, which is now an empty file.
  ASSERT_NE(fs.file(3, "THIRTEEN.CHR"), nullptr);
  EXPECT_TRUE(fs.file(3, "THIRTEEN.CHR")->empty());

  ASSERT_EQ(fs.open(1, 3, "W"), 1);
  ASSERT_TRUE(fs.write_block(0, bytes_of(3)));
  EXPECT_EQ(fs.open(0, 3, "W"), 1);
  EXPECT_EQ(fs.read_block(32, 0), bytes_of(3));
  EXPECT_FALSE(fs.write_block(0, bytes_of(1)));  // open for reading, not writing
}

TEST(FlashFs, ReadBlock_LimitsAndPastEnd) {
  FlashFileSystem fs;
  ASSERT_TRUE(fs.put_file(2, "R.TXT", bytes_of(40)));
  EXPECT_FALSE(fs.read_block(32, 0));  // nothing open
  ASSERT_EQ(fs.open(0, 2, "R.TXT"), 1);
  EXPECT_FALSE(fs.read_block(0, 0));
  EXPECT_FALSE(fs.read_block(33, 0));
  const auto data = bytes_of(40);
  EXPECT_EQ(fs.read_block(32, 32), std::vector<std::uint8_t>(data.begin() + 32, data.end()));
  auto at_end = fs.read_block(32, 40);
  ASSERT_TRUE(at_end);
  EXPECT_TRUE(at_end->empty());
  EXPECT_TRUE(fs.read_block(1, 65535)->empty());
}

TEST(FlashFs, Find_PatternsAndIteration) {
  FlashFileSystem fs;
  EXPECT_FALSE(fs.find_first(4, "*"));  // empty sector
  EXPECT_FALSE(fs.find_next(4, "*"));

  for (const char* name : {"SEQ1.SFB", "SEQ2.SFB", "a.sfb", "A.SFBX", "A.SFB", "SEQ10.SFB"})
    ASSERT_TRUE(fs.put_file(3, name, bytes_of(2)));

  std::vector<std::string> all;
  for (auto e = fs.find_first(3, "*"); e; e = fs.find_next(3, "*"))
    all.push_back(e->name);
  EXPECT_EQ(all, (std::vector<std::string>{"SEQ1.SFB", "SEQ2.SFB", "a.sfb", "A.SFBX", "A.SFB",
                                           "SEQ10.SFB"}));
  EXPECT_FALSE(fs.find_next(3, "*"));  // stays exhausted

  EXPECT_EQ(fs.find_first(3, "A.SFB")->name, "A.SFB");  // exact and case-sensitive
  EXPECT_FALSE(fs.find_next(3, "A.SFB"));
  EXPECT_EQ(fs.find_first(3, "SEQ?.SFB")->name, "SEQ1.SFB");
  EXPECT_EQ(fs.find_next(3, "SEQ?.SFB")->name, "SEQ2.SFB");
  EXPECT_FALSE(fs.find_next(3, "SEQ?.SFB"));
  EXPECT_EQ(fs.find_first(3, "*X")->name, "A.SFBX");
  EXPECT_EQ(fs.find_first(3, "S*1*")->name, "SEQ1.SFB");
  EXPECT_EQ(fs.find_next(3, "S*1*")->name, "SEQ10.SFB");
  EXPECT_FALSE(fs.find_first(3, "?"));

  // The cursor belongs to one sector; a replaced file moves to the end of the listing.
  EXPECT_TRUE(fs.find_first(3, "*"));
  EXPECT_FALSE(fs.find_next(2, "*"));
  ASSERT_TRUE(fs.put_file(3, "SEQ1.SFB", bytes_of(5)));
  EXPECT_EQ(fs.list(3).back().name, "SEQ1.SFB");
  EXPECT_EQ(fs.list(3).back().size, 5u);
}

TEST(FlashFs, Rename_SameSectorOnly_NoClobber) {
  FlashFileSystem fs;
  ASSERT_TRUE(fs.put_file(5, "OLD", bytes_of(4)));
  ASSERT_TRUE(fs.put_file(5, "OTHER", bytes_of(4)));
  EXPECT_FALSE(fs.rename(5, "OLD", 4, "NEW"));
  EXPECT_FALSE(fs.rename(5, "OLD", 5, "OTHER"));
  EXPECT_FALSE(fs.rename(5, "OLD", 5, "THIRTEEN.CHRS"));
  EXPECT_TRUE(fs.rename(5, "OLD", 5, "NEW"));
  EXPECT_EQ(fs.list(5).front().name, "NEW");  // keeps its place
  EXPECT_EQ(fs.file(5, "OLD"), nullptr);
}

TEST(FlashFs, FullFlash_RefusesWritesThatNeedSpace) {
  FlashFileSystem fs;
  // Leave exactly 48 bytes free: room for a record and 32 bytes.
  ASSERT_TRUE(fs.put_file(4, "BIG", bytes_of(65520 - 16 - 48)));
  EXPECT_FALSE(fs.put_file(4, "X", bytes_of(33)));
  ASSERT_EQ(fs.open(1, 4, "F"), 1);
  EXPECT_TRUE(fs.write_block(0, bytes_of(32)));
  EXPECT_EQ(fs.space(4).free, 0u);
  EXPECT_FALSE(fs.write_block(32, bytes_of(1)));
  EXPECT_TRUE(fs.write_block(0, bytes_of(32)));  // overwriting needs no space
  EXPECT_EQ(fs.close().blocks, 3);

  FlashFileSystem other;
  other.set_full(true);
  EXPECT_FALSE(other.put_file(5, "X", bytes_of(1)));
  ASSERT_EQ(other.open(1, 5, "X"), 1);
  EXPECT_FALSE(other.write_block(0, bytes_of(1)));
  const FlashCloseResult r = other.close();
  EXPECT_EQ(r.status, 0);  // not even the empty file's record fits
  EXPECT_EQ(r.blocks, 1);
  EXPECT_TRUE(other.list(5).empty());
  other.set_full(false);
  EXPECT_TRUE(other.put_file(5, "X", bytes_of(1)));
}

TEST(FlashFs, SaveLoad_RoundTripAndRejectsDamage) {
  FlashFileSystem fs;
  ASSERT_TRUE(fs.put_file(1, "SYSTEM.COM", bytes_of(3000)));
  ASSERT_TRUE(fs.put_file(2, "$START.SFB", {}));
  ASSERT_TRUE(fs.put_file(3, "A.SFB", bytes_of(10)));
  ASSERT_TRUE(fs.put_file(3, "B.SFB", bytes_of(20)));
  ASSERT_TRUE(fs.remove(3, "A.SFB"));
  const auto image = fs.save();

  FlashFileSystem copy;
  ASSERT_TRUE(copy.load(image));
  EXPECT_EQ(copy.save(), image);
  for (int sector = 1; sector <= kFlashSectors; ++sector)
    EXPECT_EQ(space_of(copy, sector), space_of(fs, sector));
  EXPECT_EQ(*copy.file(1, "SYSTEM.COM"), bytes_of(3000));

  FlashFileSystem target;
  ASSERT_TRUE(target.put_file(5, "KEEP", bytes_of(1)));
  const auto before = target.save();
  auto flipped = image;
  flipped[image.size() / 2] ^= 0x01;
  EXPECT_FALSE(target.load(flipped));
  EXPECT_FALSE(target.load(std::span(image).first(image.size() - 1)));
  EXPECT_FALSE(target.load({}));
  EXPECT_EQ(target.save(), before);
}

}  // namespace
}  // namespace qm::sim
