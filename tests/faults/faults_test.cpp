// qmctl against peers that misbehave: gateways that flood, stay silent, stop reading, reset
// the connection, split their frames or lie, and serial lines that send garbage, hang up,
// flood or stay silent. Every case runs the real executable and checks its exit status, the
// text that says what happened, and that it ended within the time the link promises for it.
// Each case prints the time it took beside its bound.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/link.h"
#include "platform/socket.h"
#include "support/far_side.h"
#include "support/process.h"
#include "support/qmctl_fixture.h"

namespace qm::test {
namespace {

// --- The bounds, from the link's waits ----------------------------------------------------

// What every run takes besides the link's waits: starting and ending the program under the
// sanitizers, reading the settings, connecting on the loopback.
constexpr long kStartMs = 1500;
// A request over TCP (Link::unit_get): the drain of what has already arrived, ended after
// one reply wait, then two sends with two polls each, every poll waiting kTcpReplyWaitMs.
constexpr long kTcpGetMs = 5 * kTcpReplyWaitMs;
// The same over a serial line, whose reply wait is kSerialReplyWaitMs.
constexpr long kSerialGetMs = 5 * kSerialReplyWaitMs;
// What a request that gets no reply waits at least: its four polls, each waited out.
constexpr long kTcpGetWaitedMs = 4 * kTcpReplyWaitMs;
// One try of a poll (Link::unit_poll): the drain, ended after kPollWaitMs however much keeps
// coming, then the wait for the answer, kPollWaitMs.
constexpr long kPollTryMs = 2 * kPollWaitMs;
// The gateway's verdict on the secret is awaited kAuthenticationWaitMs (Link::tcp_connect).
constexpr long kAuthMs = kAuthenticationWaitMs;
// A line that hung up: a wait sees it at once; a write it refuses is retried for
// kWriteRetryMs before the port is given up (SerialTransport).
constexpr long kHangUpMs = kWriteRetryMs;
// A send the gateway does not take is given up after platform::kSendStallMs. Before a send
// stalls, the connection's buffers have to fill (the kernel's send buffer grows to a few MB):
// how long a sequence sending in a loop takes for that depends on the machine, so that part
// is bounded loosely.
constexpr long kStallMs = platform::kSendStallMs;
constexpr long kFillMs = 30000;
// Nothing to wait for: the answer is there, or the link is gone.
constexpr long kAtOnceMs = 0;

// --- The peers ------------------------------------------------------------------------------

// The far side of one case, and the options that point qmctl at it.
class Peer {
 public:
  virtual ~Peer() = default;
  virtual std::string link() const = 0;
};

// A gateway on the loopback whose every received frame goes to `act`.
class GatewayPeer final : public Peer {
 public:
  using Act = std::function<Bytes(ScriptedGateway&, const ScriptedGateway::Frame&)>;
  explicit GatewayPeer(Act act)
      : gateway_([this, act](const ScriptedGateway::Frame& f) { return act(gateway_, f); }) {}
  std::string link() const override { return "--tcp 127.0.0.1:" + std::to_string(gateway_.port()); }

 private:
  ScriptedGateway gateway_;
};

// A unit on a pseudo-terminal whose every received frame goes to `act`.
class LinePeer final : public Peer {
 public:
  using Act = std::function<Bytes(PtyPair&, ScriptedUnit&, const UnitFrame&)>;
  explicit LinePeer(Act act)
      : unit_(pty_, [this, act](const UnitFrame& f) { return act(pty_, unit_, f); }) {}
  std::string link() const override { return "--port " + pty_.slave_path(); }

