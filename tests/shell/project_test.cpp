#include "shell/project.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "support/recording_ui.h"
#include "support/temp_folder.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

// Each case runs in its own temporary folder and puts the current directory back afterwards.
class ProjectTest : public ::testing::Test {
 protected:
  ProjectTest() : home_("project"), folder_(home_ / "Quadrimon"), before_(fs::current_path()) {}
  ~ProjectTest() override { fs::current_path(before_); }

  static void write(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  // A project file of `lines` lines, each a button in use.
  fs::path project_of(int lines, const std::string& line = "\"Legend\",\"show.seq\"\r\n") {
    std::string text;
    for (int i = 0; i < lines; ++i)
      text += line;
    write(home_ / "p.efx", text);
    return home_ / "p.efx";
  }

  test::TempFolder home_;
  fs::path folder_;
  fs::path before_;
  test::RecordingUi ui_;
};

TEST_F(ProjectTest, FindProject_WithoutLocation_TakesWallEfx) {
  fs::current_path(home_);
  EXPECT_EQ(find_project(std::nullopt), home_ / "wall.efx");
  // With a per-user folder, that folder is created and made current.
  EXPECT_EQ(find_project(folder_), folder_ / "wall.efx");
  EXPECT_EQ(fs::current_path(), folder_);
  // A remembered project whose directory is gone.
  write(folder_ / "wall.prj", (home_ / "gone" / "x.efx").string() + "\r\n");
  EXPECT_EQ(find_project(folder_), folder_ / "wall.efx");
  // A remembered location that is not a plain file (a pipe would hold up the start) is none.
  fs::remove(folder_ / "wall.prj");
  ASSERT_EQ(mkfifo((folder_ / "wall.prj").c_str(), 0600), 0);
  EXPECT_EQ(find_project(folder_), folder_ / "wall.efx");
  fs::remove(folder_ / "wall.prj");
  fs::create_directory(folder_ / "wall.prj");
  EXPECT_EQ(find_project(folder_), folder_ / "wall.efx");
}

TEST_F(ProjectTest, RememberedProject_IsFoundAgainAndItsDirectoryBecomesCurrent) {
  const fs::path shows = home_ / "shows";
  fs::create_directories(shows);
  remember_project(folder_, (shows / "gala.efx").string(), ui_);
  EXPECT_TRUE(ui_.calls().empty());
  std::ifstream in(folder_ / "wall.prj", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.substr(0, text.find_first_of("\r\n")), (shows / "gala.efx").string());
  EXPECT_EQ(fs::current_path(), folder_);  // the folder was created and made current

  EXPECT_EQ(find_project(folder_), shows / "gala.efx");
  EXPECT_EQ(fs::current_path(), shows);
}

TEST_F(ProjectTest, RememberProject_ReportsWhatCouldNotBeWritten) {
  // The per-user folder cannot be made where a file stands in its way.
  write(home_ / "blocked", "");
  remember_project(home_ / "blocked" / "Quadrimon", "x.efx", ui_);
  const std::string folder = (home_ / "blocked" / "Quadrimon").string();
  EXPECT_EQ(ui_.calls(),
            (std::vector<std::string>{"box:Project|Unable to create the directory \"" + folder +
                                      "\" to save current the project location.\n\n"}));

  // wall.prj cannot be written when a directory has its name.
  ui_.clear();
  fs::create_directories(folder_ / "wall.prj");
  remember_project(folder_, "x.efx", ui_);
  EXPECT_EQ(ui_.calls(),
            (std::vector<std::string>{
                "box:Project|Unable to write to \"" + (folder_ / "wall.prj").string() +
                "\" to save current the project location.\n\nCheck that the directory \"" +
                home_.string() + "\\Quadrimon\" exists and has the correct permissions."}));

  ui_.clear();
  remember_project(std::nullopt, "x.efx", ui_);  // no folder: nothing at all
  EXPECT_TRUE(ui_.calls().empty());
}

TEST_F(ProjectTest, CheckProjectFile_TakesQuotedButtonsAndEmptySlots) {
  EXPECT_TRUE(check_project_file(home_ / "missing.efx"));
  ASSERT_EQ(mkfifo((home_ / "pipe.efx").c_str(), 0600), 0);
  EXPECT_TRUE(check_project_file(home_ / "pipe.efx"));  // not read, like a missing file
  EXPECT_TRUE(check_project_file(project_of(280, "\r\n")));
  EXPECT_TRUE(check_project_file(project_of(3, "\"A, B\",\"C:\\seq\\show one.seq\"\n")));
  write(home_ / "mixed.efx", "\"Go\",\"go.seq\"\r\n\r\n\n\"Stop\",\"stop.seq\"\r\n");
  EXPECT_TRUE(check_project_file(home_ / "mixed.efx"));
}

TEST_F(ProjectTest, CheckProjectFile_RefusesLinesThatAreNotButtonsAndLongFiles) {
  EXPECT_FALSE(check_project_file(project_of(1, "\"Legend\",\"\"\r\n")));  // legend, no file
  EXPECT_FALSE(check_project_file(project_of(1, "\"Legend\"\r\n")));
  EXPECT_FALSE(check_project_file(project_of(1, "plain text\r\n")));
  // A line is read whole: a long legend is still one button.
  EXPECT_TRUE(
      check_project_file(project_of(1, "\"" + std::string(140, 'L') + "\",\"show.seq\"\r\n")));
  // At most 281 lines.
  EXPECT_TRUE(check_project_file(project_of(281)));
  EXPECT_FALSE(check_project_file(project_of(282)));
  EXPECT_FALSE(check_project_file(project_of(282, "\n")));
}

}  // namespace
}  // namespace qm
