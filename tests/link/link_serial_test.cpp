// The link over a real pseudo-terminal with a scripted unit on the far side.
#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <thread>

#include "support/link_rig.h"

namespace qm::test {
namespace {

using SerialLink = LinkRig;
// Cases that bound the wall time they take: the suites named *Timing run one at a time, away
// from the other tests' load (CTest label "timing").
using SerialLinkTiming = LinkRig;

// A unit that stays silent but records what it receives.
ScriptedUnit::Handler silent() {
  return [](const UnitFrame&) { return Bytes{}; };
}

// The trace lines of the log, without their stamps.
std::vector<std::string> trace_lines(const std::string& log) {
  std::vector<std::string> out;
  const std::regex line(R"(    \w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d\.[\d ]{3} (.*))");
  std::smatch m;
  std::size_t start = 0;
  while (start < log.size()) {
    std::size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    const std::string text = log.substr(start, end - start);
    if (std::regex_match(text, m, line)) out.push_back(m[1]);
    start = end + 1;
  }
  return out;
}

TEST_F(SerialLink, UnitSend_PutsTheExactFrameOnTheWire) {
  PtyPair pty;
  open_serial(pty);
  link_.unit_send(7, 0, 35, {});
  link_.unit_send(7, 255, 16, std::vector<std::uint8_t>{1, 0x7E});
  link_.unit_send_poll(7, 1);
  link_.unit_send_poll(7, 255);
  EXPECT_EQ(to_hex(pty.read_master(6 + 9 + 5 + 5, 1000)),
            "7E 07 00 23 D6 7D "
            "7E 87 FF 10 01 7C 5E EB 7D "
            "7E 47 01 B8 7D "
            "7E 47 FF BA 7D");
  EXPECT_EQ(ui_.calls(), (std::vector<std::string>{"tx", "tx", "tx", "tx"}));
}

TEST_F(SerialLink, UnitSend_RefusesMoreThanSeventySixDataBytes) {
  PtyPair pty;
  open_serial(pty);
  EXPECT_FALSE(link_.unit_send(7, 0, 64, std::vector<std::uint8_t>(77, 1)));
  EXPECT_TRUE(link_.unit_send(7, 0, 64, std::vector<std::uint8_t>(76, 1)));
  const Bytes wire = pty.read_master(200, 200);
  ASSERT_FALSE(wire.empty());
  EXPECT_EQ(wire.size(), 1u + 3 + 76 + 1 + 1);
}

TEST_F(SerialLink, UnitGet_ReturnsTheReplyAfterThePoll) {
  PtyPair pty;
  ScriptedUnit unit(pty,
                    polite_unit(0, [](const UnitFrame&) { return hex("01 01 00 00 01 10 02"); }));
  open_serial(pty);
  auto frame = link_.unit_get(7, 0, 35, {});
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->count, 10);
  EXPECT_EQ(frame->function(), 35);
  EXPECT_EQ(to_hex(Bytes(frame->data().begin(), frame->data().end())), "01 01 00 00 01 10 02");
  ASSERT_TRUE(unit.wait_frames(2, 1000));
  EXPECT_EQ(to_hex(unit.wire()), "7E 07 00 23 D6 7D 7E 47 00 B9 7D");
}

TEST_F(SerialLink, UnitGet_SkipsRepliesOfOtherFunctionsAndUnits) {
  PtyPair pty;
  // On the first poll the unit sends a reply to another function, one from another unit,
  // a stray byte and then the reply asked for.
  ScriptedUnit unit(pty, [](const UnitFrame& request) {
    if (!(request.type() & kTypePoll)) return Bytes{};
    Bytes out = reply(0, 34);
    for (const Bytes& b : {reply(1, 35, {9}), hex("41"), reply(0, 35, {5})})
      out.insert(out.end(), b.begin(), b.end());
    return out;
  });
  open_serial(pty);
  auto frame = link_.unit_get(7, 0, 35, {});
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->address(), 0);
  EXPECT_EQ(frame->data()[0], 5);
}

TEST_F(SerialLink, UnitGet_WaitsThroughSecondPollAndSecondSend) {
  for (int answer_on : {2, 3}) {
    SCOPED_TRACE(answer_on);
    PtyPair pty;
    int polls = 0;
    ScriptedUnit unit(pty, [&](const UnitFrame& request) {
      if (!(request.type() & kTypePoll)) return Bytes{};
      return ++polls == answer_on ? reply(2, 4, {1, 2, 0}) : Bytes{};
    });
    open_serial(pty);
    ASSERT_TRUE(link_.unit_get(7, 2, 4, {}));
    // second poll: request, poll, poll; third poll: request, poll, poll, request, poll
    const std::size_t expected = answer_on == 2 ? 3 : 5;
    EXPECT_TRUE(unit.wait_frames(expected, 1000));
    EXPECT_EQ(unit.frames().size(), expected);
    link_.com_release();
  }
}

