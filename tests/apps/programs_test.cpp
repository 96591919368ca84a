// What every program says about itself: --version and --help answer at once and exit 0, the
// GUI program without a display too.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/qmctl_fixture.h"

namespace qm::test {
namespace {

using Programs = Qmctl;

struct Program {
  std::string name;
  std::string path;
};

std::vector<Program> programs() {
  std::vector<Program> all = {{"qmctl", QMCTL_PATH}, {"qmsim", QMSIM_PATH}};
#ifdef QUADRIMON_CONTROL_PATH
  all.push_back({"QuadrimonControl", QUADRIMON_CONTROL_PATH});
#endif
  return all;
}

// No display to be had: a program that made its window (or only its application object)
// first would fail here instead of answering.
constexpr const char* kNoDisplay = "DISPLAY= WAYLAND_DISPLAY= QT_QPA_PLATFORM=xcb";

TEST_F(Programs, Version_OneLineWithTheNameAndVersion) {
  for (const Program& p : programs()) {
    SCOPED_TRACE(p.name);
    const Outcome r = run(p.path, "--version", kNoDisplay);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, p.name + " " + QM_VERSION + "\n");
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(Programs, Help_PrintsTheUsageAndExitsZero) {
  for (const Program& p : programs()) {
    SCOPED_TRACE(p.name);
    for (const char* help : {"--help", "-h"}) {
      const Outcome r = run(p.path, help, kNoDisplay);
      EXPECT_EQ(r.exit_code, 0) << r.err;
      EXPECT_EQ(r.out.rfind("Usage: " + p.name + " ", 0), 0u) << r.out;
      EXPECT_NE(r.out.find("--version"), std::string::npos);
      EXPECT_EQ(r.err, "");
    }
  }
#ifdef QUADRIMON_CONTROL_PATH
  // The GUI's arguments are all listed.
  const Outcome gui = run(QUADRIMON_CONTROL_PATH, "--help", kNoDisplay);
  for (const char* argument : {"--demo", ".efx", ".seq"})
    EXPECT_NE(gui.out.find(argument), std::string::npos) << argument;
#endif
}

}  // namespace
}  // namespace qm::test
