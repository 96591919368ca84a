// qmsim end to end: the real simulator program, reached by the real qmctl over a
// pseudo-terminal and over TCP.
#include <gtest/gtest.h>

#include "support/process.h"
#include "support/qmctl_fixture.h"

namespace qm::test {
namespace {

using Qmsim = Qmctl;

const char* const kHardwareReport =
    "Hardware version: 2.1\n    Split switch: 0\n   Effect switch: 0\n   Select Button: 0\n";

TEST_F(Qmsim, Serial_QmctlThroughTheLinkPath) {
  const std::string link = (home_ / "wall").string();
  Process sim({QMSIM_PATH, "serial", "--link", link});
  const std::string device = sim.read_line(5000);
  ASSERT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
  EXPECT_EQ(fs::read_symlink(link).string(), device);

  const Outcome get = qmctl("--port " + link + " get 7 0 3");
  EXPECT_EQ(get.exit_code, 0) << get.err;
  EXPECT_EQ(get.out, kHardwareReport);
  const Outcome poll = qmctl("--port " + link + " --unit 3 poll 1");
  EXPECT_EQ(poll.out, "unit 3 answered\n");
  EXPECT_EQ(sim.terminate(), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));  // removed on a clean exit
}

TEST_F(Qmsim, Tcp_AuthenticatedSoftwareVersion) {
  Process sim({QMSIM_PATH, "tcp", "--key", "s3cret"});
  const std::string port = sim.read_line(5000);
  ASSERT_FALSE(port.empty());
  const Outcome ok = qmctl("--tcp 127.0.0.1:" + port + " --key s3cret get 7 1 4");
  EXPECT_EQ(ok.exit_code, 0) << ok.err;
  EXPECT_EQ(ok.out, "Major: 4\nMinor: 2\nTitle: Quadrimon unit\n");
  const Outcome refused = qmctl("--tcp 127.0.0.1:" + port + " --key guess get 7 1 4");
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_NE(refused.err.find("Authentication failure"), std::string::npos);
}

TEST_F(Qmsim, Transcript_EveryMessageBothWaysWithItsTime) {
  const fs::path transcript = home_ / "traffic.txt";
  Process sim({QMSIM_PATH, "serial", "--transcript", transcript.string()});
  const std::string device = sim.read_line(5000);
  EXPECT_EQ(qmctl("--port " + device + " get 7 0 3").exit_code, 0);
  EXPECT_EQ(sim.terminate(), 0);
  std::string text = slurp(transcript);
  // The times vary: blank them out.
  for (std::size_t at = 0; (at = text.find(" ms ", at)) != std::string::npos; at += 4)
    for (std::size_t i = at; i > 0 && text[i - 1] != '\n'; --i)
      text[i - 1] = '#';
  EXPECT_EQ(text,
            "######### ms  to units   07 00 03\n"
            "######### ms  to units   47 00\n"
            "######### ms  from units 17 00 03 21 00 00 00 31\n");

  Process refused({QMSIM_PATH, "serial", "--transcript", (home_ / "no" / "such").string()});
  EXPECT_EQ(refused.read_line(2000), "");
  EXPECT_EQ(refused.terminate(), 1);
}

TEST_F(Qmsim, State_KeepsFlashBetweenRuns) {
  const std::string state = (home_ / "state").string();
  const std::string find = " get 7 0 60 2 '\"DGTSER.CFG\"' 0";
  {
    Process sim({QMSIM_PATH, "serial", "--state", state});
    const std::string device = sim.read_line(5000);
    EXPECT_EQ(qmctl("--port " + device + find).out.substr(0, 20), "FN=60, 2 data bytes\n");
    EXPECT_EQ(qmctl("--port " + device + " send 7 255 24").exit_code, 0);  // save inputs
    EXPECT_EQ(qmctl("--port " + device + find).out.substr(0, 21), "FN=60, 13 data bytes\n");
    EXPECT_EQ(sim.terminate(), 0);
  }
  Process sim({QMSIM_PATH, "serial", "--state", state, "--units", "16,0,0,0"});
  const std::string device = sim.read_line(5000);
  const Outcome found = qmctl("--port " + device + find);
  EXPECT_EQ(found.out.substr(0, 21), "FN=60, 13 data bytes\n") << found.out;
  EXPECT_NE(found.out.find("DGTSER.CFG"), std::string::npos);
}

TEST_F(Qmsim, State_UnreadableFlashFile_StartsThatUnitEmptyHanded) {
  const fs::path state = home_ / "state";
  fs::create_directories(state / "unit0.flash");
  Process sim({QMSIM_PATH, "serial", "--state", state.string()});
  const std::string device = sim.read_line(5000);
  ASSERT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
  const Outcome found = qmctl("--port " + device + " get 7 0 60 2 '\"DGTSER.CFG\"' 0");
  EXPECT_EQ(found.out.substr(0, 20), "FN=60, 2 data bytes\n") << found.err;
}

using QmsimTiming = Qmctl;

// Polling all units polls each of units 0..3 and says what each did: a wall whose units all
// answer is done at once. A unit that is not installed gets one try and fails nothing; an
// installed one that does not answer fails the command.
TEST_F(QmsimTiming, PollAll_EachUnitInTurnAndTheInstalledOnesDecide) {
  Process sim({QMSIM_PATH, "serial", "--units", "16,16,16,0"});
  const std::string port = "--port " + sim.read_line(5000) + " ";
  write_settings("Unit0 = 16\nUnit1 = 16\nUnit2 = 16\nUnit3 = 16\n");
  const Outcome three = qmctl(port + "--unit -1 poll 1");
  EXPECT_EQ(three.out,
            "unit 0 answered\nunit 1 answered\nunit 2 answered\nno answer from unit 3\n");
  EXPECT_EQ(three.exit_code, 1) << three.err;

  write_settings("Unit0 = 16\nUnit1 = 16\nUnit2 = 16\nUnit3 = 0\n");
  const Outcome installed = qmctl(port + "--unit all poll");
  EXPECT_EQ(installed.out,
            "unit 0 answered\nunit 1 answered\nunit 2 answered\n"
            "no answer from unit 3 (not installed)\n");
  EXPECT_EQ(installed.exit_code, 0) << installed.err;
  EXPECT_LT(installed.millis, 4000);  // one try of 2.5 s for unit 3, none wasted on the rest
}

TEST_F(QmsimTiming, PollAll_AWallThatAnswersIsDoneAtOnce) {
  Process sim({QMSIM_PATH, "serial"});
  const std::string port = "--port " + sim.read_line(5000) + " ";
  write_settings("Unit0 = 16\nUnit1 = 16\nUnit2 = 0\nUnit3 = 0\n");
  const Outcome all = qmctl(port + "--unit all poll");
  EXPECT_EQ(all.out,
            "unit 0 answered\nunit 1 answered\nunit 2 answered (not installed)\n"
            "unit 3 answered (not installed)\n");
  EXPECT_EQ(all.exit_code, 0) << all.err;
  EXPECT_LT(all.millis, 1500);
}

TEST_F(Qmsim, UsageErrors_OneLineInTermsOfModes) {
  const Outcome none = run(QMSIM_PATH, "");
  EXPECT_EQ(none.err, "qmsim: no mode given: serial or tcp\ntry 'qmsim --help'\n");
  EXPECT_EQ(none.exit_code, 2);
  const Outcome bus = run(QMSIM_PATH, "bus");
  EXPECT_EQ(bus.err, "qmsim: unknown mode bus: serial or tcp\ntry 'qmsim --help'\n");
  EXPECT_EQ(bus.exit_code, 2);
  const Outcome help = run(QMSIM_PATH, "--help");
  EXPECT_NE(help.out.find("modes"), std::string::npos);
  EXPECT_EQ(help.out.find("face"), std::string::npos);
}

TEST_F(Qmsim, UsageErrors_ExitTwo) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{QMSIM_PATH},
                                               {QMSIM_PATH, "bus"},
                                               {QMSIM_PATH, "serial", "--units", "16,8,0,0"},
                                               {QMSIM_PATH, "tcp", "--slow"},
                                               {QMSIM_PATH, "tcp", "--signal", "0:3:sync"}}) {
    Process sim(args);
    EXPECT_EQ(sim.read_line(2000), "");
    EXPECT_EQ(sim.terminate(), 2);
  }
}

}  // namespace
}  // namespace qm::test