TEST_F(SerialLinkTiming, UnitGet_SilentUnit_SendsTwiceAndPollsFourTimesWithTraces) {
  PtyPair pty;
  ScriptedUnit unit(pty, silent());
  open_serial(pty);
  log_.log_enable(true);
  const std::uint32_t start = link_.tick_ms();
  EXPECT_FALSE(link_.unit_get(7, 0, 35, {}));
  const std::uint32_t took = link_.tick_ms() - start;
  EXPECT_GE(took, 4 * kSerialReplyWaitMs);  // four waits for a reply
  EXPECT_LT(took, 2000u);                   // not the remote link's 1 s per wait
  ASSERT_TRUE(unit.wait_frames(6, 1000));
  EXPECT_EQ(to_hex(unit.wire()),
            "7E 07 00 23 D6 7D 7E 47 00 B9 7D 7E 47 00 B9 7D "
            "7E 07 00 23 D6 7D 7E 47 00 B9 7D 7E 47 00 B9 7D");
  EXPECT_EQ(trace_lines(log_text()),
            (std::vector<std::string>{"Get data, fn = 35...", "Timeout", "Timeout",
                                      "Get data, fn = 35...", "Timeout", "Timeout", "Get failed"}));
}

TEST_F(SerialLink, Log_RecordsFramesBothWaysAndStrayBytesAsHexAndCharacter) {
  PtyPair pty;
  ScriptedUnit unit(pty, [](const UnitFrame& request) {
    if (!(request.type() & kTypePoll)) return Bytes{};
    Bytes out = hex("41");
    const Bytes r = reply(0, 3, {0x21, 1, 0, 0});
    out.insert(out.end(), r.begin(), r.end());
    return out;
  });
  open_serial(pty);
  log_.log_enable(true);
  ASSERT_TRUE(link_.unit_get(7, 0, 3, {}));
  const std::string stamp = R"(\w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d\.[\d ]{3} )";
  const std::regex expected("    " + stamp + "Get data, fn = 3...\n" + "Tx> " + stamp +
                            "7E070003F67D\n" + "Tx> " + stamp + "7E4700B97D\n" + "41A<Rx " + stamp +
                            "7E17000321010000C47D\n");
  EXPECT_TRUE(std::regex_match(log_text(), expected)) << log_text();
}

TEST_F(SerialLink, LinkReceive_TakesAtMostEightyOneBytesPerCall) {
  PtyPair pty;
  open_serial(pty);
  Bytes wire(100, 0x55);  // stray bytes ahead of a frame
  const Bytes r = reply(0, 3);
  wire.insert(wire.end(), r.begin(), r.end());
  pty.write_master(wire);
  link_.wait_for_input(1000);
  EXPECT_FALSE(link_.link_receive());  // 81 stray bytes taken, 19 and the frame remain
  int calls = 1;
  std::optional<UnitFrame> frame;
  while (!frame && calls < 5) {
    link_.wait_for_input(100);
    frame = link_.link_receive();
    ++calls;
  }
  ASSERT_TRUE(frame);
  EXPECT_EQ(calls, 2);
}

TEST_F(SerialLink, UnitPoll_ReportsAnswerPollBitOrSilence) {
  {
    PtyPair pty;
    ScriptedUnit unit(pty, polite_unit(0, [](const UnitFrame&) { return Bytes{}; }));
    open_serial(pty);
    EXPECT_EQ(link_.unit_poll(3), 0);
    EXPECT_EQ(unit.frames().size(), 1u);
    link_.com_release();
  }
  {
    PtyPair pty;
    ScriptedUnit unit(pty, [](const UnitFrame&) { return frame_of(hex("47 00")); });
    open_serial(pty);
    EXPECT_EQ(link_.unit_poll(3), 2);
    link_.com_release();
  }
  {
    PtyPair pty;
    ScriptedUnit unit(pty, silent());
    open_serial(pty);
    const std::uint32_t start = link_.tick_ms();
    EXPECT_EQ(link_.unit_poll(1), 1);
    EXPECT_GE(link_.tick_ms() - start, kPollWaitMs);
  }
}

