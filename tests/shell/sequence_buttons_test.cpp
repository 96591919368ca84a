// The buttons panel's model: the project file read and written byte for byte, the click rules
// of each action mode with the mode that follows, the views, and cut and paste.
#include "shell/sequence_buttons.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/paths.h"
#include "shell/project.h"
#include "support/temp_folder.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

TEST(ProjectFile, LinesGiveLegendAndFileWithQuotesProtectingCommas) {
  EXPECT_EQ(parse_project_line("Intro,intro.seq"), (SequenceButton{"Intro", "intro.seq"}));
  EXPECT_EQ(parse_project_line("\"Act 1, Scene 2\",\"c:\\shows\\act1.seq\""),
            (SequenceButton{"Act 1, Scene 2", "c:\\shows\\act1.seq"}));
  EXPECT_EQ(parse_project_line(",,Lead,a.seq,rest"), (SequenceButton{"Lead", "a.seq"}));
  EXPECT_EQ(parse_project_line("Only a legend"), SequenceButton{});
  EXPECT_EQ(parse_project_line(""), SequenceButton{});
  EXPECT_EQ(parse_project_line("\"Legend\",\"\""), (SequenceButton{"Legend", std::nullopt}));
  EXPECT_EQ(parse_project_line("\"R&D \xC1\",x.seq"), (SequenceButton{"R&D A", "x.seq"}));
}

TEST(ProjectFile, RoundTripKeepsEveryButtonInItsSlot) {
  ButtonTable table;
  table[slot_index(2, 5)] = {"Act 1, Scene 2", "c:\\a b\\act1.seq"};
  table[slot_index(0, 0)] = {"R&D", std::nullopt};
  table[slot_index(9, 27)] = {std::string(150, 'L'), std::string(150, 'f') + ".seq"};
  const std::string text = project_text(table);
  // 280 lines, CR LF each.
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 280);
  EXPECT_EQ(text.substr(0, 12), "\"R&D\",\"\"\r\n\r\n");
  EXPECT_EQ(parse_project(text), table);
  // LF line ends read the same; the 300-character line stays one slot.
  std::string lf = text;
  for (std::size_t at; (at = lf.find("\r\n")) != std::string::npos;)
    lf.erase(at, 1);
  EXPECT_EQ(parse_project(lf), table);
  // Lines beyond 280 are ignored; the 29th line is page 2's first slot.
  std::string long_text(28, '\n');
  long_text += "Second,page.seq\n";
  long_text += std::string(300, '\n') + "Beyond,x.seq\n";
  const ButtonTable read = parse_project(long_text);
  EXPECT_EQ(read[slot_index(1, 0)], (SequenceButton{"Second", "page.seq"}));
  for (int i = 29; i < kButtonSlots; ++i)
    EXPECT_FALSE(read[static_cast<std::size_t>(i)].in_use());
}

TEST(ProjectFile, OneButtonOnPageThreeSlotFiveWritesItsLineBetweenEmptyOnes) {
  ButtonTable table;
  table[slot_index(2, 5)] = {"Show", "show.seq"};
  std::string expected;
  for (int i = 0; i < 61; ++i)
    expected += "\r\n";
  expected += "\"Show\",\"show.seq\"\r\n";
  for (int i = 0; i < 218; ++i)
    expected += "\r\n";
  EXPECT_EQ(project_text(table), expected);
}

TEST(ProjectFile, SaveFailureNamesTheFileAndKeepsTheOldProject) {
  test::TempFolder folder("project");
  const fs::path path = folder / "show.efx";
  ButtonTable table;
  table[0] = {"Old", "old.seq"};
  ASSERT_FALSE(save_project_file(path, table));
  std::string error;
  const auto loaded = load_project_file(path, error);
  ASSERT_TRUE(loaded);
  EXPECT_EQ((*loaded)[0], (SequenceButton{"Old", "old.seq"}));

  // A project in a folder that is not there: the reason is told, nothing is lost.
  const fs::path nowhere = folder / "missing" / "show.efx";
  const auto failed = save_project_file(nowhere, table);
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->rfind("Can't save the project " + nowhere.string() + ": ", 0), 0u);
  // A missing project is made, empty.
  const fs::path fresh = folder / "new.efx";
  const auto empty = load_project_file(fresh, error);
  ASSERT_TRUE(empty);
  EXPECT_TRUE(fs::exists(fresh));
  EXPECT_FALSE((*empty)[0].in_use());
}

