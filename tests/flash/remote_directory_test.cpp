#include "flash/remote_directory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/wall_rig.h"

namespace qm {
namespace {

constexpr int kTab1 = 0, kTab2 = 1, kTab3 = 2, kTab5 = 4;

// The buttons a mask enables, by name, in button order.
std::string enabled(unsigned mask) {
  static const char* const names[] = {"Run",  "Stop", "Delete",  "Rename",  "Upload",
                                      "Down", "Edit", "Restore", "Initial", "Map"};
  std::string out;
  for (int b = 0; b < kDirectoryButtonCount; ++b)
    if (button_enabled(mask, static_cast<DirectoryButton>(b)))
      out += std::string(out.empty() ? "" : " ") + names[b];
  return out;
}

TEST(RemoteDirectoryButtons, EachKindOfName_EnablesItsButtons) {
  const struct {
    const char* name;
    int tab;
    unsigned mask;
    const char* buttons;
  } cases[] = {
      // The opening state, an emptied name field, a cancelled selection.
      {"", kOpeningTab, 162, "Stop Down Restore"},
      {"SEQ.SFB", kTab3, 959, "Run Stop Delete Rename Upload Down Restore Initial Map"},
      {"seq.sfb", kTab3, 959, "Run Stop Delete Rename Upload Down Restore Initial Map"},
      {"SEQ.SFB", kTab5, 447, "Run Stop Delete Rename Upload Down Restore Initial"},
      {"$START.SFB", kTab2, 447, "Run Stop Delete Rename Upload Down Restore Initial"},
      {"$IRMAP.TXT", kTab2, 254, "Stop Delete Rename Upload Down Edit Restore"},
      {"$LOG", kTab5, 254, "Stop Delete Rename Upload Down Edit Restore"},
      {"ALIGN.CFG", kTab2, 190, "Stop Delete Rename Upload Down Restore"},
      {"NOTES.TXT", kTab5, 190, "Stop Delete Rename Upload Down Restore"},
      {"SFB", kTab3, 190, "Stop Delete Rename Upload Down Restore"},  // no extension
      {"A.SFB.TXT", kTab3, 190, "Stop Delete Rename Upload Down Restore"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(buttons_for_name(c.name, c.tab), c.mask) << c.name << " on tab " << c.tab;
    EXPECT_EQ(enabled(c.mask), c.buttons) << c.name;
  }
  EXPECT_EQ(kOpeningTab, kTab3);
}

TEST(RemoteDirectoryProtection, SectorOne_RefusesOnlyTheWritingActions) {
  using A = DirectoryAction;
  const A writing[] = {A::kDelete, A::kRename, A::kDownload, A::kEdit, A::kDrop};
  const A others[] = {A::kRun, A::kStop, A::kUpload, A::kRestore, A::kInitialSequence, A::kMap};
  ProgramOptions off, on;
  on.flash_sector1 = true;
  EXPECT_FALSE(sector_write_allowed(kTab1, off));
  EXPECT_TRUE(sector_write_allowed(kTab1, on));
  for (int tab = kTab2; tab <= kTab5; ++tab)
    EXPECT_TRUE(sector_write_allowed(tab, off)) << tab;
  for (A a : writing) {
    EXPECT_FALSE(action_allowed(a, kTab1, off)) << static_cast<int>(a);
    EXPECT_TRUE(action_allowed(a, kTab1, on)) << static_cast<int>(a);
    EXPECT_TRUE(action_allowed(a, kTab2, off)) << static_cast<int>(a);
  }
  for (A a : others)
    EXPECT_TRUE(action_allowed(a, kTab1, off)) << static_cast<int>(a);
}

TEST(RemoteDirectoryDoubleClick, DependsOnTheKindOfName) {
  const struct {
    const char* name;
    DoubleClick action;
  } cases[] = {
      {"SHOW.SFB", DoubleClick::kRun},
      {"$START.SFB", DoubleClick::kRun},
      {"DGTSER.CFG", DoubleClick::kNothing},
      {"$X.CFG", DoubleClick::kNothing},
      {"SYSTEM.COM", DoubleClick::kNothing},
      {"LOGO.BMP", DoubleClick::kNothing},
      {"BIG.FNT", DoubleClick::kNothing},
      {"$LOG.TXT", DoubleClick::kUploadAndSave},
      {"$IRMAP.TXT", DoubleClick::kUploadAndSave},
      {"NOTES.TXT", DoubleClick::kNothing},
      {"", DoubleClick::kNothing},
  };
  for (const auto& c : cases)
    EXPECT_EQ(double_click_action(c.name), c.action) << c.name;
}

TEST(RemoteDirectoryTexts, EntriesLabelsAndQuestions) {
  EXPECT_EQ(entry_name("SHOW.SFB\t1234 "), "SHOW.SFB");
  EXPECT_EQ(entry_name("NOTAB"), "NOTAB");
  EXPECT_EQ(space_label({1000, 60000, 4536}), "Free: 1000 \tUsed: 60000\tRecoverable: 4536 ");
  EXPECT_EQ(delete_question(3, "A.SFB"), "Delete Flash file: 3:A.SFB");
  // The list keeps itself sorted without regard to case.
  EXPECT_EQ(listing_entries({{5, "b.SFB"}, {70000 % 65536, "A.SFB"}, {12, "$START.SFB"}}),
            (std::vector<std::string>{"$START.SFB\t12   ", "A.SFB\t4464 ", "b.SFB\t5    "}));
  const FlashCopy copy = initial_sequence_copy(5, "SHOW.SFB");
  EXPECT_EQ(copy.sector, 5);
  EXPECT_EQ(copy.name, "SHOW.SFB");
  EXPECT_EQ(copy.target_sector, 2);
  EXPECT_EQ(copy.target_name, "$START.SFB");
}

// The requests of the buttons against a simulated unit.
class RemoteDirectory : public test::WallRig {
 protected:
  RemoteDirectory() { connect_serial(); }
  FlashFiles flash_{app_.link, 0};
};

TEST_F(RemoteDirectory, Listing_ShowsNameSpaceAndSortedFiles) {
  store(3, "ZED.SFB", test::Bytes(10, 1));
  store(3, "ALPHA.SFB", test::Bytes(300, 2));
  const auto listing = read_sector_listing(flash_, kTab3);
  ASSERT_TRUE(listing);
  EXPECT_EQ(listing->sector_name, "Sequence");
  EXPECT_EQ(listing->entries, (std::vector<std::string>{"ALPHA.SFB\t300  ", "ZED.SFB\t10   "}));
  EXPECT_EQ(listing->space.rfind("Free: ", 0), 0u) << listing->space;
}

TEST_F(RemoteDirectory, DeleteAndRename_SendOnlyWhatTheyShould) {
  store(4, "OLD.FNT", test::Bytes(40, 3));
  // A file the unit no longer has: the open finds nothing and no delete goes out.
  EXPECT_FALSE(delete_flash_file(flash_, 4, "GONE.FNT"));
  EXPECT_FALSE(rename_flash_file(flash_, 4, "OLD.FNT", ""));
  EXPECT_TRUE(rename_flash_file(flash_, 4, "OLD.FNT", "NEW.FNT"));
  EXPECT_TRUE(delete_flash_file(flash_, 4, "NEW.FNT"));
  // Neither has a reply: the unit may still be taking the delete when the call returns.
  std::vector<std::string> writes;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (;;) {
    writes.clear();
    for (const auto& m : sent_to_units())
      if (m.rfind("07 00 42", 0) == 0 || m.rfind("07 00 46", 0) == 0) writes.push_back(m);
    const bool taken = writes.size() == 2 && !stored(4, "NEW.FNT");
    if (taken || std::chrono::steady_clock::now() >= deadline) break;
    wall_.wait_transcript(wall_.transcript().size() + 1, 50);
  }
  EXPECT_FALSE(stored(4, "OLD.FNT"));
  EXPECT_FALSE(stored(4, "NEW.FNT"));
  EXPECT_EQ(writes, (std::vector<std::string>{
                        "07 00 46 04 4F 4C 44 2E 46 4E 54 00 04 4E 45 57 2E 46 4E 54 00",
                        "07 00 42 04 4E 45 57 2E 46 4E 54 00"}));
}

}  // namespace
}  // namespace qm
