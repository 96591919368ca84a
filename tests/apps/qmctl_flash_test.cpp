// qmctl flash end to end: the real qmctl against the real qmsim over a pseudo-terminal and
// over TCP, including the simulator's transfer faults.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/process.h"
#include "support/qmctl_fixture.h"

namespace qm::test {
namespace {

class QmctlFlash : public Qmctl {
 protected:
  // Starts qmsim on a pseudo-terminal with the extra options; qmctl reaches it by `port_`.
  void start(std::vector<std::string> options = {}) {
    std::vector<std::string> argv{QMSIM_PATH, "serial"};
    argv.insert(argv.end(), options.begin(), options.end());
    sim_ = std::make_unique<Process>(argv);
    port_ = sim_->read_line(5000);
    ASSERT_FALSE(port_.empty());
  }
  Outcome flash(const std::string& args) { return qmctl("--port " + port_ + " flash " + args); }

  std::string write_random(const std::string& name, std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string bytes(n, '\0');
    for (auto& c : bytes)
      c = static_cast<char>(gen());
    std::ofstream(home_ / name, std::ios::binary) << bytes;
    return (home_ / name).string();
  }

  std::unique_ptr<Process> sim_;
  std::string port_;
};

TEST_F(QmctlFlash, PutThenGet_OfTheLargestFile_GivesTheSameBytes) {
  start();
  const std::string local = write_random("big.bin", 65023, 1);
  const Outcome put = flash("put " + local + " 5:BIG.BIN");
  ASSERT_EQ(put.exit_code, 0) << put.err;
  EXPECT_EQ(put.err, "");  // no terminal: nothing until the result, and success is quiet
  const std::string back = (home_ / "back.bin").string();
  const Outcome get = flash("get 5:BIG.BIN " + back);
  ASSERT_EQ(get.exit_code, 0) << get.err;
  EXPECT_EQ(slurp(back), slurp(local));

  const Outcome ls = flash("ls 5");
  EXPECT_EQ(ls.exit_code, 0) << ls.err;
  EXPECT_NE(ls.out.find("BIG.BIN\t65023\n"), std::string::npos) << ls.out;
}

TEST_F(QmctlFlash, LocalFileProblems_AreNamedAndExitThree) {
  start();
  const std::string big = write_random("toobig.bin", 65024, 2);
  const std::string empty = write_random("empty.bin", 0, 3);
  const Outcome too_big = flash("put " + big + " 3:A");
  EXPECT_EQ(too_big.exit_code, 3);
  EXPECT_EQ(too_big.err, "Error: File is too big\n");
  const Outcome empty_put = flash("put " + empty + " 3:A");
  EXPECT_EQ(empty_put.exit_code, 3);
  EXPECT_EQ(empty_put.err, "Error: Can't read file " + empty + ": the file is empty\n");

  ASSERT_EQ(flash("put " + write_random("a.bin", 10, 4) + " 3:A").exit_code, 0);
  const std::string nowhere = (home_ / "no" / "such" / "a.bin").string();
  const Outcome save = flash("get 3:A " + nowhere);
  EXPECT_EQ(save.exit_code, 3);
  EXPECT_EQ(save.err.rfind("Error: Can't save file " + nowhere + ": ", 0), 0u) << save.err;
}

TEST_F(QmctlFlash, ExistingFile_IsReplacedOnlyWithYes) {
  start();
  const std::string one = write_random("one.bin", 100, 5);
  const std::string two = write_random("two.bin", 200, 6);
  ASSERT_EQ(flash("put " + one + " 3:F.SFB").exit_code, 0);
  const Outcome refused = flash("put " + two + " 3:F.SFB");
  EXPECT_EQ(refused.exit_code, 4);
  EXPECT_EQ(refused.err,
            "File \"3:F.SFB\" exists in Flash, overwrite?\nNot replaced: give --yes to overwrite "
            "it\n");
  EXPECT_EQ(flash("put " + two + " 3:F.SFB --yes").exit_code, 0);
  ASSERT_EQ(flash("get 3:F.SFB " + (home_ / "f").string()).exit_code, 0);
  EXPECT_EQ(slurp(home_ / "f"), slurp(two));
}

TEST_F(QmctlFlash, RenameDeleteRunAndErrors) {
  start();
  ASSERT_EQ(flash("put " + write_random("x", 50, 7) + " 4:OLD").exit_code, 0);
  EXPECT_EQ(flash("mv 4:OLD NEW").exit_code, 0);
  EXPECT_EQ(flash("rm 4:OLD").exit_code, 5);
  EXPECT_EQ(flash("rm 4:NEW").exit_code, 0);
  EXPECT_EQ(flash("mv 4:NEW OTHER").exit_code, 5);
  const Outcome run = flash("run 3:NONE.SFB");
  EXPECT_EQ(run.exit_code, 5);
  EXPECT_EQ(run.err, "Not run: 3:NONE.SFB\n");
  const Outcome missing = flash("get 3:NONE.SFB " + (home_ / "n").string());
  EXPECT_EQ(missing.exit_code, 13);
  EXPECT_EQ(missing.err, " Error: opening FLASH file: 3:NONE.SFB\n");
  EXPECT_FALSE(fs::exists(home_ / "n"));

  for (const char* bad : {"ls 6", "get 3:THIRTEENCHARS", "put x 0:A", "mv 3:A", "frob"})
    EXPECT_EQ(flash(bad).exit_code, 2) << bad;
}

// Each fault of the simulator ends in its text and exit status, never in success.
TEST_F(QmctlFlash, SimulatorFaults_EndWithTheirText) {
  const struct {
    std::vector<std::string> options;
    bool get;
    int exit_code;
    const char* text;
  } cases[] = {
      {{"--refuse-write", "3"}, false, 1, " Error: Serial communications failure\n"},
      {{"--no-close-reply"}, false, 1, " Error: Serial communications failure\n"},
      {{"--close-wrong-blocks"}, false, 15, " Error: block transfer\n"},
      {{"--close-wrong-checksum"}, false, 16, " Error: checksum\n"},
      {{"--short-read"}, true, 15, " Error: block transfer\n"},
      {{"--flash-full"}, false, 1, " Error: Serial communications failure\n"},
  };
  const std::string local = write_random("f.bin", 300, 8);
  for (const auto& c : cases) {
    start(c.options);
    if (c.get) {
      ASSERT_EQ(flash("put " + local + " 3:F").exit_code, 0);
    }
    const Outcome got =
        c.get ? flash("get 3:F " + (home_ / "out").string()) : flash("put " + local + " 3:F");
    EXPECT_EQ(got.exit_code, c.exit_code) << c.options[0];
    EXPECT_EQ(got.err, c.text) << c.options[0];
    EXPECT_EQ(sim_->terminate(), 0);
  }
  EXPECT_FALSE(fs::exists(home_ / "out"));
}

TEST_F(QmctlFlash, FragmentedSector_IsCompactedForALargerFile) {
  start({"--fragment", "3", "--compact-ms", "20"});
  const Outcome df = flash("df 3");
  EXPECT_EQ(df.out.rfind("3 Sequence      Free: 100  \t", 0), 0u) << df.out;
  const Outcome put = flash("put " + write_random("f.bin", 2000, 9) + " 3:F");
  EXPECT_EQ(put.exit_code, 0) << put.err;
}

TEST_F(QmctlFlash, GatewayClosedMidTransfer_IsALinkFailure) {
  sim_ = std::make_unique<Process>(
      std::vector<std::string>{QMSIM_PATH, "tcp", "--close-after-blocks", "10"});
  const std::string port = sim_->read_line(5000);
  ASSERT_FALSE(port.empty());
  const Outcome put =
      qmctl("--tcp 127.0.0.1:" + port + " flash put " + write_random("f.bin", 1000, 10) + " 3:F");
  EXPECT_EQ(put.exit_code, 1);
  EXPECT_NE(put.err.find(" Error: Serial communications failure\n"), std::string::npos) << put.err;
}

TEST_F(QmctlFlash, Interrupt_CancelsAtTheNextBlock) {
  start({"--pace"});
  const std::string local = write_random("f.bin", 20000, 11);
  Process put({QMCTL_PATH, "--port", port_, "flash", "put", local, "3:F"});
  // At the line rate the transfer takes over 10 s; whichever check point the request meets
  // first, the transfer ends cancelled. The pause only lets qmctl set up its watch.
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  EXPECT_EQ(put.terminate_within(20000), 19);
}

// keymap add writes the key map the unit reads: the mapped key then starts the sequence.
TEST_F(QmctlFlash, KeymapAdd_ThenTheKeyRunsTheSequence) {
  start();
  const fs::path source = home_ / "show.seq";
  std::ofstream(source) << "WAIT 00:05:00\n";
  ASSERT_EQ(qmctl("--skip-std compile '" + source.string() + "'").exit_code, 0);
  ASSERT_EQ(flash("put '" + (home_ / "show.sfb").string() + "' 3:SHOW.SFB").exit_code, 0);

  const std::string expected =
      "; Character to sequence map file\n;\n; File format: Keycode = sequence.sfb\n\n"
      "65 = SHOW.SFB\n";
  const Outcome added = qmctl("--port " + port_ + " keymap add A SHOW.SFB");
  ASSERT_EQ(added.exit_code, 0) << added.err;
  EXPECT_EQ(added.out, expected);
  const Outcome again = qmctl("--port " + port_ + " keymap add 66 OTHER.SFB");
  EXPECT_EQ(again.out, expected + "66 = OTHER.SFB\n");
  const Outcome shown = qmctl("--port " + port_ + " keymap show");
  EXPECT_EQ(shown.exit_code, 0) << shown.err;
  EXPECT_EQ(shown.out, again.out);

  const std::string unit = "--port " + port_ + " ";
  EXPECT_EQ(qmctl(unit + "get 7 0 78").out.find("SHOW.SFB"), std::string::npos);
  ASSERT_EQ(qmctl(unit + "send 7 0 75 65").exit_code, 0);  // key 65
  const Outcome running = qmctl(unit + "get 7 0 78");
  EXPECT_NE(running.out.find("SHOW.SFB"), std::string::npos) << running.out;

  for (const char* bad : {"keymap", "keymap add 0 SHOW.SFB", "keymap add AB SHOW.SFB",
                          "keymap add 65 THIRTEENCHARS", "keymap show x", "keymap frob"})
    EXPECT_EQ(qmctl(unit + bad).exit_code, 2) << bad;
  EXPECT_EQ(qmctl("help keymap").exit_code, 0);
}

}  // namespace
}  // namespace qm::test
