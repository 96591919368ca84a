// Compile then run: sequence files compiled with the standard include file are run by a
// simulated unit, and what they send, output and wait is checked on the wall's clock.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "compiler/compiler.h"
#include "sim/wall.h"
#include "support/far_side.h"
#include "support/recording_ui.h"
#include "support/temp_folder.h"

namespace qm::sim {
namespace {

namespace fs = std::filesystem;
using test::hex;
using test::to_hex;

class CompileRun : public ::testing::Test {
 protected:
  CompileRun()
      : dir_("compile_run"), wall_([this] {
          WallConfig c;
          c.channels = {16, 16, 0, 0};
          c.clock = [this] { return clock_ms_; };
          return c;
        }()) {}

  // Compiles `source` with std.inc and stores the result in unit 0's flash as `name`.
  void install(const std::string& name, const std::string& source, int sector = 3) {
    const fs::path path = dir_ / (name + ".seq");
    std::ofstream(path) << source;
    CompileOptions options;
    options.std_dir = QM_RESOURCES_DIR;
    ASSERT_EQ(compiler_.compile_sequence(path.string(), std::nullopt, options), 0)
        << (ui_.calls().empty() ? "" : ui_.calls().back());
    std::ifstream in(dir_ / (name + ".sfb"), std::ios::binary);
    const Bytes image{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_TRUE(wall_.with_unit(0, [&](SimUnit& u) { u.flash().put_file(sector, name, image); }));
  }

  // Starts a file of sector 3 the way the program does: function 77 to unit 0.
  void run(const std::string& name) {
    Bytes request = {0x07, 0x00, 77, 3};
    request.insert(request.end(), name.begin(), name.end());
    request.push_back(0);
    wall_.receive(request);
  }

  // Moves the clock to t (ms since the wall was made) and lets the sequences run.
  void at(std::uint64_t t) {
    clock_ms_ = t;
    wall_.tick();
  }

  // What the sequences sent, as "time: message" lines.
  std::vector<std::string> sent() const {
    std::vector<std::string> out;
    for (const auto& e : wall_.transcript())
      if (e.direction == Direction::Sequence)
        out.push_back(std::to_string(e.at_ms) + ": " + to_hex(e.message));
    return out;
  }

  test::TempFolder dir_;
  std::uint64_t clock_ms_ = 0;
  SimWall wall_;
  test::RecordingUi ui_;
  SequenceCompiler compiler_{ui_};
};

TEST_F(CompileRun, SendsWaitsAndLoops_InOrderAndOnTime) {
  install("SHOW.SFB",
          "SEND UNIT 0 FN_DGTBRT 0 200\n"
          "WAIT 00:00:01\n"
          "BARS\n"
          "REPEAT 2\n"
          "  OUTPUT \"AB\"\n"
          "  WAIT 00:00:00:10\n"  // ten frames: 400 ms at 50 fields per second
          "AGAIN\n"
          "VIDEO\n");
  run("SHOW.SFB");
  for (std::uint64_t t = 0; t <= 2000; t += 100)
    at(t);
  EXPECT_EQ(sent(), (std::vector<std::string>{"0: 07 00 11 00 C8", "1000: 87 00 2A FF 03",
                                              "1800: 87 00 2A FF 00"}));
  wall_.with_unit(0, [](SimUnit& u) {
    EXPECT_EQ(std::string(u.output().begin(), u.output().end()), "ABAB");
    const auto settings = u.handle(25, {}, false, 0);
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->data[0], 200);  // the brightness the sequence sent to its own unit
  });
  // The broadcast reached unit 1 too: its channels show colour bars, then video again.
  wall_.with_unit(1, [](SimUnit& u) { EXPECT_EQ(u.handle(31, hex("00"), false, 0)->data[0], 0); });
  EXPECT_TRUE(wall_.receive(hex("07 00 4C")).empty());                     // last sequence result
  EXPECT_EQ(to_hex(wall_.receive(hex("47 00"))[0]), "17 00 4C 00 00 00");  // ended normally
}

TEST_F(CompileRun, ProceduresCallsAndKeys) {
  install("SUB.SFB", "SEND 7 1 FN_KEY 9\n");
  install("MAIN.SFB",
          "PROC TWICE\n"
          "  SEND 7 1 FN_OVERLAY 0\n"
          "  SEND 7 1 FN_OVERLAY 0\n"
          "ENDPROC\n"
          "WAIT EVENT\n"
          "TWICE\n"
          "CALL SUB\n");
  run("MAIN.SFB");
  at(0);
  EXPECT_TRUE(sent().empty());                                       // waiting for a key
  EXPECT_EQ(to_hex(wall_.receive(hex("47 00"))[0]), "17 00 4D 01");  // the run's own reply
  wall_.receive(hex("07 00 4E"));                                    // what is running?
  EXPECT_EQ(to_hex(wall_.receive(hex("47 00"))[0]), "17 00 4E 4D 41 49 4E 2E 53 46 42 00");
  clock_ms_ = 500;
  wall_.receive(hex("07 00 4B 03"));  // key 3 from the keypad
  at(500);
  EXPECT_EQ(sent(),
            (std::vector<std::string>{"500: 07 01 2C 00", "500: 07 01 2C 00", "500: 07 01 4B 09"}));
}

TEST_F(CompileRun, StartFileRunsAfterReset) {
  install("$START.SFB", "REPEAT FOREVER\nSEND 7 0 FN_OVERLAY 0\nWAIT 00:00:00.5\nAGAIN\n", 2);
  wall_.receive(hex("87 00 00"));  // reset every unit
  for (std::uint64_t t = 0; t <= 1000; t += 250)
    at(t);
  EXPECT_EQ(sent(),
            (std::vector<std::string>{"0: 07 00 2C 00", "500: 07 00 2C 00", "1000: 07 00 2C 00"}));
  wall_.receive(hex("07 00 4F"));  // stop
  at(1500);
  EXPECT_EQ(sent().size(), 3u);
}

}  // namespace
}  // namespace qm::sim
