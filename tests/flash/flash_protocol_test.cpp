#include "flash/flash_protocol.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "link/function_codes.h"
#include "support/far_side.h"
#include "support/link_rig.h"

namespace qm {
namespace {

using test::Bytes;
using test::hex;

// Unit 0 on a pseudo-terminal that answers each flash request with the data its function
// code is given in replies_ (nothing given: a reply without data).
class FlashProtocol : public test::LinkRig {
 protected:
  FlashProtocol()
      : unit_(pty_, test::polite_unit(0, [this](const UnitFrame& request) {
                std::lock_guard lock(mutex_);
                auto& queue = replies_[request.function()];
                if (queue.empty()) return Bytes{};
                Bytes data = queue.front();
                if (queue.size() > 1) queue.erase(queue.begin());
                return data;
              })) {
    open_serial(pty_);
  }

  // Answers to `function`, in turn; the last one stays.
  void answer(std::uint8_t function, std::vector<Bytes> data) {
    std::lock_guard lock(mutex_);
    replies_[function] = std::move(data);
  }

  // The requests other than polls the unit received, as hex message bytes.
  std::vector<std::string> requests() const {
    std::vector<std::string> out;
    for (const UnitFrame& f : unit_.frames())
      if (!(f.type() & kTypePoll))
        out.push_back(test::to_hex(Bytes(f.message.begin(), f.message.begin() + f.count)));
    return out;
  }

  // The requests once at least n have come (a request without a reply may still be on its
  // way), or after 2 s.
  std::vector<std::string> wait_requests(std::size_t n) const {
    for (int i = 0; i < 20 && requests().size() < n; ++i)
      unit_.wait_frames(unit_.frames().size() + 1, 100);
    return requests();
  }

  test::PtyPair pty_;
  std::mutex mutex_;
  std::map<std::uint8_t, std::vector<Bytes>> replies_;
  test::ScriptedUnit unit_;
  FlashFiles flash_{link_, 0};
};

TEST_F(FlashProtocol, EveryOperation_SendsItsExactRequest) {
  answer(kFnOpen, {hex("01")});
  answer(kFnRun, {hex("01")});
  answer(kFnSectorStatus, {hex("00 E8 03 60 EA")});
  answer(kFnClose, {hex("01 34 12 02 00")});
  answer(kFnWriteBlock, {hex("01")});
  answer(kFnReadBlock, {hex("01 20 01 AA BB")});
  std::uint8_t block[2] = {};

  const struct {
    const char* what;
    std::function<void()> call;
    std::vector<std::string> sent;
  } cases[] = {
      {"find first", [&] { flash_.flash_find_first(3, "*"); }, {"07 00 3C 03 2A 00"}},
      {"find next", [&] { flash_.flash_find_next(5, "A.SFB"); }, {"07 00 3D 05 41 2E 53 46 42 00"}},
      {"open",
       [&] { flash_.flash_open(3, "SEQ1.SFB", kFlashOpenWrite); },
       {"07 00 3E 01 03 53 45 51 31 2E 53 46 42 00"}},
      {"read block", [&] { flash_.flash_read_block(2, 0x0120, block); }, {"07 00 3F 02 20 01"}},
      {"write block",
       [&] { flash_.flash_write_block(0x0102, hex("7E 00 FF")); },
       {"07 00 40 02 01 7E 00 FF"}},
      {"close", [&] { flash_.flash_close(); }, {"07 00 41"}},
      {"delete",
       [&] { flash_.flash_delete(2, "$START.SFB"); },
       {"07 00 42 02 24 53 54 41 52 54 2E 53 46 42 00"}},
      {"sector status", [&] { flash_.flash_sector_status(4); }, {"07 00 44 04"}},
      {"compact", [&] { flash_.flash_compact(3); }, {"07 00 45 03"}},
      {"rename",
       [&] { flash_.flash_rename(3, "A.SFB", 3, "BB.SFB"); },
       {"07 00 46 03 41 2E 53 46 42 00 03 42 42 2E 53 46 42 00"}},
      {"run",
       [&] { flash_.flash_run(3, "A.SFB"); },
       {"07 00 3E 00 03 41 2E 53 46 42 00", "07 00 4D 03 41 2E 53 46 42 00"}},
      {"stop", [&] { flash_.flash_stop(); }, {"07 00 4F"}},
  };
  std::size_t before = 0;
  for (const auto& c : cases) {
    c.call();
    const auto all = wait_requests(before + c.sent.size());
    ASSERT_GE(all.size(), before + c.sent.size()) << c.what;
    EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(before), all.end()), c.sent)
        << c.what;
    before = all.size();
  }
}

