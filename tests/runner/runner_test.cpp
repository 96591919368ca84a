#include "runner/runner.h"

#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "platform/clock.h"
#include "platform/socket.h"
#include "shell/app.h"
#include "sim/buses.h"
#include "sim/wall.h"
#include "support/far_side.h"
#include "support/wall_rig.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using std::chrono::August;
using std::chrono::December;

// A host that records what the runner shows it.
class RecordingHost final : public RunnerHost {
 public:
  void show_line_number(std::optional<int> line) override { lines.push_back(line.value_or(-1)); }
  void show_output_line(const std::string& text) override { output.push_back(text); }
  void run_stopped() override { events.push_back("stopped"); }
  void buttons_changed(bool stop_pause, bool skip, bool paused) override {
    buttons.emplace_back(stop_pause, skip, paused);
  }
  void run_ended() override { events.push_back("ended"); }
  void clear() {
    lines.clear();
    output.clear();
    events.clear();
    buttons.clear();
  }

  std::vector<int> lines;
  std::vector<std::string> output;
  std::vector<std::string> events;
  std::vector<std::tuple<bool, bool, bool>> buttons;
};

// A runner on a whole App with its settings, std.inc and sequence files in a temporary
// folder, a simulated wall behind a pseudo-terminal or a loopback gateway, and a clock the
// test moves: frozen (exact run times) or following the real one (for link waits).
class RunnerTest : public test::WallRig {
 protected:
  RunnerTest()
      : runner_(app_.runner_services(), RunnerOptions{folder_, [this] { return today_; }}) {
    app_.options.skip_std = true;
    app_.clock.set_source([this] { return (frozen_ ? 0 : platform::monotonic_ms()) + offset_; });
  }
  ~RunnerTest() override { runner_.runner_stop(); }

  std::string path(const std::string& name) const { return (folder_ / name).string(); }
  std::string write(const std::string& name, const std::string& content) const {
    std::ofstream(folder_ / name, std::ios::binary) << content;
    return path(name);
  }
  int start(const std::string& source) {
    return runner_.runner_start(host_, write("main.seq", source));
  }
  // Steps the run to its end, jumping the clock to each wait's deadline; the deadlines.
  std::vector<std::uint32_t> run(int most_waits = 1000) {
    std::vector<std::uint32_t> waits;
    while (const auto next = runner_.runner_step()) {
      const std::uint32_t now = app_.clock.tick_ms();
      if (*next <= now) continue;
      if (static_cast<int>(waits.size()) == most_waits) break;
      waits.push_back(*next);
      offset_ += *next - now;
    }
    return waits;
  }
  std::vector<std::string> run_output(const std::string& source) {
    host_.output.clear();
    if (start(source) == 1) run();
    return host_.output;
  }

  std::vector<std::string> boxes() const {
    std::vector<std::string> out;
    for (const auto& c : ui_.calls())
      if (c.rfind("box:", 0) == 0) out.push_back(c);
    return out;
  }
  std::string error_box(const std::string& message, int line) const {
    return "box: Sequence|ERROR: " + message + "\n\nSequence: " + path("main.seq") +
           "\nLine: " + std::to_string(line) + "\n\nEdit sequence file ?\n";
  }

  std::chrono::year_month_day today_ = std::chrono::year{2011} / August / 1;
  bool frozen_ = true;
  std::uint64_t offset_ = 1000;
  Runner runner_;
  RecordingHost host_;
};

// Procedures P1..Pn, each calling the next, the last one sending; then the call of P1.
std::string nested_calls(int n) {
  std::string source;
  for (int k = 1; k <= n; ++k) {
    source.append("PROC P").append(std::to_string(k)).append("\n");
    if (k < n)
      source.append("P").append(std::to_string(k + 1)).append("\n");
    else
      source.append("SEND 7 1 40 ").append(std::to_string(n)).append("\n");
    source.append("ENDPROC\n");
  }
  return source + "P1\n";
}

