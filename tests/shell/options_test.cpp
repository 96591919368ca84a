#include "shell/options.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>

#include "shell/app.h"
#include "support/wall_rig.h"

namespace qm {
namespace {

// The App of a test rig; the wall beside it stays unconnected.
class OptionsTest : public test::WallRig {
 protected:
  std::filesystem::path log_file() const { return folder_ / "Quadrimon" / kLogFileName; }
};

TEST_F(OptionsTest, ViewLog_ClosesTheLogWhileShownAndRestoresIt) {
  set_logging(app_, true);
  app_.log.link_trace("first\n");
  std::string seen;
  view_log(app_, [&](const std::filesystem::path& path) {
    EXPECT_FALSE(app_.log.enabled());
    seen = read_log_for_viewer(ui_, path).value_or("<none>");
  });
  EXPECT_NE(seen.find("first\n"), std::string::npos);
  EXPECT_TRUE(app_.log.enabled());  // logging continues afterwards
  app_.log.link_trace("second\n");

  set_logging(app_, false);
  view_log(app_, [&](const std::filesystem::path& path) {
    seen = read_log_for_viewer(ui_, path).value_or("<none>");
  });
  EXPECT_NE(seen.find("second\n"), std::string::npos);
  EXPECT_FALSE(app_.log.enabled());
  EXPECT_TRUE(ui_.calls().empty());
}

TEST_F(OptionsTest, LogViewer_TellsWhyNothingCanBeShown) {
  EXPECT_EQ(read_log_for_viewer(ui_, log_file()), std::nullopt);
  set_logging(app_, true);  // creates the file, still empty
  set_logging(app_, false);
  EXPECT_EQ(read_log_for_viewer(ui_, log_file()), std::nullopt);
  EXPECT_EQ(ui_.calls(), (std::vector<std::string>{
                             "box: Show log|A log file has not been created yet",
                             "box: Show log|Log file has no entries",
                         }));
  clear_log(app_);  // a following "Clear log" removes the empty file
  EXPECT_FALSE(std::filesystem::exists(log_file()));

#ifndef _WIN32
  // A directory opens here but cannot be read.
  ui_.clear();
  EXPECT_EQ(read_log_for_viewer(ui_, folder_), std::nullopt);
  EXPECT_EQ(ui_.calls(), (std::vector<std::string>{"box: Show log|Error reading log file"}));
  // Nor is a pipe read, which would hold the viewer for good.
  ui_.clear();
  ASSERT_EQ(mkfifo(log_file().c_str(), 0600), 0);
  EXPECT_EQ(read_log_for_viewer(ui_, log_file()), std::nullopt);
  EXPECT_EQ(ui_.calls(), (std::vector<std::string>{"box: Show log|Error reading log file"}));
#endif
}

}  // namespace
}  // namespace qm
