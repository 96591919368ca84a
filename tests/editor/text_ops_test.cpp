#include "editor/text_ops.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "support/recording_ui.h"
#include "support/temp_folder.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

class TextOpsTest : public ::testing::Test {
 protected:
  TextOpsTest() : folder_("textops") {}
  test::TempFolder folder_;
  test::RecordingUi ui_;
};

TEST(ExpandTabs, BlanksUpToTheNextEighthColumnCountedFromEachLineFeed) {
  EXPECT_EQ(expand_tabs("a\tb"), "a       b");
  EXPECT_EQ(expand_tabs("\t"), std::string(8, ' '));
  EXPECT_EQ(expand_tabs("1234567\tx"), "1234567 x");
  EXPECT_EQ(expand_tabs("12345678\tx"), "12345678        x");
  // A CR takes a column; the LF starts the count again.
  EXPECT_EQ(expand_tabs("ab\r\n\tc"), "ab\r\n        c");
  EXPECT_EQ(expand_tabs("a\r\tb"), "a\r      b");
  EXPECT_EQ(expand_tabs("no tabs\r\n"), "no tabs\r\n");
}

TEST(LineEnds, CrLfGoesAndComesBack) {
  EXPECT_TRUE(uses_crlf("a\r\nb"));
  EXPECT_FALSE(uses_crlf("a\nb"));
  EXPECT_EQ(to_lf("a\r\nb\r\n"), "a\nb\n");
  EXPECT_EQ(to_lf("a\rb"), "a\rb");  // a lone CR is text
  EXPECT_EQ(with_line_ends("a\nb\n", true), "a\r\nb\r\n");
  EXPECT_EQ(with_line_ends("a\nb\n", false), "a\nb\n");
}

TEST(TabKey, InsertOverwriteAndShiftMoveToFourColumnStops) {
  EXPECT_EQ(tab_blanks(6), 2);
  EXPECT_EQ(tab_blanks(0), 4);
  EXPECT_EQ(tab_blanks(3), 1);
  EXPECT_EQ(tab_overwrite_column(6, 20), 8);
  EXPECT_EQ(tab_overwrite_column(6, 8), 8);  // up to the very end of the line
  EXPECT_EQ(tab_overwrite_column(6, 7), 6);  // would pass the end: stays
  EXPECT_EQ(shift_tab_column(6), 4);
  EXPECT_EQ(shift_tab_column(8), 4);
  EXPECT_EQ(shift_tab_column(4), 0);
  EXPECT_EQ(shift_tab_column(2), 0);
  EXPECT_EQ(shift_tab_column(3), 0);
  EXPECT_EQ(shift_tab_column(0), 0);
}

TEST(TabKey, BlockEndingAtALineStartStopsAtTheLineBefore) {
  EXPECT_EQ(block_lines(2, 5, true).last, 4);
  EXPECT_EQ(block_lines(2, 5, false).last, 5);
  EXPECT_EQ(block_lines(2, 2, true).last, 2);
}

TEST(TabKey, OutdentRemovesTheFewestLeadingBlanksUpToFour) {
  EXPECT_EQ(outdent_blanks({"      a", "  b", "        c"}), 2);
  EXPECT_EQ(outdent_blanks({"      a", "        b"}), 4);
  EXPECT_EQ(outdent_blanks({"      a", "  ", "        c"}), 0);  // a line under 3 characters
  EXPECT_EQ(outdent_blanks({"      a", "b", "        c"}), 0);
  EXPECT_EQ(outdent_blanks({"      a", "bcd"}), 0);    // a line without leading blanks
  EXPECT_EQ(outdent_blanks({"     ", "      x"}), 4);  // an all-blank line counts its blanks
}

TEST_F(TextOpsTest, Load_ReadsTheFileAsStored) {
  write(folder_ / "a.seq", "LINE\r\n\tX\r\n");
  EXPECT_EQ(load_text_file(ui_, folder_ / "a.seq"), "LINE\r\n\tX\r\n");
  EXPECT_TRUE(ui_.calls().empty());
}