TEST_F(RunnerTest, Errors_ReportMessageWithPhysicalLine_AndStop) {
  write("empty.seq", "; nothing here\n\n");
  app_.link.set_port_device(9, path("no-such-port"));
  const std::string too_long = "SEND 7 1 40 \"" + std::string(77, 'x') + "\"";
  struct Case {
    std::string source;
    std::string message;
    int line;
  };
  const std::vector<Case> cases = {
      {"\n; comment\nSEND 7 1", "Send requires at least 3 parameters.", 3},
      {too_long, "Too many parameters", 1},
      {"GET 7 1 4 \"" + std::string(77, 'x') + "\"", "Too many parameters", 1},
      {"SEND 7 1 40 FIVE", "Converting 'FIVE' to an integer.", 1},
      {"GET 7 1", "Get requires at least 3 parameters.", 1},
      {"OUTPUT", "OUTPUT requires at least 1 character.", 1},
      {"OUTPUT 1 x", "Converting 'x' to an number.", 1},
      {"POLL 7", "POLL requires at least two parameter.", 1},
      {"WAIT", "WAIT parameter expected", 1},
      {"WAIT FOR", "WAIT parameter expected", 1},
      {"WAIT 00:00:02 +", "Time offset parameter expected.", 1},
      {"WAIT 00:00:99", "Converting time: 00:00:99", 1},
      {"WAIT TIME", "Parameter expected", 1},
      {"WAIT 00:00:01 00:00:01 x", "Converting 'x' to an integer.", 1},
      {"EXEC prog", "'EXEC' is not a valid command.", 1},
      {"REM " + std::string(129, 'a') + "BAD", "'BAD' is not a valid command.", 2},
      {"\"open", "String termination missing", 1},
      {"DEFINE A B\nDEFINE B A\nA", "Unable to expand line after 10 passes", 3},
      {"DEFINE", "Define requires at least 2 parameters.", 1},
      {"DEFINE SEND 1", "Attempt to redefine command: 'SEND'", 1},
      {"DEFINE X", "Macro 'X' has no body.", 1},
      {"DEFINE X 1\nDEFINE X 1\nDEFINE X 2", "Attempt to redefine: 'X'", 3},
      {"DEFINE F SEND 7 ?0", "Argument: ?0 out of range", 1},
      {"DEFINE F SEND 7 ?2\nF 1 2", "Value error ?1", 2},
      {"DEFINE F SEND 7 ?1 40 ?2\nF 1", "Insufficient parameters to F", 2},
      {"SET", "Set requires a parameter.", 1},
      {"SET Y 1", "'Y' is not a defined symbol.", 1},
      {"SET _UNIT 5", "Unit - value out of range", 1},
      {"FORGET", "Forget requires a parameter.", 1},
      {"DEFINE Y 1\nFORGET Y\nFORGET Y", "'Y' is not a defined symbol.", 3},
      {"PROC", "Procedure name expected.", 1},
      {"PROC SEND", "Attempt to redefine SEND", 1},
      {"PROC P\nSEND 7 1 40", "ENDPROC expected.", 1},
      {"ENDPROC", "Unexpected procedure end.", 1},
      {"PROC P A B\nENDPROC\nP 1", "Insufficient parameters to P", 3},
      {"PROC P A B\nENDPROC\nP 1 2 3", "Too many parameters to P", 3},
      {nested_calls(32), "Max procedure nesting depth exceded.", 92},
      {"REPEAT x", "Can't convert to integer: ", 1},
      {"REPEAT 10001", "Repeat parameter error: ", 1},
      {"\nREPEAT 2\nEND", "End of file in loop from line: 2", 3},
      {"REPEAT\nUNTIL", "Time parameter expected", 2},
      {"REPEAT\nUNTIL LOOP", "Time parameter expected", 2},
      {"RADIX", "RADIX requires a parameter.", 1},
      {"RADIX zz", "Converting 'zz' to an integer.", 1},
      {"RADIX 16\nRADIX 10\nRADIX 11", "Radix must be between 2..16 -", 3},
      {"EXIT", "IF expected.", 1},
      {"EXIT WHEN X", "IF expected not: ", 1},
      {"EXIT IF DEFINED", "EXIT IF requires a symbol name.", 1},
      {"INCLUDE", "Include filename expected.", 1},
      {"INCLUDE \"x\".seq", "Include filename mismatched quotes.", 1},
      {"INCLUDE " + path("empty.seq"), "Reading file " + path("empty.seq"), 1},
      {"CALL", "Filename expected", 1},
      {"SPEED", "Parameter expected.", 1},
      {"SPEED 115200", "Converting '115200' to an integer.", 1},
      {"SPEED 9600", "Setting COM port speed to 9600 ", 1},
      {"USE", "New access port expected.", 1},
      {"USE COMX", "Converting 'COMX' to an integer.", 1},
      {"USE COM2: 0", "port speed 0", 1},
      {"USE COM9", "Unable to open COM9", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    ui_.clear();
    host_.clear();
    ASSERT_EQ(start(c.source + "\nREM not reached\n"), 1);
    run();
    EXPECT_EQ(boxes(), std::vector<std::string>{error_box(c.message, c.line)});
    EXPECT_EQ(runner_.state(), RunnerState::Stopped);
    EXPECT_TRUE(host_.output.empty() || host_.output.back() != "not reached");
    EXPECT_EQ(host_.events, (std::vector<std::string>{"stopped", "ended"}));
  }
}

// A line of 132 characters fills its piece but for the line end, CR LF as well as LF.
TEST_F(RunnerTest, Errors_CrLfLineEndsNumberTheLinesAsLfDoes) {
  const std::string full = "; " + std::string(130, 'c');
  for (const std::string end : {"\n", "\r\n"}) {
    SCOPED_TRACE(end.size());
    ui_.clear();
    ASSERT_EQ(start(full + end + "BAD" + end + "REM not reached" + end), 1);
    run();
    EXPECT_EQ(boxes(), std::vector<std::string>{error_box("'BAD' is not a valid command.", 2)});
  }
}

TEST_F(RunnerTest, Errors_YesOpensEditorAtLine_LoadingErrorsOfferNoEdit) {
  ui_.answer({BoxAnswer::Yes});
  ASSERT_EQ(start("\n\nSEND 7"), 1);
  run();
  EXPECT_EQ(ui_.calls().back(), "edit:" + path("main.seq") + ":3");

  ui_.clear();
  EXPECT_EQ(runner_.runner_start(host_, path("missing.seq")), 0);
  EXPECT_EQ(boxes(), std::vector<std::string>{"box: Sequence|ERROR: Can't open file: " +
                                              path("missing.seq")});

  // An include that cannot be read: the loader's report, then the command's own.
  ui_.clear();
  ASSERT_EQ(start("INCLUDE " + path("missing.seq")), 1);
  run();
  EXPECT_EQ(boxes(),
            (std::vector<std::string>{"box: Sequence|ERROR: Reading file: " + path("missing.seq") +
                                          "\n\nSequence: " + path("main.seq") + "\nLine: 1\n\n",
                                      "box: Sequence|ERROR: Reading file " + path("missing.seq")}));
}

TEST_F(RunnerTest, Send_MacrosStringsAndBroadcast_OnTheWire) {
  connect_serial();
  ASSERT_EQ(start("DEFINE LEVEL 5\n"
                  "SEND 7 1 40 LEVEL\n"
                  "SEND 7,-1,40\n"
                  "SEND 7 1 41 \"A B,C\" &300\n"
                  "DEFINE FADE SEND 7 ?1 42 ?2\n"
                  "FADE 0 9\n"
                  "SEND 7 1 43 \"" +
                  std::string(76, 'x') + "\"\n"),
            1);
  run();
  EXPECT_TRUE(boxes().empty());
  const auto wire = sent_to_units(5);
  ASSERT_EQ(wire.size(), 5u);
  EXPECT_EQ(wire[0], "07 01 28 05");
  EXPECT_EQ(wire[1], "87 FF 28");
  EXPECT_EQ(wire[2], "07 01 29 41 20 42 2C 43 2C 01");
  EXPECT_EQ(wire[3], "07 00 2A 09");
  EXPECT_EQ(wire[4].size(), (3 + 76) * 3 - 1);  // the most data a message carries
}

TEST_F(RunnerTest, Procedures_TakeArguments_NestThirtyOneDeep_OutliveTheirDefinition) {
  connect_serial();
  ASSERT_EQ(start("PROC FADE ADDR VALUE\n"
                  "SEND 7 ADDR 41 VALUE\n"
                  "ENDPROC\n"
                  "PROC TWICE\n"
                  "FADE 1 10\n"
                  "FADE 0,\"A\"\n"
                  "ENDPROC\n"
                  "TWICE ignored\n"
                  "SEND 7 1 42\n"),
            1);
  run();
  EXPECT_TRUE(boxes().empty());
  EXPECT_EQ(sent_to_units(3), (std::vector<std::string>{"07 01 29 0A", "07 00 29 41", "07 01 2A"}));

  ASSERT_EQ(start(nested_calls(31)), 1);
  run();
  EXPECT_TRUE(boxes().empty());
  EXPECT_EQ(sent_to_units(4).back(), "07 01 28 1F");
}

TEST_F(RunnerTest, Get_ShowsReplyOrFailure_AndContinues) {
  connect_serial();
  frozen_ = false;
  const auto output = run_output("GET 7 1 4\nGET 7 2 4\nREM after\n");
  EXPECT_TRUE(boxes().empty());
  EXPECT_EQ(output, (std::vector<std::string>{"Major: 4", "Minor: 2", "Title: Quadrimon unit",
                                              "Error: Reading data for function 4", "after"}));
}

TEST_F(RunnerTest, Poll_StopsAtFirstAddressThatAnswers) {
  connect_serial();
  frozen_ = false;
  const auto output = run_output("POLL 7 2 1 0\n");
  EXPECT_TRUE(boxes().empty());
  EXPECT_EQ(output, std::vector<std::string>{"Device: 7 Address: 2 failed poll. "});
  EXPECT_EQ(polls_sent(2), (std::vector<std::string>{"47 02", "47 01"}));
}

TEST_F(RunnerTest, Output_LongerThanOneFrame_ArrivesWholeAndInOrder) {
  connect_tcp();
  frozen_ = false;
  const std::string text(110, 'q');
  // The GET's round trip makes sure the gateway has taken the output before it.
  run_output("OUTPUT \"" + text + "\" 13 10\nGET 7 1 4\n");
  EXPECT_TRUE(boxes().empty());
  const sim::Bytes out = wall_.output();
  EXPECT_EQ(std::string(out.begin(), out.end()), text + "\r\n");
}

TEST_F(RunnerTest, Use_SpeedOnlyAsSecondToken) {
  connect_serial();
  test::PtyPair com2;
  app_.link.set_port_device(2, com2.slave_path());
  auto speed = [&] {
    termios tio{};
    EXPECT_EQ(tcgetattr(com2.master(), &tio), 0);
    return cfgetospeed(&tio);
  };
  run_output("USE COM2:9600\n");
  EXPECT_TRUE(boxes().empty());
  EXPECT_EQ(app_.settings.values.com_port, 1);
  EXPECT_EQ(speed(), B19200);
  const auto calls = ui_.calls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "link: COM2:"), calls.end());

  run_output("USE com2: 9600\n");
  EXPECT_TRUE(boxes().empty());
  EXPECT_EQ(speed(), B9600);
}