 private:
  PtyPair pty_;
  ScriptedUnit unit_;
};

using Frame = ScriptedGateway::Frame;

bool is_request(const Frame& f) {
  return f.kind == kTcpUnitMessage && f.payload.size() >= 3 && !(f.payload[0] & kTypePoll);
}
bool is_poll(const Frame& f) {
  return f.kind == kTcpUnitMessage && f.payload.size() == 2 && (f.payload[0] & kTypePoll);
}
bool is_poll(const UnitFrame& f) {
  return f.count == 2 && (f.type() & kTypePoll);
}

// A gateway that resets the connection once a poll has come.
std::unique_ptr<Peer> gateway_resetting_on_poll() {
  return std::make_unique<GatewayPeer>([](ScriptedGateway& g, const Frame& f) {
    if (is_poll(f)) g.reset();
    return Bytes{};
  });
}

// A gateway that answers every poll with `answer` (already framed), and nothing else.
std::function<std::unique_ptr<Peer>()> gateway_answering_polls(Bytes answer) {
  return [answer] {
    return std::make_unique<GatewayPeer>(
        [answer](ScriptedGateway&, const Frame& f) { return is_poll(f) ? answer : Bytes{}; });
  };
}

// A gateway that checks no secret: it answers the authentication with `verdict` (possibly in
// several writes) and nothing else.
std::function<std::unique_ptr<Peer>()> gateway_judging(std::vector<Bytes> verdict) {
  return [verdict] {
    return std::make_unique<GatewayPeer>([verdict](ScriptedGateway& g, const Frame& f) {
      if (f.kind == kTcpAuthentication)
        for (const Bytes& part : verdict)
          g.push(part);
      return Bytes{};
    });
  };
}

// A gateway that answers a request for unit 1's software version (7 1 4) with `reply`, sent on
// the poll that follows one byte at a time; the verdict on the secret comes the same way.
std::function<std::unique_ptr<Peer>()> gateway_in_pieces(Bytes reply) {
  return [reply] {
    auto queued = std::make_shared<Bytes>();
    return std::make_unique<GatewayPeer>([reply, queued](ScriptedGateway& g, const Frame& f) {
      Bytes out;
      if (f.kind == kTcpAuthentication) out = {3, 0, 1};
      if (is_request(f)) *queued = reply;
      if (is_poll(f)) {
        out = queued->empty() ? tcp_frame(kTcpUnitMessage, {0x17, 1}) : *queued;
        queued->clear();
      }
      for (std::uint8_t b : out) {
        g.push({b});
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      return Bytes{};
    });
  };
}

// A unit on a line that answers every frame through `act`.
std::function<std::unique_ptr<Peer>()> line(LinePeer::Act act) {
  return [act] { return std::make_unique<LinePeer>(act); };
}

// --- The cases ------------------------------------------------------------------------------

struct FaultCase {
  const char* name;
  std::function<std::unique_ptr<Peer>()> peer;
  std::string command;           // options and command after the link's options
  int exit_code;                 // the documented status
  std::string out;               // standard output, exactly
  std::vector<std::string> err;  // texts standard error holds
  long min_ms;                   // the least it must have waited (0: none)
  long bound_ms;                 // the most the link's waits may take (kStartMs comes on top)
};

void PrintTo(const FaultCase& c, std::ostream* os) {
  *os << c.name;
}

const Bytes kVersionReply = {0x17, 1, 4, 2, 7, 'V', 'W', 0};
const char* const kVersionReport = "Major: 2\nMinor: 7\nTitle: VW\n";
const char* const kNoReply4 = "Error: Reading data for function 4\n";
const char* const kNoReply35 = "Error: Reading data for function 35\n";

std::vector<FaultCase> tcp_cases() {
  const Bytes reply = tcp_frame(kTcpUnitMessage, kVersionReply);
  return {
      // Floods: a stream of frames that are not the answer, far longer than any wait.
      {"FloodingGateway_Get",
       [] {
         return std::make_unique<GatewayPeer>([](ScriptedGateway& g, const Frame& f) {
           if (is_request(f)) {
             Bytes frames = tcp_frame(kTcpUnitMessage, {0x17, 1, 5, 0});  // another function
             const Bytes other = tcp_frame(kTcpUnitMessage, {0x17, 2, 4, 4, 0});  // another unit
             frames.insert(frames.end(), other.begin(), other.end());
             g.stream(frames, 15000);
           }
           return Bytes{};
         });
       },
       "get 7 1 4",
       1,
       "",
       {kNoReply4},
       kTcpGetWaitedMs,
       kTcpGetMs},
      {"FloodingGateway_Poll",
       [] {
         return std::make_unique<GatewayPeer>([](ScriptedGateway& g, const Frame& f) {
           if (is_poll(f)) {
             Bytes frames = tcp_frame(kTcpUnitMessage, {0x57, 2});  // poll bit, another unit
             const Bytes other = tcp_frame(kTcpUnitMessage, {0x17, 2, 4, 4, 0});
             frames.insert(frames.end(), other.begin(), other.end());
             g.stream(frames, 15000);
           }
           return Bytes{};
         });
       },
       "--unit 1 poll 1",
       1,
       "no answer from unit 1\n",
       {},
       kPollWaitMs,
       kPollTryMs},
      // Silence: the connection is accepted, nothing ever comes back.
      {"SilentGateway_Get",
       gateway_answering_polls({}),
       "get 7 1 4",
       1,
       "",
       {kNoReply4},
       kTcpGetWaitedMs,
       kTcpGetMs},
      {"SilentGateway_Authentication",
       gateway_answering_polls({}),
       "--key K get 7 1 4",
       1,
       "",
       {"Authentication timeout\n"},
       kAuthMs,
       kAuthMs},
      // Resets: the connection is reset once the request's poll has come.
      {"ResettingGateway_Get",
       gateway_resetting_on_poll,
       "get 7 1 4",
       1,
       "",
       {"Server disconnected\n", kNoReply4},
       0,
       kAtOnceMs},
      {"ResettingGateway_Poll",
       gateway_resetting_on_poll,
       "--unit 1 poll 3",
       1,
       "no answer from unit 1\n",
       {"Server disconnected\n"},
       0,
       kAtOnceMs},
      // Frames that come one byte at a time still work.
      {"SplittingGateway_Get",
       gateway_in_pieces(reply),
       "--key K get 7 1 4",
       0,
       kVersionReport,
       {},
       0,
       kAtOnceMs},
      {"SplittingGateway_Poll",
       gateway_in_pieces(reply),
       "--key K --unit 1 poll 1",
       0,
       "unit 1 answered\n",
       {},
       0,
       kAtOnceMs},
      // Lies about the secret: a rejection, a verdict cut short, one that is too long.
      {"LyingGateway_RejectsTheSecret",
       gateway_judging({{3, 0, 0}}),
       "--key K get 7 1 4",
       1,
       "",
       {"Authentication failure\n"},
       0,
       kAtOnceMs},
      {"LyingGateway_ShortVerdict",
       gateway_judging({{3, 0}}),
       "--key K get 7 1 4",
       1,
       "",
       {"Authentication timeout\n"},
       kAuthMs,
       kAuthMs},
      {"LyingGateway_LongRejection",
       gateway_judging({{4, 0, 0, 1}}),
       "--key K get 7 1 4",
       1,
       "",
       {"Authentication failure\n"},
       0,
       kAtOnceMs},
      // Lies about the answer: frames of an unknown kind, lengths that are no frame, a reply
      // from another unit, a reply to another function.
      {"LyingGateway_GarbageFrames",
       gateway_answering_polls([] {
         Bytes out = tcp_frame(9, kVersionReply);          // the reply, but not as a unit message
         const Bytes no_frame = {0x01, 0x17, 0x01, 0x04};  // a length too short for a frame
         out.insert(out.end(), no_frame.begin(), no_frame.end());
         return out;
       }()),
       "get 7 1 4",
       1,
       "",
       {kNoReply4},
       kTcpGetWaitedMs,
       kTcpGetMs},
      {"LyingGateway_WrongUnit",
       gateway_answering_polls(tcp_frame(kTcpUnitMessage, {0x17, 2, 4, 2, 7, 'V', 'W', 0})),
       "get 7 1 4",
       1,
       "",
       {kNoReply4},
       kTcpGetWaitedMs,
       kTcpGetMs},
      {"LyingGateway_WrongFunction",
       gateway_answering_polls(tcp_frame(kTcpUnitMessage, {0x17, 1, 5, 2, 7, 'V', 'W', 0})),
       "get 7 1 4",
       1,
       "",
       {kNoReply4},
       kTcpGetWaitedMs,
       kTcpGetMs},
  };
}

// A serial unit that hangs up as the first frame comes.
std::function<std::unique_ptr<Peer>()> line_hanging_up() {
  return line([](PtyPair& pty, ScriptedUnit&, const UnitFrame&) {
    pty.hang_up();
    return Bytes{};
  });
}

std::vector<FaultCase> serial_cases() {
  const std::string lost = "COM1: stopped accepting data and was closed\n";
  // Unit 0's hardware version (function 3), as a polite unit sends it.
  const auto hardware_version = [](const UnitFrame&) { return Bytes{0x21, 1, 0, 0}; };
  return {
      // Garbage: bytes that make no frame (stray bytes, starts without an end, lone ends).
      {"GarbageLine_Get",
       line([](PtyPair&, ScriptedUnit&, const UnitFrame& f) {
         return is_poll(f) ? hex("01 02 7E 55 AA 7E 33 7D 7D 7E 17 00") : Bytes{};
       }),
       "get 7 0 35",
       1,
       "",
       {kNoReply35},
       4 * kSerialReplyWaitMs,
       kSerialGetMs},
      // Noise outside frames is passed over: the reply behind it still counts.
      {"NoisyLine_Get",
       line([polite = polite_unit(0, hardware_version)](PtyPair&, ScriptedUnit&,
                                                        const UnitFrame& f) {
         Bytes out = polite(f);
         if (!out.empty()) out.insert(out.begin(), {0x00, 0xFF, 0x33, 0x7D, 0x41});
         return out;
       }),
       "get 7 0 3",
       0,
       "Hardware version: 2.1\n    Split switch: 1\n   Effect switch: 0\n   Select Button: 0\n",
       {},
       0,
       kAtOnceMs},
      // Hang-ups: the far side closes the line as the first frame comes.
      {"HangingUpLine_Get",
       line_hanging_up(),
       "get 7 0 35",
       1,
       "",
       {lost, kNoReply35},
       0,
       kHangUpMs},
      {"HangingUpLine_Poll",
       line_hanging_up(),
       "--unit 0 poll 3",
       1,
       "no answer from unit 0\n",
       {lost},
       0,
       kHangUpMs},
      {"HangingUpLine_Info", line_hanging_up(), "info", 1, "", {lost}, 0, kHangUpMs},
      // Floods: frames for another unit, or the right reply with a bad checksum, on and on.
      {"FloodingLine_GetOtherUnit",
       line([](PtyPair&, ScriptedUnit& unit, const UnitFrame& f) {
         if (!is_poll(f)) unit.stream(reply(1, 35, hex("01 01 00 00 01 10 02")), 15000);
         return Bytes{};
       }),
       "get 7 0 35",
       1,
       "",
       {kNoReply35},
       4 * kSerialReplyWaitMs,
       kSerialGetMs},
      {"FloodingLine_GetBadChecksum",
       line([](PtyPair&, ScriptedUnit& unit, const UnitFrame& f) {
         const Bytes message = hex("17 00 23 01 01 00 00 01 10 02");
         const std::uint8_t wrong = static_cast<std::uint8_t>(frame_checksum(message) + 1);
         if (!is_poll(f)) unit.stream(encode_serial_frame(message, wrong), 15000);
         return Bytes{};
       }),
       "get 7 0 35",
       1,
       "",
       {kNoReply35},
       4 * kSerialReplyWaitMs,
       kSerialGetMs},
      {"FloodingLine_Poll",
       line([](PtyPair&, ScriptedUnit& unit, const UnitFrame& f) {
         if (is_poll(f)) {
           Bytes frames = frame_of({0x57, 1});  // poll bit, another unit
           const Bytes other = reply(1, 35, hex("01 01"));
           frames.insert(frames.end(), other.begin(), other.end());
           unit.stream(frames, 15000);
         }
         return Bytes{};
       }),
       "--unit 0 poll 1",
       1,
       "no answer from unit 0\n",
       {},
       kPollWaitMs,
       kPollTryMs},
      // Silence.
      {"SilentLine_Poll",
       line([](PtyPair&, ScriptedUnit&, const UnitFrame&) { return Bytes{}; }),
       "--unit 0 poll 1",
       1,
       "no answer from unit 0\n",
       {},
       kPollWaitMs,
       kPollTryMs},
  };
}

// --- The suite ------------------------------------------------------------------------------

class FaultsTiming : public Qmctl, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultsTiming, EndsWithTheDocumentedStatusWithinItsBound) {
  const FaultCase& c = GetParam();
  const auto peer = c.peer();
  const Outcome r = qmctl(peer->link() + " " + c.command);

