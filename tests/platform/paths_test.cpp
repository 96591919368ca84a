// Writing a file through a temporary one: the target is always the old file or the new one
// whole, and no temporary file is left behind whatever step fails.
#include "platform/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <iterator>
#include <string>

#include "support/temp_folder.h"

namespace qm::platform {
namespace {

namespace fs = std::filesystem;

class AtomicWrite : public ::testing::Test {
 protected:
  AtomicWrite() : folder_("atomic"), dir_(folder_.path()) {}

  static void write(const fs::path& path, const std::string& text) {
    test::write_file_text(path, text);
  }
  static std::string read(const fs::path& path) { return test::read_file_text(path); }
  std::size_t entries() const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }

  test::TempFolder folder_;
  fs::path dir_;
};

TEST_F(AtomicWrite, NewAndExistingFiles_GetTheWholeContentsAndNoTemporaryStays) {
  const fs::path target = dir_ / "show.sfb";
  EXPECT_TRUE(write_file_atomically(target, std::string("a\0b", 3)).ok());
  EXPECT_EQ(read(target), std::string("a\0b", 3));

  write(target, "old contents, longer than the new ones");
  EXPECT_TRUE(write_file_atomically(target, "new").ok());
  EXPECT_EQ(read(target), "new");
  EXPECT_EQ(entries(), 1u);

  // Empty contents still replace the file.
  EXPECT_TRUE(write_file_atomically(target, "").ok());
  EXPECT_EQ(read(target), "");
}

TEST_F(AtomicWrite, StepBeforeReplacement_SeesTheOldFileAndCanStopTheWrite) {
  const fs::path target = dir_ / "a.seq";
  write(target, "old");
  std::string seen;
  std::size_t files_meanwhile = 0;
  const auto result = write_file_atomically(target, "new", [&] {
    seen = read(target);
    files_meanwhile = entries();  // the target and the new text beside it
    return std::error_code();
  });
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(seen, "old");
  EXPECT_EQ(files_meanwhile, 2u);

  const auto refused = write_file_atomically(
      target, "newer", [] { return std::make_error_code(std::errc::permission_denied); });
  EXPECT_EQ(refused.step, AtomicWriteStep::Prepare);
  EXPECT_EQ(refused.error, std::errc::permission_denied);
  EXPECT_EQ(read(target), "new");
  EXPECT_EQ(entries(), 1u);
}

TEST_F(AtomicWrite, Failures_TellTheStepAndLeaveTheTargetAlone) {
  // No folder for the temporary file.
  const auto missing = write_file_atomically(dir_ / "none" / "x", "new");
  EXPECT_EQ(missing.step, AtomicWriteStep::Create);
  EXPECT_EQ(missing.error, std::errc::no_such_file_or_directory);

  // A folder with contents stands where the file should go: written, but not moved there.
  fs::create_directories(dir_ / "busy" / "inside");
  const auto busy = write_file_atomically(dir_ / "busy", "new");
  EXPECT_EQ(busy.step, AtomicWriteStep::Replace);
  EXPECT_TRUE(busy.error);
  EXPECT_TRUE(fs::is_directory(dir_ / "busy" / "inside"));
  EXPECT_EQ(entries(), 1u);
}

TEST_F(AtomicWrite, UsersFiles_NoNameIsTakenTheModeStaysALinkIsWrittenThrough) {
  // Files whose names a fixed temporary name would take are left alone.
  const fs::path target = dir_ / "show.sfb";
  for (const char* name : {"show.sfb.tmp", "show.sfb.new", "show.sfb.~new"})
    write(dir_ / name, "the user's");
  write(target, "old");
  fs::permissions(target, fs::perms::owner_read | fs::perms::group_read, fs::perm_options::replace);
  ASSERT_TRUE(write_file_atomically(target, "new").ok());
  EXPECT_EQ(read(target), "new");
  EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::group_read);
  for (const char* name : {"show.sfb.tmp", "show.sfb.new", "show.sfb.~new"})
    EXPECT_EQ(read(dir_ / name), "the user's") << name;
  EXPECT_EQ(entries(), 4u);

  // A symbolic link stays a link; the file it names gets the contents.
  fs::create_directories(dir_ / "real");
  write(dir_ / "real" / "show.seq", "old");
  fs::create_symlink(dir_ / "real" / "show.seq", dir_ / "link.seq");
  ASSERT_TRUE(write_file_atomically(dir_ / "link.seq", "new").ok());
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.seq"));
  EXPECT_EQ(read(dir_ / "real" / "show.seq"), "new");
}

// Reading a whole file: every way it can fail comes back as a status, none as an exception,
// and nothing that is not a plain file is opened (a pipe would block the reader).
TEST(ReadFile, PlainFiles_AreReadWholeUpToTheLimit) {
  test::TempFolder folder("readfile");
  const std::string bytes("a\0b\r\n\xff", 6);
  test::write_file_text(folder / "data", bytes);
  test::write_file_text(folder / "empty", "");

  FileRead read = read_file(folder / "data");
  EXPECT_EQ(read.status, FileReadStatus::Read);
  EXPECT_EQ(read.contents, bytes);
  EXPECT_TRUE(read_file(folder / "data", 6).ok());
  read = read_file(folder / "data", 5);
  EXPECT_EQ(read.status, FileReadStatus::TooLarge);
  EXPECT_TRUE(read.contents.empty());
  read = read_file(folder / "empty", 0);
  EXPECT_TRUE(read.ok());
  EXPECT_TRUE(read.contents.empty());
}

TEST(ReadFile, MissingDirectoryPipeAndDevice_FailWithoutThrowingOrBlocking) {
  test::TempFolder folder("readfile");
  fs::create_directory(folder / "folder");
  ASSERT_EQ(mkfifo((folder / "pipe").c_str(), 0600), 0) << errno;

  FileRead read = read_file(folder / "missing");
  EXPECT_EQ(read.status, FileReadStatus::NotFound);
  EXPECT_TRUE(read.error);
  read = read_file(folder / "folder");
  EXPECT_EQ(read.status, FileReadStatus::NotRegular);
  EXPECT_EQ(read.error, std::errc::is_a_directory);
  EXPECT_EQ(read_file(folder / "pipe").status, FileReadStatus::NotRegular);
  EXPECT_EQ(read_file("/dev/zero").status, FileReadStatus::NotRegular);
  EXPECT_EQ(read_file(folder / "missing" / "below").status, FileReadStatus::NotFound);
  EXPECT_EQ(read_file(folder / "folder" / "").status, FileReadStatus::NotRegular);
}

}  // namespace
}  // namespace qm::platform