TEST_F(FlashProtocol, Replies_AreReadFieldByField) {
  answer(kFnFindFirst, {hex("10 02 41 2E 53 46 42 00")});
  answer(kFnSectorStatus, {hex("09 E8 03 60 EA"), hex("00 00 00 00 00")});
  answer(kFnClose, {hex("01 34 12 FF FF")});
  answer(kFnReadBlock, {hex("01 00 00 AA BB")});

  const auto entry = flash_.flash_find_first(3, "*");
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->size, 0x0210);
  EXPECT_EQ(entry->name, "A.SFB");

  const auto space = flash_.flash_sector_status(3);
  ASSERT_TRUE(space);
  EXPECT_EQ(space->free, 1000);
  EXPECT_EQ(space->used, 60000);
  EXPECT_EQ(space->recoverable, 4536);
  const auto empty = flash_.flash_sector_status(3);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->recoverable, 0);

  const auto closed = flash_.flash_close();
  ASSERT_TRUE(closed);
  EXPECT_EQ(closed->status, 1);
  EXPECT_EQ(closed->checksum, 0x1234);
  EXPECT_EQ(closed->blocks, -1);  // the count is compared as a signed 16-bit number

  std::uint8_t block[2] = {};
  EXPECT_EQ(flash_.flash_read_block(2, 0, block), 2);
  EXPECT_EQ(block[0], 0xAA);
  EXPECT_EQ(block[1], 0xBB);
}

TEST_F(FlashProtocol, LongName_IsSentCutToTwelveCharacters) {
  std::vector<std::uint8_t> out;
  EXPECT_EQ(copy_flash_name("ABCDEFGHIJKLM", out), 12u);
  EXPECT_EQ(test::to_hex(out), "41 42 43 44 45 46 47 48 49 4A 4B 4C 00");
  flash_.flash_find_first(3, "ABCDEFGHIJKLM");
  flash_.flash_open(3, "ABCDEFGHIJKLM", kFlashOpenRead);
  EXPECT_EQ(requests(),
            (std::vector<std::string>{"07 00 3C 03 41 42 43 44 45 46 47 48 49 4A 4B 4C 00",
                                      "07 00 3E 00 03 41 42 43 44 45 46 47 48 49 4A 4B 4C 00"}));
}

TEST_F(FlashProtocol, Listing_EndsAtNoEntryOrAnEmptyName) {
  answer(kFnFindFirst, {hex("00 00")});  // two data bytes: no entry
  EXPECT_TRUE(flash_.flash_list(3).empty());
  answer(kFnFindFirst, {hex("00 00 00")});  // an entry without a name
  EXPECT_TRUE(flash_.flash_list(3).empty());

  answer(kFnFindFirst, {hex("05 00 41 00")});
  answer(kFnFindNext, {hex("06 00 42 00"), hex("00 00 00")});
  const auto files = flash_.flash_list(3);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].name, "A");
  EXPECT_EQ(files[1].size, 6);
  EXPECT_EQ(requests().back(), "07 00 3D 03 2A 00");
}