TEST_F(TextOpsTest, Load_AMissingFileIsCreatedOnYesAndRefusedOnNo) {
  const fs::path path = folder_ / "new.seq";
  ui_.answer({BoxAnswer::No});
  EXPECT_FALSE(load_text_file(ui_, path));
  EXPECT_FALSE(fs::exists(path));
  ui_.answer({BoxAnswer::Yes});
  EXPECT_EQ(load_text_file(ui_, path), "");
  EXPECT_TRUE(fs::exists(path));
  const std::string box = "box: Sequence Edit|Can't find file " + path.string() + ", create one?";
  EXPECT_EQ(ui_.calls(), (std::vector<std::string>{box, box}));
}

TEST_F(TextOpsTest, Load_AFileThatCannotBeCreatedSaysSo) {
  const fs::path path = folder_ / "missing" / "new.seq";
  ui_.answer({BoxAnswer::Yes});
  EXPECT_FALSE(load_text_file(ui_, path));
  EXPECT_EQ(ui_.calls().back(), "box: Sequence Edit|Unable to create file " + path.string());
}

TEST_F(TextOpsTest, Load_RefusesAFileOverTheSizeLimit) {
  write(folder_ / "limit.seq", std::string(31999, 'x'));
  EXPECT_TRUE(load_text_file(ui_, folder_ / "limit.seq"));
  const fs::path big = folder_ / "big.seq";
  write(big, std::string(32000, 'x'));
  EXPECT_FALSE(load_text_file(ui_, big));
  EXPECT_EQ(ui_.calls(), std::vector<std::string>{"box: Sequence Edit|File " + big.string() +
                                                  " is too big to edit"});
}

TEST_F(TextOpsTest, Load_AFolderCannotBeOpened) {
  fs::create_directories(folder_ / "dir.seq");
  EXPECT_FALSE(load_text_file(ui_, folder_ / "dir.seq"));
  EXPECT_EQ(ui_.calls().back(),
            "box: Sequence Edit|Can't open file " + (folder_ / "dir.seq").string());
  // Nor a pipe, which is never opened: without a writer that would hold the editor for good.
  ASSERT_EQ(mkfifo((folder_ / "pipe.seq").c_str(), 0600), 0);
  EXPECT_FALSE(load_text_file(ui_, folder_ / "pipe.seq"));
  EXPECT_EQ(ui_.calls().back(),
            "box: Sequence Edit|Can't open file " + (folder_ / "pipe.seq").string());
}

TEST(Backup, SameNameWithBakExceptForBakFiles) {
  EXPECT_EQ(backup_path("/x/A.SEQ"), fs::path("/x/A.bak"));
  EXPECT_EQ(backup_path("/x/notes"), fs::path("/x/notes.bak"));
  EXPECT_FALSE(backup_path("/x/X.BAK"));
  EXPECT_FALSE(backup_path("/x/y.Bak"));
}

TEST_F(TextOpsTest, Write_KeepsTheOldFileAsBackupReplacingAnOlderOne) {
  write(folder_ / "A.SEQ", "old");
  write(folder_ / "A.bak", "older");
  EXPECT_FALSE(write_with_backup(folder_ / "A.SEQ", "new\r\n"));
  EXPECT_EQ(read(folder_ / "A.SEQ"), "new\r\n");
  EXPECT_EQ(read(folder_ / "A.bak"), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 2);
}

TEST_F(TextOpsTest, Write_ABakFileGetsNoBackupAndANewFileNone) {
  write(folder_ / "X.BAK", "old");
  EXPECT_FALSE(write_with_backup(folder_ / "X.BAK", "new"));
  EXPECT_FALSE(write_with_backup(folder_ / "fresh.seq", "text"));
  EXPECT_EQ(read(folder_ / "X.BAK"), "new");
  EXPECT_EQ(read(folder_ / "fresh.seq"), "text");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 2);
}

TEST_F(TextOpsTest, Write_FailureLeavesTheOldFileAndNoLitter) {
  // A directory where the file should go.
  fs::create_directories(folder_ / "dir.seq");
  EXPECT_TRUE(write_with_backup(folder_ / "dir.seq", "new"));
  EXPECT_TRUE(fs::is_directory(folder_ / "dir.seq"));
  // A backup that cannot be made: the old file stays and the new text goes nowhere.
  write(folder_ / "b.seq", "old");
  fs::create_directories(folder_ / "b.bak" / "inside");
  EXPECT_TRUE(write_with_backup(folder_ / "b.seq", "new"));
  EXPECT_EQ(read(folder_ / "b.seq"), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 3);
}