TEST(ProjectFile, CheckTakesLongLinesWhole) {
  test::TempFolder folder("check");
  const fs::path path = folder / "long.efx";
  std::ofstream(path) << "\"" << std::string(140, 'L') << "\",\"" << std::string(200, 'p')
                      << ".seq\"\r\n\r\n";
  EXPECT_TRUE(check_project_file(path));
  std::ofstream(path) << "\"Legend only\",\"\"\r\n";
  EXPECT_FALSE(check_project_file(path));
}

TEST(ButtonModes, ClicksActByModeAndTheModeThatFollows) {
  SequenceButtons b;
  b.at(0) = {"With file", "a.seq"};
  b.at(1) = {"No file", std::nullopt};
  EXPECT_EQ(b.click(0), ClickAction::kRunFile);
  EXPECT_EQ(b.click(1), ClickAction::kNoFile);
  EXPECT_EQ(b.no_file_title(), " Run");
  EXPECT_EQ(b.click(5), ClickAction::kNothing);  // an empty slot in the normal view
  b.mode = ActionMode::kInstall;
  EXPECT_EQ(b.click(1), ClickAction::kNoFile);
  EXPECT_EQ(b.no_file_title(), " Install");
  b.mode = ActionMode::kNew;
  EXPECT_EQ(b.click(0), ClickAction::kNothing);  // used slots are not offered
  EXPECT_EQ(b.click(5), ClickAction::kAskNew);

  // Cut then paste onto another page.
  b.mode = ActionMode::kCut;
  EXPECT_EQ(b.click(0), ClickAction::kDone);
  EXPECT_FALSE(b.at(0).in_use());
  EXPECT_EQ(b.mode, ActionMode::kPaste);
  EXPECT_TRUE(b.modified);
  b.page = 4;
  EXPECT_EQ(b.click(7), ClickAction::kDone);
  EXPECT_EQ(b.at(7), (SequenceButton{"With file", "a.seq"}));
  EXPECT_EQ(b.mode, ActionMode::kRun);
}

TEST(ButtonModes, ViewsAndDialogResults) {
  const SequenceButton used{"R&D", "r.seq"};
  const SlotLook normal = slot_look(used, false);
  EXPECT_TRUE(normal.shown && normal.enabled && !normal.flat);
  EXPECT_EQ(normal.text, "R&&D");
  const SlotLook used_spare = slot_look(used, true);
  EXPECT_FALSE(used_spare.enabled);
  EXPECT_EQ(used_spare.text, "R&D");
  const SlotLook spare = slot_look({}, true);
  EXPECT_TRUE(spare.shown && spare.enabled && spare.flat);
  EXPECT_EQ(spare.text, "Spare");
  EXPECT_FALSE(slot_look({}, false).shown);

  SequenceButtons b;
  b.add_button(3, "", "x.seq");  // an empty legend changes nothing
  EXPECT_FALSE(b.at(3).in_use());
  b.add_button(3, "Intro", "shows/intro");
  EXPECT_EQ(b.at(3), (SequenceButton{"Intro", "shows/intro.seq"}));
  b.rename_button(3, "", "other.seq");
  EXPECT_EQ(b.at(3), (SequenceButton{"Intro", "other.seq"}));
  EXPECT_EQ(SequenceButtons::dropped_legend("/shows/Finale.SEQ"), "Finale");
  EXPECT_FALSE(SequenceButtons::dropped_legend("/shows/finale.sfb"));
  EXPECT_EQ(SequenceButtons::install_target("/shows/finale.seq"), fs::path("/shows/finale.SFB"));
}

}  // namespace
}  // namespace qm