TEST_F(FlashProtocol, Exists_ComparesTheReturnedNameExactly) {
  const struct {
    const char* reply;
    bool exists;
  } cases[] = {
      {"05 00 41 2E 53 46 42 00", true},      // A.SFB
      {"05 00 41 2E 53 46 42 58 00", false},  // A.SFBX
      {"05 00 61 2E 73 66 62 00", false},     // a.sfb
      {"00 00", false},                       // none
  };
  for (const auto& c : cases) {
    answer(kFnFindFirst, {hex(c.reply)});
    EXPECT_EQ(flash_.flash_file_exists(3, "A.SFB"), c.exists) << c.reply;
  }
}

TEST_F(FlashProtocol, StartFile_CountsOnlyWhenNotEmpty) {
  answer(kFnFindFirst, {hex("00 00 24 53 54 41 52 54 2E 53 46 42 00")});
  EXPECT_FALSE(flash_.start_file_exists());
  answer(kFnFindFirst, {hex("01 00 24 53 54 41 52 54 2E 53 46 42 00")});
  EXPECT_TRUE(flash_.start_file_exists());
  EXPECT_EQ(requests().back(), "07 00 3C 02 24 53 54 41 52 54 2E 53 46 42 00");
}

TEST_F(FlashProtocol, WriteBlock_OfAWrongSize_IsRefusedUnsent) {
  const Bytes big(33, 0x55);
  EXPECT_EQ(flash_.flash_write_block(0, big), -1);
  EXPECT_EQ(flash_.flash_write_block(0, {}), -1);
  answer(kFnWriteBlock, {hex("00")});
  EXPECT_EQ(flash_.flash_write_block(0, Bytes(32, 1)), -1);  // refused by the unit
  answer(kFnWriteBlock, {hex("01")});
  EXPECT_EQ(flash_.flash_write_block(0, Bytes(32, 1)), 32);
  EXPECT_EQ(requests().size(), 2u);
}

// A block reply without the bytes asked for (a status alone, or fewer bytes) or with a bad
// status is tried three times, with polls after each, and then fails: taking it as read
// would leave a hole in the file.
TEST_F(FlashProtocol, ReadBlock_ShortOrRefused_IsTriedThreeTimesThenFails) {
  for (const char* bad : {"01", "01 00 00", "01 00 00 AA", "00 00 00 AA BB"}) {
    const std::size_t before = requests().size();
    answer(kFnReadBlock, {hex(bad)});
    std::uint8_t block[2] = {0x11, 0x22};
    EXPECT_EQ(flash_.flash_read_block(2, 0, block), -1) << bad;
    EXPECT_EQ(block[0], 0x11) << bad;
    EXPECT_EQ(requests().size() - before, 3u) << bad;
  }
  answer(kFnReadBlock, {hex("00 00 00 AA BB"), hex("01 00 00 AA BB")});
  std::uint8_t block[2] = {};
  EXPECT_EQ(flash_.flash_read_block(2, 0, block), 2);
}

TEST_F(FlashProtocol, SectorStatus_IsAskedUpToThreeTimes) {
  answer(kFnSectorStatus, {hex(""), hex("00"), hex("00 64 00 E8 FD")});
  const auto space = flash_.flash_sector_status(3);
  ASSERT_TRUE(space);
  EXPECT_EQ(space->free, 100);
  EXPECT_EQ(space->used, 65000);
  EXPECT_EQ(space->recoverable, 436);
  EXPECT_EQ(requests().size(), 3u);

  answer(kFnSectorStatus, {hex("")});
  EXPECT_FALSE(flash_.flash_sector_status(3));
  EXPECT_EQ(requests().size(), 6u);
}

TEST_F(FlashProtocol, Run_OfAMissingFile_SendsNoRunRequest) {
  answer(kFnOpen, {hex("00")});
  EXPECT_EQ(flash_.flash_run(3, "NONE.SFB"), 0);
  EXPECT_EQ(requests(), (std::vector<std::string>{"07 00 3E 00 03 4E 4F 4E 45 2E 53 46 42 00"}));
}

}  // namespace
}  // namespace qm
