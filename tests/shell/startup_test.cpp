// The start-up rules: the settings that hold for the run, the project and current directory the
// arguments choose, and the sequence file of a ".seq" last argument.
#include "shell/startup.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "shell/app.h"
#include "shell/project.h"
#include "support/recording_ui.h"
#include "support/temp_folder.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

// Each case runs in its own folder and puts the current directory back afterwards.
class StartupTest : public ::testing::Test {
 protected:
  StartupTest() : folder_("startup"), home_(folder_.path()), before_(fs::current_path()) {
    fs::create_directories(home_ / "shows");
  }
  ~StartupTest() override { fs::current_path(before_); }

  static void write(const fs::path& path, const std::string& text) {
    test::write_file_text(path, text);
  }
  static std::string read(const fs::path& path) { return test::read_file_text(path); }
  // The places of a user whose folder is home/Quadrimon, without a profile.
  ProjectPlaces places() const { return {home_ / "Quadrimon", std::nullopt}; }
  // The path wall.prj remembers.
  std::string remembered() const {
    const std::string text = read(home_ / "Quadrimon" / kProjectLocationFile);
    return text.substr(0, text.find_first_of("\r\n"));
  }

  test::TempFolder folder_;
  fs::path home_;
  fs::path before_;
  test::RecordingUi ui_;
};

TEST_F(StartupTest, Settings_RemoteAccessCountsOnlyWhereEnabled) {
  write(home_ / "Orvik.ini", "IP = ON\nENABLE_IP = OFF\n");
  App app(ui_, Settings(home_, home_));
  open_from_settings(app, std::nullopt);
  EXPECT_FALSE(app.settings.values.ip);
  EXPECT_FALSE(app.log.enabled());

  write(home_ / "Orvik.ini", "IP = ON\nENABLE_IP = ON\n");
  App enabled(ui_, Settings(home_, home_));
  open_from_settings(enabled, std::nullopt);
  EXPECT_TRUE(enabled.settings.values.ip);
}

TEST_F(StartupTest, Settings_TheDemoWallOverridesTheFileForThisRun) {
  write(home_ / "Orvik.ini",
        "ComPort = COM2:\nIP = OFF\nENABLE_IP = OFF\nKey = secret\nUnit2 = 8\n");
  App app(ui_, Settings(home_, home_));
  open_from_settings(app, 4321);
  const SettingsValues& v = app.settings.values;
  EXPECT_TRUE(v.enable_ip);
  EXPECT_TRUE(v.ip);
  EXPECT_EQ(v.tcp_port, 4321);
  EXPECT_TRUE(v.key.empty());
  EXPECT_EQ(v.com_port, -1);
  EXPECT_EQ(v.units[0], 16);
  EXPECT_EQ(v.units[1], 16);
  EXPECT_EQ(v.units[2], 0);
  EXPECT_EQ(v.units[3], 0);
}

TEST_F(StartupTest, Extensions_AreMatchedInAnyCaseOnTheFileNameOnly) {
  EXPECT_TRUE(is_sequence_file_name("run.seq"));
  EXPECT_TRUE(is_sequence_file_name("/a/b/RUN.Seq"));
  EXPECT_TRUE(is_sequence_file_name(".seq"));
  EXPECT_FALSE(is_sequence_file_name("run.seq.txt"));
  EXPECT_FALSE(is_sequence_file_name("/a.seq/run"));
  EXPECT_FALSE(is_sequence_file_name("seq"));
  EXPECT_TRUE(has_extension("C:/dir/show.EFX", "efx"));
  EXPECT_FALSE(has_extension("show.efx2", "efx"));
}

TEST_F(StartupTest, ProjectArgument_WithAFolderIsTakenAndRemembered) {
  const fs::path project = home_ / "shows" / "gala.efx";
  write(project, "\"Go\",\"go.seq\"\r\n");
  EXPECT_TRUE(choose_start_project({project.string(), "run.seq"}, places(), ui_));
  EXPECT_EQ(fs::current_path(), home_ / "Quadrimon");  // remember_project made it and went in
  EXPECT_EQ(remembered(), project.string());
  EXPECT_TRUE(ui_.calls().empty());

  // A relative argument names the file as seen from where the program started.
  fs::current_path(home_);
  EXPECT_TRUE(choose_start_project({"shows/gala.EFX"}, places(), ui_));
  EXPECT_EQ(remembered(), (home_ / "shows" / "gala.EFX").string());
}

TEST_F(StartupTest, ProjectArgument_NotTaken_FallsBackToTheRememberedProject) {
  fs::create_directories(home_ / "Quadrimon");
  write(home_ / "Quadrimon" / kProjectLocationFile,
        (home_ / "shows" / "old.efx").string() + "\r\n");
  write(home_ / "bad.efx", "not a button line\r\n");
  for (const std::string& argument :
       {std::string("gala.efx"), (home_ / "bad.efx").string(),
        (home_ / "shows" / "notes.txt").string(), (home_ / "nowhere" / "gala.efx").string()}) {
    SCOPED_TRACE(argument);
    fs::current_path(home_);
    EXPECT_TRUE(choose_start_project({argument}, places(), ui_));
    EXPECT_EQ(fs::current_path(), home_ / "shows");  // the remembered project's folder
    EXPECT_EQ(remembered(), (home_ / "shows" / "old.efx").string());
  }
}

TEST_F(StartupTest, ProjectArgument_ItsFolderStaysCurrentEvenWhenNotTaken) {
  // Without a per-user folder the project is wall.efx wherever the argument led.
  fs::current_path(home_);
  EXPECT_TRUE(choose_start_project({"shows/notes.txt"}, {std::nullopt, std::nullopt}, ui_));
  EXPECT_EQ(fs::current_path(), home_ / "shows");
}

TEST_F(StartupTest, SequenceArgument_EntersItsFolderAndNamesTheFullPath) {
  fs::current_path(home_);
  EXPECT_EQ(enter_sequence_argument({}), std::nullopt);
  EXPECT_EQ(enter_sequence_argument({"shows/run.txt"}), std::nullopt);
  EXPECT_EQ(enter_sequence_argument({"shows/run.seq", "x.efx"}), std::nullopt);  // not last
  EXPECT_EQ(fs::current_path(), home_);

  EXPECT_EQ(enter_sequence_argument({"gala.efx", "shows/./run.SEQ"}), home_ / "shows" / "run.SEQ");
  EXPECT_EQ(fs::current_path(), home_ / "shows");

  // Without a folder part the directory stays; a folder that cannot be entered runs nothing.
  EXPECT_EQ(enter_sequence_argument({"run.seq"}), home_ / "shows" / "run.seq");
  EXPECT_EQ(fs::current_path(), home_ / "shows");
  EXPECT_EQ(enter_sequence_argument({(home_ / "nowhere" / "run.seq").string()}), std::nullopt);
  EXPECT_EQ(fs::current_path(), home_ / "shows");
}

}  // namespace
}  // namespace qm