TEST_F(RunnerTest, Wait_TimeExpressions_SetDeadlinesInRunTime) {
  ASSERT_EQ(start("WAIT 00:00:02 + 00:00:00.5 3\n"  // 2000 + 3 x 500
                  "WAIT 00:00:02 - 00:00:01\n"      // + 1000
                  "WAIT FOR TIME 00:00:01\n"        // + 1000
                  "WAIT UNTIL 00:00:05\n"           // already past: no wait
                  "WAIT UNTIL 00:00:06\n"
                  "NTSC\n"
                  "WAIT 00:00:00:30\n"  // 60 fields of 16 ms
                  "PAL\n"
                  "WAIT 00:00:01.5\n"),
            1);
  EXPECT_EQ(run(), (std::vector<std::uint32_t>{3500, 4500, 5500, 6000, 6960, 8460}));
  EXPECT_TRUE(boxes().empty());
}

TEST_F(RunnerTest, PauseAndSkip_FollowTheRunDialogsRules) {
  ASSERT_EQ(start("REM a\nWAIT EVENT\nREM b\nWAIT 00:00:01\nREM c\n"), 1);
  runner_.pause();  // not waiting: no effect
  EXPECT_EQ(runner_.state(), RunnerState::Running);
  EXPECT_EQ(runner_.runner_step(), 2147483647u);
  EXPECT_EQ(runner_.state(), RunnerState::Waiting);
  runner_.skip();
  const auto deadline = runner_.runner_step();
  ASSERT_TRUE(deadline);
  EXPECT_EQ(*deadline, runner_.run_time() + 1000);
  runner_.pause();
  EXPECT_EQ(runner_.state(), RunnerState::Paused);
  offset_ += 5000;  // far past the deadline, yet paused
  EXPECT_EQ(runner_.runner_step(), std::nullopt);
  EXPECT_EQ(host_.output, (std::vector<std::string>{"a", "b"}));
  runner_.pause();  // "Run"
  EXPECT_EQ(runner_.runner_step(), std::nullopt);
  EXPECT_EQ(host_.output, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(runner_.state(), RunnerState::Stopped);
  using B = std::tuple<bool, bool, bool>;
  EXPECT_EQ(host_.buttons, (std::vector<B>{{true, false, false},
                                           {true, true, false},
                                           {true, false, false},
                                           {true, true, false},
                                           {true, true, true},
                                           {true, false, false},
                                           {false, false, false}}));
  EXPECT_EQ(host_.lines, (std::vector<int>{1, 2, 3, 4, 5, -1}));
  EXPECT_EQ(app_.idle.job(), kJobNone);
}

TEST_F(RunnerTest, Loops_CountIterationsAndLeaveByTime) {
  EXPECT_EQ(run_output("REPEAT 3\nREM pass @I\nAGAIN\nREM after\n"),
            (std::vector<std::string>{"pass 1", "pass 2", "pass 3", "after"}));
  EXPECT_EQ(run_output("REPEAT 2\nREPEAT FOREVER\nREM @J.@I\nUNTIL LOOP 00:00:05\nAGAIN\n"),
            (std::vector<std::string>{"1.1", "2.1"}));
  EXPECT_EQ(run_output("AGAIN\nUNTIL 00:00:01\nREM no loop open: nothing\n"),
            std::vector<std::string>{"no loop open: nothing"});

  // LOOP: the loop goes round again only once the time since the REPEAT has passed.
  EXPECT_EQ(run_output("REPEAT\nWAIT 00:00:04\nREM @I\nUNTIL LOOP 00:00:10\nREM left\n"),
            (std::vector<std::string>{"1", "left"}));
  host_.output.clear();
  ASSERT_EQ(start("REPEAT\nWAIT 00:00:04\nREM @I\nUNTIL LOOP 00:00:03\nREM left\n"), 1);
  run(3);
  EXPECT_EQ(host_.output, (std::vector<std::string>{"1", "2", "3"}));

  // ELAPSED (the default): the same against the run time.
  EXPECT_EQ(run_output("REPEAT\nWAIT 00:00:01\nREM @I\nUNTIL ELAPSED 00:00:10\nREM left\n"),
            (std::vector<std::string>{"1", "left"}));
  host_.output.clear();
  ASSERT_EQ(start("WAIT 00:00:12\nREPEAT\nWAIT 00:00:01\nREM @I\nUNTIL TIME 00:00:10\n"), 1);
  run(4);
  EXPECT_EQ(host_.output, (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_TRUE(boxes().empty());
}

TEST_F(RunnerTest, StdInc_RunsFirst_ExitEndsOnlyIt_ItsProceduresStayCallable) {
  const std::string std_inc = write("std.inc",
                                    "; standard\n"
                                    "REM std first\n"
                                    "PROC HELLO\n"
                                    "REM hello\n"
                                    "ENDPROC\n"
                                    "EXIT IF DEFINED _UNIT\n"
                                    "REM never\n");
  app_.options.skip_std = false;
  EXPECT_EQ(run_output("REM main\nHELLO\n"),
            (std::vector<std::string>{"std first", "main", "hello"}));
  EXPECT_EQ(ui_.statuses(),
            (std::vector<std::string>{path("main.seq"), std_inc, path("main.seq")}));
  EXPECT_EQ(ui_.calls().back(), "clear");

  // A file without a line to run does not start, and std.inc does not run either.
  ui_.clear();
  host_.clear();
  EXPECT_EQ(start("; only a comment\n\n"), 0);
  EXPECT_TRUE(boxes().empty());
  EXPECT_TRUE(host_.output.empty());
  EXPECT_EQ(host_.events, (std::vector<std::string>{"stopped", "ended"}));

  fs::remove(std_inc);
  ui_.clear();
  EXPECT_EQ(start("REM main\n"), 0);
  EXPECT_EQ(boxes(), std::vector<std::string>{"box: Sequence|ERROR: Can't find file: " + std_inc +
                                              "\n\nSequence: " + path("main.seq") + "\n"});
}

TEST_F(RunnerTest, IncludeAndCall_RunNextThenTheIncludingFileContinues) {
  const std::string inc = write("inc.seq", "REM two\nEXIT IF _UNIT\nREM never\n");
  write("sub.SEQ", "REM four\n");
  EXPECT_EQ(run_output("REM one\nINCLUDE \"" + inc + "\"\nREM three\nCALL " + path("sub") +
                       "\nREM five\nEXIT IF _UNIT\nREM never\n"),
            (std::vector<std::string>{"one", "two", "three", "four", "five"}));
  EXPECT_TRUE(boxes().empty());
  EXPECT_EQ(runner_.state(), RunnerState::Stopped);
}

TEST_F(RunnerTest, Include_OfItself_StopsAtTheFileLimitWithAnError) {
  const std::string self = path("self.seq");
  write("self.seq", "REM in\nINCLUDE \"" + self + "\"\n");
  const auto output = run_output("INCLUDE \"" + self + "\"\n");
  // The run's own file and 63 copies of self.seq; the 64th INCLUDE is refused.
  EXPECT_EQ(output.size(), 63u);
  const auto shown = boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "box: Sequence|ERROR: Include file nested too deep: " + self +
                          "\n\nSequence: " + self + "\nLine: 2\n\nEdit sequence file ?\n");
  EXPECT_EQ(runner_.state(), RunnerState::Stopped);
}

TEST_F(RunnerTest, SetUnit_SelectsDuringTheRun_RestoredAfter) {
  connect_serial();
  app_.settings.values.id = 0;
  run_output("SET _UNIT 1\nSEND 7 _UNIT 40\nSET _UNIT x\nSEND 7 _UNIT 41\n");
  EXPECT_TRUE(boxes().empty());
  EXPECT_EQ(sent_to_units(2), (std::vector<std::string>{"07 01 28", "07 01 29"}));
  EXPECT_EQ(app_.settings.values.id, 0);
  std::vector<std::string> units;
  for (const auto& c : ui_.calls())
    if (c.rfind("unit:", 0) == 0) units.push_back(c);
  EXPECT_EQ(units, (std::vector<std::string>{"unit: ID1", "unit: ID0"}));
}

TEST_F(RunnerTest, AtCodes_DateFileBellAndOthersRemoved) {
  EXPECT_EQ(run_output("REM @D\nREM [@b]@F@xy@\n"),
            (std::vector<std::string>{" Monday the 1st of August 2011",
                                      "[\a]" + path("main.seq") + "y"}));
  today_ = std::chrono::year{2011} / December / 22;
  EXPECT_EQ(run_output("REM @d\n"),
            std::vector<std::string>{" Thursday the 22nd of Decemeber 2011"});

  const std::vector<std::pair<unsigned, std::string>> suffixes = {
      {2, "nd"},  {3, "rd"},  {4, "th"},  {11, "th"}, {12, "th"}, {13, "th"},
      {21, "st"}, {23, "rd"}, {24, "th"}, {30, "th"}, {31, "st"}};
  for (const auto& [day, suffix] : suffixes) {
    today_ = std::chrono::year{2011} / December / std::chrono::day{day};
    const auto output = run_output("REM @D\n");
    ASSERT_EQ(output.size(), 1u);
    const std::string date =
        std::string(" ").append(std::to_string(day)).append(suffix).append(" of");
    EXPECT_NE(output[0].find(date), std::string::npos) << output[0];
  }
}

TEST(RunTime, ShowsHoursMinutesSecondsAndFrames) {
  using T = std::array<std::string, 4>;
  EXPECT_EQ(format_run_time(((4 * 60 + 20) * 60 + 7) * 1000 + 500), (T{"04", "20", "07", "25"}));
  EXPECT_EQ(format_run_time(0), (T{"00", "00", "00", "00"}));
  EXPECT_EQ(format_run_time(3599999), (T{"00", "59", "59", "49"}));
  EXPECT_EQ(format_run_time(100 * 3600000u), (T{"100", "00", "00", "00"}));
}

}  // namespace
}  // namespace qm
