#include "link/traffic_log.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>

#include "support/temp_folder.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class TrafficLogFiles : public ::testing::Test {
 protected:
  TrafficLogFiles() : home_("log"), folder_(home_ / "Quadrimon") {}

  std::string text() const {
    std::ifstream in(folder_ / kLogFileName, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  bool exists() const { return fs::exists(folder_ / kLogFileName); }

  test::TempFolder home_;
  fs::path folder_;  // not made: the log makes it when it first opens
};

TEST_F(TrafficLogFiles, Stamp_HasKindLocalTimeAndPaddedMilliseconds) {
  TrafficLog log(folder_);
  EXPECT_FALSE(log.log_enable(true));
  log.log_stamp(LogKind::Transmit);
  log.log_hex(0x7E);
  log.log_newline();
  log.link_trace("Timeout\n");
  log.log_stamp(LogKind::Receive);
  log.log_hex(0x41);
  log.log_char(0x41);
  log.log_newline();
  log.log_enable(false);
  const std::string t = R"(\w{3} \w{3} [ 123]\d \d\d:\d\d:\d\d\.(\d  |\d\d |\d\d\d) )";
  EXPECT_TRUE(std::regex_match(
      text(), std::regex("Tx> " + t + "7E\n" + "    " + t + "Timeout\n" + "<Rx " + t + "41A\n")))
      << text();
}

TEST_F(TrafficLogFiles, Enable_TwiceKeepsOneFileAndOffWhenOffDoesNothing) {
  TrafficLog log(folder_);
  EXPECT_FALSE(log.log_enable(false));
  EXPECT_FALSE(fs::exists(folder_ / kLogFileName));
  EXPECT_FALSE(log.log_enable(true));  // creates the folder and the file
  EXPECT_TRUE(log.log_enable(true));
  log.link_trace("one\n");
  EXPECT_TRUE(log.log_enable(false));
  EXPECT_FALSE(log.enabled());
  log.link_trace("not written\n");
  log.log_enable(true);  // appends to what is there
  log.link_trace("two\n");
  log.log_enable(false);
  const std::string t = text();
  EXPECT_NE(t.find("one\n"), std::string::npos);
  EXPECT_NE(t.find("two\n"), std::string::npos);
  EXPECT_EQ(t.find("not written"), std::string::npos);
}

TEST_F(TrafficLogFiles, Clear_WhileOnLeavesAnEmptyFileWhileOffLeavesNone) {
  TrafficLog log(folder_);
  log.log_enable(true);
  log.link_trace("old\n");
  log.log_clear();
  EXPECT_TRUE(log.enabled());
  EXPECT_TRUE(exists());
  EXPECT_EQ(text(), "");
  log.link_trace("new\n");
  log.log_enable(false);
  log.log_clear();
  EXPECT_FALSE(log.enabled());
  EXPECT_FALSE(exists());
}

TEST_F(TrafficLogFiles, NoUserFolder_LoggingStaysOff) {
  TrafficLog log(std::nullopt);
  EXPECT_FALSE(log.log_path());
  EXPECT_FALSE(log.log_enable(true));
  EXPECT_FALSE(log.enabled());
  log.link_trace("nowhere\n");  // harmless
}

}  // namespace
}  // namespace qm