TEST_F(TextOpsTest, Write_AReadOnlyFolderKeepsTheOldFile) {
  write(folder_ / "ro.seq", "old");
  fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
  if (::access(folder_.path().c_str(), W_OK) == 0)
    GTEST_SKIP() << "running with write access anyway";
  const auto why = write_with_backup(folder_ / "ro.seq", "new");
  fs::permissions(folder_, fs::perms::owner_all);
  ASSERT_TRUE(why);
  EXPECT_EQ(*why, std::strerror(EACCES));
  EXPECT_EQ(read(folder_ / "ro.seq"), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

TEST_F(TextOpsTest, Save_NotModifiedWritesNothing) {
  EditorRequest request{0, (folder_ / "a.seq").string(), std::nullopt, 0};
  EXPECT_EQ(save_text(ui_, request, "x", false, true, nullptr), SaveResult::Saved);
  EXPECT_FALSE(fs::exists(folder_ / "a.seq"));
  EXPECT_TRUE(ui_.calls().empty());
}

TEST_F(TextOpsTest, Save_AsksWithTheFullPathAndActsOnTheAnswer) {
  const fs::path path = folder_ / "a.seq";
  EditorRequest request{0, path.string(), std::nullopt, 0};
  ui_.answer({BoxAnswer::Cancel, BoxAnswer::No, BoxAnswer::Yes});
  EXPECT_EQ(save_text(ui_, request, "x", true, true, nullptr), SaveResult::Cancelled);
  EXPECT_EQ(save_text(ui_, request, "x", true, true, nullptr), SaveResult::Declined);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(save_text(ui_, request, "x", true, true, nullptr), SaveResult::Saved);
  EXPECT_EQ(read(path), "x");
  EXPECT_EQ(ui_.calls().front(), "box: Sequence Edit|Save changes to file: \n" + path.string());
}

TEST_F(TextOpsTest, Save_WithoutANameAsksForOne) {
  EditorRequest request;
  EXPECT_EQ(save_text(ui_, request, "x", true, false, [] { return std::nullopt; }),
            SaveResult::Failed);
  const std::string chosen = (folder_ / "b.seq").string();
  EXPECT_EQ(save_text(ui_, request, "x", true, false, [&] { return chosen; }), SaveResult::Saved);
  EXPECT_EQ(request.name, chosen);
  EXPECT_EQ(read(chosen), "x");
}

TEST_F(TextOpsTest, Save_AFailedWriteNamesTheFileAndTheReason) {
  fs::create_directories(folder_ / "dir.seq");
  EditorRequest request{0, (folder_ / "dir.seq").string(), std::nullopt, 0};
  EXPECT_EQ(save_text(ui_, request, "x", true, false, nullptr), SaveResult::Failed);
  ASSERT_EQ(ui_.calls().size(), 1u);
  EXPECT_EQ(ui_.calls()[0].rfind("box: Sequence Edit|Can't save file " + request.name + ":\n", 0),
            0u);
}

TEST_F(TextOpsTest, Save_MemoryTextIsWrittenBackBelowTheLimitAndClearedOnNo) {
  EditorRequest request{1, "SHOW.TXT", std::string("old"), 0};
  EXPECT_EQ(save_text(ui_, request, "new", true, false, nullptr), SaveResult::Saved);
  EXPECT_EQ(request.text, "new");
  // Too long for the flash: the operator is warned and the editor keeps the text.
  EXPECT_EQ(save_text(ui_, request, std::string(kWriteBackLimit, 'x'), true, false, nullptr),
            SaveResult::Failed);
  EXPECT_EQ(request.text, "new");
  EXPECT_EQ(ui_.calls().back().rfind("box: Sequence Edit|The text has 65023 characters", 0), 0u);
  EXPECT_EQ(save_text(ui_, request, std::string(kWriteBackLimit - 1, 'x'), true, false, nullptr),
            SaveResult::Saved);
  EXPECT_EQ(request.text->size(), kWriteBackLimit - 1);
  ui_.answer({BoxAnswer::No});
  EXPECT_EQ(save_text(ui_, request, "x", true, true, nullptr), SaveResult::Declined);
  EXPECT_FALSE(request.text);
  EXPECT_EQ(ui_.calls().back(), "box: Sequence Edit|Save changes to file: \nSHOW.TXT");
}

}  // namespace
}  // namespace qm