namespace qm::test {
namespace {

TEST_F(Qmsim, InfoAndReset_ThroughTheSimulator) {
  Process sim({QMSIM_PATH, "serial", "--units", "16,0,0,0"});
  const std::string device = sim.read_line(5000);
  const Outcome info = qmctl("--port " + device + " info");
  EXPECT_EQ(info.exit_code, 0) << info.err;
  EXPECT_EQ(info.out.substr(0, 44), "Reading version information\r\n\r\nUnit 0:\r\nSoft");
  EXPECT_NE(info.out.find("Unit 1:\r\n   N/A\r\n\r\n"), std::string::npos);
  EXPECT_NE(info.out.find("- scan complete"), std::string::npos);
  EXPECT_EQ(qmctl("--port " + device + " reset all").exit_code, 0);
  EXPECT_EQ(qmctl("--port " + device + " reset 4").exit_code, 2);
}

}  // namespace
}  // namespace qm::test

namespace qm::test {
namespace {

TEST_F(Qmsim, Run_DrivesTheSimulatedUnitsWithOutputOnStdout) {
  Process sim({QMSIM_PATH, "serial"});
  const std::string device = sim.read_line(5000);
  const fs::path show = home_ / "show.seq";
  std::ofstream(show) << "REM hello @F\nSEND 7 0 44 0\nWAIT 00:00:00.2\nGET 7 0 4\n";
  const Outcome ok =
      qmctl("--skip-std --port " + device + " run '" + show.string() + "' </dev/null");
  EXPECT_EQ(ok.exit_code, 0) << ok.err;
  EXPECT_EQ(ok.out, "hello " + show.string() + "\nMajor: 4\nMinor: 2\nTitle: Quadrimon unit\n");
  EXPECT_GE(ok.millis, 200);

  const fs::path bad = home_ / "bad.seq";
  std::ofstream(bad) << "\nSEND 7 1\n";
  const Outcome error = qmctl("--skip-std --port " + device + " run '" + bad.string() + "'");
  EXPECT_EQ(error.exit_code, 1);
  EXPECT_NE(error.err.find("ERROR: Send requires at least 3 parameters.\n\nSequence: " +
                           bad.string() + "\nLine: 2\n\n\n"),
            std::string::npos)
      << error.err;
}

// A sequence that never waits still stops on SIGTERM (and Ctrl+C): the run checks for a stop
// between its time slices, not only while it waits.
TEST_F(Qmsim, Run_ALoopWithoutAWaitStopsOnTerminate) {
  Process sim({QMSIM_PATH, "serial"});
  const std::string device = sim.read_line(5000);
  const fs::path loop = home_ / "loop.seq";
  std::ofstream(loop) << "REM going\nREPEAT FOREVER\nSEND 7 0 44 0\nAGAIN\n";
  Process run({QMCTL_PATH, "--skip-std", "--port", device, "run", loop.string()});
  ASSERT_EQ(run.read_line(5000), "going");
  EXPECT_EQ(run.terminate_within(5000), 0);
}

}  // namespace
}  // namespace qm::test