TEST_F(SerialLink, UnitWaitAny_AnyFrameEndsTheWait) {
  PtyPair pty;
  std::atomic<bool> answer = true;  // read by the unit's thread
  ScriptedUnit unit(pty, [&](const UnitFrame&) { return answer ? reply(3, 99) : Bytes{}; });
  settings_.id = 3;
  open_serial(pty);
  EXPECT_EQ(link_.unit_wait_any(1000), 1);
  answer = false;
  const std::uint32_t start = link_.tick_ms();
  EXPECT_EQ(link_.unit_wait_any(30), 0);
  EXPECT_GE(link_.tick_ms() - start, 30u);
  ASSERT_TRUE(unit.wait_frames(2, 1000));
  const Bytes wire = unit.wire();
  EXPECT_EQ(Bytes(wire.begin(), wire.begin() + 5), frame_of(hex("47 03")));
}

TEST_F(SerialLink, SelectPortAndSpeed_KeepAnOpenPortAndReportRates) {
  PtyPair pty;
  EXPECT_EQ(link_.com_set_speed(9600), -1);  // no port open
  link_.set_port_device(1, pty.slave_path());
  link_.set_port_device(2, "/nonexistent/port");
  EXPECT_EQ(link_.com_select_port(1), 1);
  EXPECT_EQ(settings_.com_port, 0);
  EXPECT_EQ(link_.com_select_port(2), -1);  // cannot open: the current port stays
  EXPECT_EQ(settings_.com_port, 0);
  settings_.ip = true;
  EXPECT_EQ(link_.com_select_port(1), 1);  // already open: kept, remote link dropped
  EXPECT_FALSE(settings_.ip);
  EXPECT_TRUE(link_.serial_open());
  EXPECT_EQ(ui_.calls().back(), "link: COM1:");
  EXPECT_EQ(link_.com_set_speed(19200), 0);
  EXPECT_EQ(link_.com_set_speed(9600), 0);
  EXPECT_EQ(link_.com_set_speed(12345), -1);  // no such rate
  link_.unit_send(7, 0, 35, {});
  EXPECT_EQ(to_hex(pty.read_master(6, 1000)), "7E 07 00 23 D6 7D");
}

TEST_F(SerialLink, OutputRaw_WritesBytesUnframedAndUnlogged) {
  PtyPair pty;
  open_serial(pty);
  log_.log_enable(true);
  const Bytes raw = hex("7E 7D 7C 00 41");
  link_.link_output_raw(raw.size(), raw.data());
  EXPECT_EQ(pty.read_master(5, 1000), raw);
  EXPECT_EQ(log_text(), "");
}

TEST_F(SerialLinkTiming, RefusedWrites_ReleaseThePortAfterASecond) {
  auto pty = std::make_unique<PtyPair>();
  open_serial(*pty);
  pty.reset();  // the adapter is gone: every write fails
  const std::uint32_t start = link_.tick_ms();
  link_.unit_send(7, 0, 35, {});
  const std::uint32_t took = link_.tick_ms() - start;
  EXPECT_GE(took, kWriteRetryMs);
  EXPECT_LT(took, 2 * kWriteRetryMs);  // one retry period, not two
  EXPECT_FALSE(link_.serial_open());
  EXPECT_EQ(settings_.com_port, -1);
  EXPECT_EQ(ui_.statuses(),
            std::vector<std::string>{"COM1: stopped accepting data and was closed"});
  EXPECT_FALSE(link_.unit_get(7, 0, 35, {}));  // no link now: none at once
}

TEST_F(SerialLinkTiming, HangUpDuringAWait_ReleasesThePortAndEndsTheWait) {
  auto pty = std::make_unique<PtyPair>();
  open_serial(*pty);
  auto unit = std::make_unique<ScriptedUnit>(*pty, silent());
  std::thread hang_up([&] {
    unit->wait_frames(1, 5000);  // the poll has arrived
    unit.reset();
    pty.reset();  // the adapter is unplugged while the link waits for the answer
  });
  const std::uint32_t start = link_.tick_ms();
  EXPECT_EQ(link_.unit_poll(1), 1);
  const std::uint32_t took = link_.tick_ms() - start;
  hang_up.join();
  EXPECT_LT(took, kPollWaitMs / 2);  // not the whole 2.5 s
  EXPECT_FALSE(link_.serial_open());
  EXPECT_EQ(settings_.com_port, -1);
  EXPECT_EQ(ui_.statuses(),
            std::vector<std::string>{"COM1: stopped accepting data and was closed"});
}

TEST_F(SerialLink, HungUpPort_AWaitReleasesItAtOnce) {
  auto pty = std::make_unique<PtyPair>();
  open_serial(*pty);
  pty.reset();
  ui_.clear();
  link_.wait_for_input(kPollWaitMs);
  EXPECT_FALSE(link_.serial_open());
  EXPECT_EQ(ui_.calls(), (std::vector<std::string>{
                             "link:   -", "status:COM1: stopped accepting data and was closed"}));
}

}  // namespace
}  // namespace qm::test
