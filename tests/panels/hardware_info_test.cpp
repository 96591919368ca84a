#include "panels/hardware_info.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "shell/app.h"
#include "support/recording_ui.h"
#include "support/wall_rig.h"

namespace qm {
namespace {

using Data = std::vector<std::uint8_t>;

// A unit that answers the function codes in `replies` with their data and nothing else;
// records the function codes it was asked for.
struct ScriptedUnit {
  explicit ScriptedUnit(std::map<std::uint8_t, Data> r = {}) : replies(std::move(r)) {}

  std::map<std::uint8_t, Data> replies;
  std::vector<int> asked;

  UnitQuery query() {
    return [this](std::uint8_t function) -> std::optional<UnitFrame> {
      asked.push_back(function);
      const auto it = replies.find(function);
      if (it == replies.end()) return std::nullopt;
      UnitFrame frame;
      frame.count = static_cast<std::uint8_t>(3 + it->second.size());
      frame.message[0] = kTypeReply | kDeviceUnit;
      frame.message[2] = function;
      for (std::size_t i = 0; i < it->second.size(); ++i)
        frame.message[3 + i] = it->second[i];
      return frame;
    };
  }
};

TEST(UnitVersionText, FullReplies_ListEveryVersionAndSwitch) {
  ScriptedUnit unit({{4, {4, 12, 'W', 'a', 'l', 'l', 0}}, {3, {0x2B, 0x05, 0xA0, 1, 0x3F}}});
  EXPECT_EQ(unit_version_text(2, unit.query()),
            "Unit 2:\r\nSoftware version\t 4.12\r\n"
            "Hardware version\t 2.11\r\n"
            "Split switch\t 0x05\r\n"
            "Effect switch\t 0xA0\r\n"
            "FPGA Version\t 3.15\r\n"
            "\r\n");
  EXPECT_EQ(unit.asked, (std::vector<int>{4, 3}));
}

TEST(UnitVersionText, ShortOrMissingReplies_ShowWhatArrived) {
  // Function 3 without the FPGA byte: hardware and switches, no FPGA line.
  ScriptedUnit older({{4, {1, 0}}, {3, {0x10, 0xFF, 0x00, 0}}});
  EXPECT_EQ(unit_version_text(0, older.query()),
            "Unit 0:\r\nSoftware version\t 1.0\r\nHardware version\t 1.0\r\n"
            "Split switch\t 0xFF\r\nEffect switch\t 0x00\r\n\r\n");

  // Answers function 4 only, or function 3 too short to read: the software version alone.
  ScriptedUnit software_only({{4, {3, 7}}});
  EXPECT_EQ(unit_version_text(1, software_only.query()),
            "Unit 1:\r\nSoftware version\t 3.7\r\n\r\n");
  ScriptedUnit short_hardware({{4, {3, 7}}, {3, {0x21, 0, 0}}});
  EXPECT_EQ(unit_version_text(1, short_hardware.query()),
            "Unit 1:\r\nSoftware version\t 3.7\r\n\r\n");

  // A function 4 reply without a version: only the blank line, function 3 is not asked.
  ScriptedUnit no_version({{4, {9}}, {3, {0x21, 0, 0, 0, 0x31}}});
  EXPECT_EQ(unit_version_text(3, no_version.query()), "\r\n");
  EXPECT_EQ(no_version.asked, (std::vector<int>{4}));

  // No answer at all: N/A, and no second request.
  ScriptedUnit absent;
  EXPECT_EQ(unit_version_text(3, absent.query()), "Unit 3:\r\n   N/A\r\n\r\n");
  EXPECT_EQ(absent.asked, (std::vector<int>{4}));
}

TEST(VersionScan, NoLink_FourUnavailableUnitsThenComplete) {
  test::RecordingUi ui;
  App app(ui, Settings(std::nullopt, {}));
  EXPECT_EQ(scan_versions(app.link),
            "Reading version information\r\n\r\n"
            "Unit 0:\r\n   N/A\r\n\r\nUnit 1:\r\n   N/A\r\n\r\n"
            "Unit 2:\r\n   N/A\r\n\r\nUnit 3:\r\n   N/A\r\n\r\n"
            "- scan complete");
  EXPECT_EQ(app.idle.job(), kJobNone);  // the command-line scan leaves the idle job alone
}

// Units 0, 1 and 3 installed on a simulated wall behind the serial line; unit 2 is absent.
class VersionScanWall : public test::WallRig {
 protected:
  VersionScanWall()
      : WallRig([] {
          sim::WallConfig c = wall_of({16, 9, 0, 25});
          c.unit.hardware_version = 0x23;
          c.unit.split_switch = 0x12;
          c.unit.effect_switch = 0x0C;
          c.unit.fpga_version = 0x31;
          return c;
        }()) {}
  void SetUp() override { connect_serial(); }

  static constexpr char kPresent[] =
      "Software version\t 4.2\r\nHardware version\t 2.3\r\nSplit switch\t 0x12\r\n"
      "Effect switch\t 0x0C\r\nFPGA Version\t 3.1\r\n\r\n";
};

TEST_F(VersionScanWall, IdleSteps_ScanOneUnitEachAndEndTheJob) {
  sim::Faults faults;
  faults.silent[1] = true;
  wall_.set_faults(faults);

  VersionScan scan;
  app_.idle.set_step(kJobVersionScan, kJobVersionScan + 3,
                     [&](int job) { app_.idle.set_job(scan.scan_unit(app_.link, job)); });
  app_.idle.set_job(kJobVersionScan);

  app_.idle.idle(IdleSource::Menu);  // a menu's idle turn does not scan
  EXPECT_EQ(app_.idle.job(), 1);
  EXPECT_TRUE(scan.text().empty());

  std::vector<int> jobs;
  for (int i = 0; i < 4; ++i) {
    app_.idle.idle(IdleSource::Dialog);
    jobs.push_back(app_.idle.job());
  }
  EXPECT_EQ(jobs, (std::vector<int>{2, 3, 4, 0}));
  EXPECT_EQ(scan.text(), std::string("Reading version information\r\n\r\n") + "Unit 0:\r\n" +
                             kPresent + "Unit 1:\r\n   N/A\r\n\r\n" + "Unit 2:\r\n   N/A\r\n\r\n" +
                             "Unit 3:\r\n" + kPresent + "- scan complete");

  // A second scan starts the text afresh.
  wall_.set_faults({});
  app_.idle.set_job(kJobVersionScan);
  app_.idle.idle(IdleSource::Dialog);
  EXPECT_EQ(scan.text(), std::string("Reading version information\r\n\r\nUnit 0:\r\n") + kPresent);
}

}  // namespace
}  // namespace qm