  const long bound = c.bound_ms + kStartMs;
  std::printf("[ faults   ] %-45s observed %5ld ms, bound %5ld ms\n", c.name, r.millis, bound);
  RecordProperty("observed_ms", static_cast<int>(r.millis));
  RecordProperty("bound_ms", static_cast<int>(bound));

  EXPECT_EQ(r.exit_code, c.exit_code) << "stdout: " << r.out << "\nstderr: " << r.err;
  EXPECT_EQ(r.out, c.out);
  std::size_t at = 0;
  for (const std::string& text : c.err) {
    const std::size_t found = r.err.find(text, at);
    EXPECT_NE(found, std::string::npos) << "no \"" << text << "\" in order in stderr: " << r.err;
    if (found != std::string::npos) at = found + text.size();
  }
  EXPECT_GE(r.millis, c.min_ms);
  EXPECT_LT(r.millis, bound);
}

// A gateway that stops reading under a sequence that sends in a loop for ever: once the
// connection is full a send stalls, gives up after kStallMs and drops the link, saying so;
// the run goes on without a link, still stops cleanly on SIGTERM, and then says by its exit
// status (1) that messages were lost.
using FaultsRunTiming = Qmctl;

TEST_F(FaultsRunTiming, NonReadingGateway_SendStallDropsTheLinkAndTheRunStillStops) {
  GatewayPeer peer([](ScriptedGateway& g, const Frame& f) {
    if (is_request(f)) g.stop_reading();
    return Bytes{};
  });
  const fs::path file = home_ / "flood.seq";
  std::ofstream(file) << "REPEAT FOREVER\nSEND 7 1 4 \"" << std::string(kMaxSendData, 'U')
                      << "\"\nAGAIN\n";
  // The link's texts go to stderr: read them with the output.
  Process run({"/bin/sh", "-c",
               "exec 2>&1; HOME='" + home_.string() + "' XDG_CONFIG_HOME='" + home_.string() +
                   "' exec '" QMCTL_PATH "' " + peer.link() + " --skip-std run '" + file.string() +
                   "'"});
  const auto start = std::chrono::steady_clock::now();
  const auto since_start = [&] {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
  };
  const long bound = kFillMs + kStallMs + kStartMs;
  std::string line;
  while (line != "TCP send failure" && since_start() < bound)
    line = run.read_line(static_cast<int>(bound - since_start()));
  const long failed_after = since_start();
  std::printf("[ faults   ] %-45s observed %5ld ms, bound %5ld ms\n", "NonReadingGateway_Run",
              failed_after, bound);
  RecordProperty("observed_ms", static_cast<int>(failed_after));
  RecordProperty("bound_ms", static_cast<int>(bound));
  EXPECT_EQ(line, "TCP send failure");
  EXPECT_GE(failed_after, kStallMs);

  const auto stop = std::chrono::steady_clock::now();
  EXPECT_EQ(run.terminate_within(static_cast<int>(kStartMs)), 1);
  std::printf("[ faults   ] %-45s observed %5ld ms, bound %5ld ms\n",
              "NonReadingGateway_RunStopsOnSigterm",
              static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - stop)
                                    .count()),
              kStartMs);
}

std::string case_name(const ::testing::TestParamInfo<FaultCase>& info) {
  return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Tcp, FaultsTiming, ::testing::ValuesIn(tcp_cases()), case_name);
INSTANTIATE_TEST_SUITE_P(Serial, FaultsTiming, ::testing::ValuesIn(serial_cases()), case_name);

}  // namespace
}  // namespace qm::test
