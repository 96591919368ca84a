// The remote link over a real loopback socket with a scripted gateway, and the routing rule.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/link_rig.h"

namespace qm::test {
namespace {

using TcpLink = LinkRig;
// Cases that bound the wall time they take: the suites named *Timing run one at a time, away
// from the other tests' load (CTest label "timing").
using TcpLinkTiming = LinkRig;

// Far below any wait of the link for a reply (a silent serial unit takes 200 ms): what
// returns within it did not wait.
constexpr std::uint32_t kAtOnceMs = 150;

// A unit behind the gateway that answers every request at once with `data`.
std::function<Bytes(const Bytes&)> answering(const Bytes& data) {
  return [data](const Bytes& message) {
    if (message.size() < 3 || (message[0] & kTypePoll)) return Bytes{};
    Bytes out = {0x17, message[1], message[2]};
    out.insert(out.end(), data.begin(), data.end());
    return out;
  };
}

TEST(TcpAuthentication, Block_IsTwoFourZerosAndTheDigestOfBlockAndSecret) {
  EXPECT_EQ(to_hex([] {
              const auto b = authentication_block("K");
              return Bytes(b.begin(), b.end());
            }()),
            "02 00 00 00 00 27 B0 82 2B 50 6E 0E 46 D4 37 24 0D C5 AE E5 7D");
  const auto b = authentication_block("secret");
  EXPECT_EQ(to_hex(Bytes(b.begin() + 5, b.end())),
            "DA A6 66 12 AF 60 FB B5 DA 69 31 72 B8 9F 37 39");
}

TEST_F(TcpLink, Connect_WithSecret_SendsTheBlockAndIsAccepted) {
  ScriptedGateway gateway(checking_gateway("K", nullptr));
  aim_at(gateway, "K");
  ASSERT_EQ(link_.tcp_connect(), 1);
  EXPECT_TRUE(settings_.ip);
  const auto frames = gateway.frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].kind, kTcpAuthentication);
  EXPECT_EQ(frames[0].payload.size(), 21u);
  const std::string where = "127.0.0.1:" + std::to_string(gateway.port());
  EXPECT_EQ(ui_.calls(),
            (std::vector<std::string>{"status:Connecting to " + where, "status:Authenticating",
                                      "clear", "link: TCP/IP"}));
}

TEST_F(TcpLink, Connect_WithoutSecret_SkipsTheExchange) {
  ScriptedGateway gateway(nullptr);
  aim_at(gateway);
  ASSERT_EQ(link_.tcp_connect(), 1);
  link_.unit_send(7, 1, 4, {});
  ASSERT_TRUE(gateway.wait_frames(1, 1000));
  EXPECT_EQ(gateway.frames()[0].kind, kTcpUnitMessage);  // no authentication frame first
}

TEST_F(TcpLink, Connect_Verdict_OnlyAWholeAcceptingVerdictConnects) {
  struct Case {
    std::vector<Bytes> writes;  // what the gateway answers, one write each
    bool close;                 // then it closes the connection
    const char* status;         // the failure shown, or none when connected
  };
  const Case cases[] = {
      {{{3, 0, 0}}, false, "Authentication failure"},
      {{{3, 0, 1}}, false, nullptr},
      {{{3, 0, 0xFF}}, false, nullptr},
      {{{3, 0, 0, 0}}, false, "Authentication failure"},  // a rejection with more bytes
      {{{3, 0, 0, 9, 9, 9}}, false, "Authentication failure"},
      {{{3, 0}, {0}}, false, "Authentication failure"},  // a rejection split across reads
      {{{3}, {0}, {0}}, false, "Authentication failure"},
      {{{3}, {0}, {1}}, false, nullptr},        // an acceptance split across reads
      {{{3, 0}}, true, "Server disconnected"},  // short, then closed
      {{{0}}, true, "Server disconnected"},
      {{}, true, "Server disconnected"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.writes));
    ScriptedGateway* self = nullptr;
    ScriptedGateway gateway([&](const ScriptedGateway::Frame&) {
      for (const Bytes& w : c.writes) {
        self->push(w);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
      }
      if (c.close) self->drop();
      return Bytes{};
    });
    self = &gateway;
    aim_at(gateway, "K");
    ui_.clear();
    EXPECT_EQ(link_.tcp_connect(), c.status ? 0 : 1);
    EXPECT_EQ(settings_.ip, c.status == nullptr);
    EXPECT_EQ(link_.tcp_open(), c.status == nullptr);
    if (c.status) {
      EXPECT_EQ(ui_.statuses().back(), c.status);
    }
    link_.tcp_disconnect();
  }
}

TEST_F(TcpLink, Connect_ShortVerdict_WaitsForTheRestAndTimesOut) {
  ScriptedGateway gateway([](const ScriptedGateway::Frame&) { return Bytes{3, 0}; });
  aim_at(gateway, "K");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(link_.tcp_connect(), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start,
            std::chrono::milliseconds(kAuthenticationWaitMs));
  EXPECT_EQ(ui_.statuses().back(), "Authentication timeout");
  EXPECT_FALSE(link_.tcp_open());
}

TEST_F(TcpLink, Connect_BytesAfterTheVerdict_AreTheFirstFramesReceived) {
  ScriptedGateway gateway([](const ScriptedGateway::Frame&) {
    Bytes out = {3, 0, 1};
    const Bytes frame = tcp_frame(1, hex("17 00 03 11"));
    out.insert(out.end(), frame.begin(), frame.end());
    return out;
  });
  aim_at(gateway, "K");
  ASSERT_EQ(link_.tcp_connect(), 1);
  link_.wait_for_input(1000);
  const auto frame = link_.link_receive();
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->function(), 3);
}

TEST_F(TcpLink, Connect_Failures_ShowTheirTextAndLeaveNoLink) {
  {
    ScriptedGateway gateway(nullptr);  // never answers the authentication
    aim_at(gateway, "K");
    // Measured on a clock of the test's own: the connection restarts the link's tick clock.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link_.tcp_connect(), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(kAuthenticationWaitMs));
    EXPECT_EQ(ui_.statuses().back(), "Authentication timeout");
  }
  {
    ScriptedGateway gateway([](const ScriptedGateway::Frame&) { return Bytes{}; });
    aim_at(gateway, "K");
    const std::uint16_t port = gateway.port();
    settings_.tcp_port = port;
  }
  // the gateway is gone: nothing listens on its port now
  EXPECT_EQ(link_.tcp_connect(), 0);
  EXPECT_EQ(ui_.statuses().back(), "Unable to connect to server");
  EXPECT_FALSE(settings_.ip);
  EXPECT_EQ(ui_.calls().back(), "status:Unable to connect to server");
}

TEST_F(TcpLink, Connect_ServerClosesDuringAuthentication_SaysDisconnected) {
  ScriptedGateway* self = nullptr;
  ScriptedGateway gateway([&](const ScriptedGateway::Frame&) {
    self->drop();
    return Bytes{};
  });
  self = &gateway;
  aim_at(gateway, "K");
  EXPECT_EQ(link_.tcp_connect(), 0);
  EXPECT_EQ(ui_.statuses().back(), "Server disconnected");
}

TEST_F(TcpLinkTiming, Connect_WhileSocketOpen_DoesNothingButRestartsTheClock) {
  ScriptedGateway gateway(nullptr);
  aim_at(gateway);
  ASSERT_EQ(link_.tcp_connect(), 1);
  settings_.ip = false;  // remote access switched off: the socket stays open
  link_.wait_for_input(2 * kAtOnceMs);
  EXPECT_GE(link_.tick_ms(), 2 * kAtOnceMs);
  ui_.clear();
  EXPECT_EQ(link_.tcp_connect(), 0);
  EXPECT_LT(link_.tick_ms(), kAtOnceMs);
  EXPECT_TRUE(ui_.calls().empty());
  EXPECT_FALSE(settings_.ip);
}

TEST_F(TcpLink, UnitGet_CarriesMessagesAsKindOneFrames) {
  ScriptedGateway gateway(checking_gateway("K", answering({1, 2})));
  aim_at(gateway, "K");
  ASSERT_EQ(link_.tcp_connect(), 1);
  auto frame = link_.unit_get(7, 1, 4, {});
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->count, 5);
  EXPECT_EQ(frame->address(), 1);
  link_.unit_send(7, 255, 6, std::vector<std::uint8_t>{2});
  ASSERT_TRUE(gateway.wait_frames(4, 1000));
  const auto frames = gateway.frames();
  EXPECT_EQ(to_hex(frames[1].payload), "07 01 04");
  EXPECT_EQ(to_hex(frames[2].payload), "47 01");
  EXPECT_EQ(to_hex(frames[3].payload), "87 00 06 02");  // broadcast: bit 0x80, address 0
  EXPECT_EQ(ui_.calls().back(), "tx");
}

// Unit messages framed for the gateway, one after another.
Bytes tcp_frames(std::initializer_list<Bytes> messages) {
  Bytes out;
  for (const Bytes& m : messages) {
    const Bytes f = tcp_frame(kTcpUnitMessage, m);
    out.insert(out.end(), f.begin(), f.end());
  }
  return out;
}

// A gateway's handler that answers nothing, and starts streaming `frames` for `for_ms` on the
// first poll (polls) or the first other unit message (!polls); `flooding` tells when it has.
// `self` is the gateway, set once it is made.
ScriptedGateway::Handler flood_on(bool polls, Bytes frames, int for_ms, ScriptedGateway*& self,
                                  std::atomic<bool>& flooding) {
  return [polls, frames = std::move(frames), for_ms, &self,
          &flooding](const ScriptedGateway::Frame& f) {
    if (!flooding && f.kind == kTcpUnitMessage && ((f.payload[0] & kTypePoll) != 0) == polls) {
      self->stream(frames, for_ms);
      flooding = true;
    }
    return Bytes{};
  };
}

TEST_F(TcpLink, UnitGet_FloodOfOtherFrames_StillEndsAtItsDeadline) {
  // The first request sets off a stream of frames that are not its reply (another function
  // of the same unit, the right function from another unit), lasting longer than the request
  // may: the request has to end at its own deadline while frames keep coming.
  ScriptedGateway* self = nullptr;
  std::atomic<bool> flooding{false};
  ScriptedGateway gateway(flood_on(false, tcp_frames({hex("17 01 05 00"), hex("17 02 04 04 00")}),
                                   8000, self, flooding));
  self = &gateway;
  aim_at(gateway);
  ASSERT_EQ(link_.tcp_connect(), 1);
  log_.log_enable(true);
  const std::uint32_t start = link_.tick_ms();
  EXPECT_FALSE(link_.unit_get(7, 1, 4, {}));
  const std::uint32_t took = link_.tick_ms() - start;
  EXPECT_GE(took, 4 * kTcpReplyWaitMs);  // four polls, each waited out
  EXPECT_LT(took, 6000u);
  // Nothing else changed: two sends with two polls each, and their traces.
  ASSERT_TRUE(gateway.wait_frames(6, 1000));
  std::vector<std::string> sent;
  for (const auto& f : gateway.frames())
    sent.push_back(to_hex(f.payload));
  EXPECT_EQ(sent,
            (std::vector<std::string>{"07 01 04", "47 01", "47 01", "07 01 04", "47 01", "47 01"}));
  const std::string log = log_text();
  std::size_t timeouts = 0;
  for (std::size_t at = log.find("Timeout\n"); at != std::string::npos;
       at = log.find("Timeout\n", at + 1))
    ++timeouts;
  EXPECT_EQ(timeouts, 4u);
  EXPECT_NE(log.find("Get failed\n"), std::string::npos);
}

TEST_F(TcpLinkTiming, UnitPoll_FloodDuringTheDrain_EndsWithinItsBound) {
  // A poll sets off a stream of frames that are not its answer (another unit's, one of them
  // with the poll bit), lasting longer than the test: a drain takes in what keeps coming for
  // at most its own time, so a poll ends after its try however much arrives.
  ScriptedGateway* self = nullptr;
  std::atomic<bool> flooding{false};
  ScriptedGateway gateway(
      flood_on(true, tcp_frames({hex("57 02"), hex("17 02 04 04 00")}), 15000, self, flooding));
  self = &gateway;
  aim_at(gateway);
  ASSERT_EQ(link_.tcp_connect(), 1);
  settings_.id = 1;
  link_.unit_send_poll(kDeviceUnit, 1);
  link_.wait_for_input(1000);
  ASSERT_TRUE(flooding);

  // What a loaded machine may add while frames pour in (an unbounded drain would last as
  // long as the stream, 15 s).
  constexpr std::uint32_t kSlackMs = 1000;
  constexpr std::uint32_t kDrainMs = 300;
  std::uint32_t start = link_.tick_ms();
  link_.drain(kDrainMs);
  EXPECT_LT(link_.tick_ms() - start, kDrainMs + kSlackMs);

  // A try: the drain (at most kPollWaitMs, flooded all the while), then the wait for the
  // answer (kPollWaitMs), waited out.
  start = link_.tick_ms();
  EXPECT_EQ(link_.unit_poll(1, true), 1);
  const std::uint32_t took = link_.tick_ms() - start;
  EXPECT_GE(took, kPollWaitMs);
  EXPECT_LT(took, 2 * kPollWaitMs + kSlackMs);
  EXPECT_TRUE(link_.tcp_open());
}

TEST_F(TcpLink, UnitGet_GatewayClosedBeforeTheRequest_FailsAtOnce) {
  ScriptedGateway gateway(nullptr);
  aim_at(gateway);
  ASSERT_EQ(link_.tcp_connect(), 1);
  gateway.drop();
  link_.wait_for_input(1000);  // the close has arrived; the request's drain finds it
  log_.log_enable(true);
  const std::uint32_t start = link_.tick_ms();
  EXPECT_FALSE(link_.unit_get(7, 0, 3, {}));
  EXPECT_LT(link_.tick_ms() - start, 100u);
  EXPECT_EQ(ui_.statuses().back(), "Server disconnected");
  const std::string log = log_text();
  EXPECT_NE(log.find("Get failed\n"), std::string::npos);
  EXPECT_EQ(log.find("Timeout\n"), std::string::npos);
}

TEST_F(TcpLink, LinkReceive_SeveralFramesInOneRead_DeliveredInOrderSkippingOtherKinds) {
  ScriptedGateway gateway(nullptr);
  aim_at(gateway);
  ASSERT_EQ(link_.tcp_connect(), 1);
  Bytes burst = tcp_frame(1, hex("17 00 03 11"));
  for (const Bytes& b :
       {tcp_frame(0, hex("01")), tcp_frame(2, hex("41 42")), tcp_frame(1, hex("17 00 04 22"))})
    burst.insert(burst.end(), b.begin(), b.end());
  gateway.push(burst);
  std::vector<int> functions;
  for (int i = 0; i < 10 && functions.size() < 2; ++i) {
    link_.wait_for_input(1000);
    if (auto f = link_.link_receive()) functions.push_back(f->function());
  }
  EXPECT_EQ(functions, (std::vector<int>{3, 4}));
}

TEST_F(TcpLink, Drain_TakesEveryBufferedFrameWhateverItsKind) {
  ScriptedGateway gateway(nullptr);
  aim_at(gateway);
  ASSERT_EQ(link_.tcp_connect(), 1);
  Bytes burst = tcp_frame(2, hex("41 42"));  // raw output first: a drain must not stop there
  const Bytes stale = tcp_frame(1, hex("17 00 04 22"));
  burst.insert(burst.end(), stale.begin(), stale.end());
  gateway.push(burst);
  link_.wait_for_input(1000);
  link_.drain(200);
  EXPECT_FALSE(link_.link_receive()) << "a stale reply was left for the next request";
}

TEST_F(TcpLink, LinkReceive_FrameSplitOverTwoReads_IsReassembled) {
  ScriptedGateway gateway(nullptr);
  aim_at(gateway);
  ASSERT_EQ(link_.tcp_connect(), 1);
  const Bytes whole = tcp_frame(1, hex("17 02 19 01 02 03 04 05"));
  gateway.push(Bytes(whole.begin(), whole.begin() + 4));
  link_.wait_for_input(1000);
  EXPECT_FALSE(link_.link_receive());
  gateway.push(Bytes(whole.begin() + 4, whole.end()));
  link_.wait_for_input(1000);
  auto frame = link_.link_receive();
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->count, 8);
  EXPECT_EQ(frame->function(), 0x19);
  EXPECT_EQ(frame->data()[4], 5);
}

TEST_F(TcpLink, LinkReceive_BadLengthDiscardsTheBuffer) {
  ScriptedGateway gateway(nullptr);
  aim_at(gateway);
  ASSERT_EQ(link_.tcp_connect(), 1);
  Bytes burst = {2, 1};
  const Bytes good = tcp_frame(1, hex("17 00 03"));
  burst.insert(burst.end(), good.begin(), good.end());
  gateway.push(burst);
  link_.wait_for_input(1000);
  EXPECT_FALSE(link_.link_receive());
  link_.wait_for_input(20);
  EXPECT_FALSE(link_.link_receive());  // the frame after the bad one went with it
}

TEST_F(TcpLink, ServerCloses_LinkDropsToSerialAndSaysSo) {
  PtyPair pty;
  open_serial(pty);
  ScriptedGateway gateway(nullptr);
  aim_at(gateway);
  ASSERT_EQ(link_.tcp_connect(), 1);
  ui_.clear();
  gateway.drop();
  link_.wait_for_input(1000);
  EXPECT_FALSE(link_.link_receive());
  EXPECT_FALSE(settings_.ip);
  EXPECT_EQ(ui_.calls(),
            (std::vector<std::string>{"dropped", "link: COM1:", "status:Server disconnected"}));
  link_.unit_send(7, 0, 35, {});  // the serial port carries the traffic again
  EXPECT_EQ(to_hex(pty.read_master(6, 1000)), "7E 07 00 23 D6 7D");
}

TEST_F(TcpLinkTiming, GatewayStopsReading_SendGivesUpAfterASecondAndDropsTheLink) {
  ScriptedGateway gateway(nullptr);
  aim_at(gateway);
  ASSERT_EQ(link_.tcp_connect(), 1);
  gateway.stop_reading();
  ui_.clear();
  // Requests go out on a thread of their own, so that a send that never returns fails the
  // test instead of hanging it.
  std::atomic<bool> stop{false};
  std::atomic<bool> done{false};
  std::chrono::milliseconds last_send{0};
  int sends = 0;
  std::thread sender([&] {
    const Bytes data(70, 0x55);
    while (link_.tcp_open() && !stop) {
      const auto start = std::chrono::steady_clock::now();
      link_.unit_send(7, 1, 4, data);
      last_send = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - start);
      ++sends;
    }
    done = true;
  });
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done && std::chrono::steady_clock::now() < give_up)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const bool ended = done;
  stop = true;
  if (!ended) gateway.reset();  // free the blocked send
  sender.join();
  ASSERT_TRUE(ended) << "a send still blocked after " << sends << " sends";
  EXPECT_GE(last_send.count(), platform::kSendStallMs - 50);
  EXPECT_LT(last_send.count(), 2 * platform::kSendStallMs);
  EXPECT_FALSE(settings_.ip);
  std::vector<std::string> calls = ui_.calls();
  std::erase(calls, "tx");
  EXPECT_EQ(calls, (std::vector<std::string>{"status:TCP send failure", "dropped", "link:   -"}));
}

TEST_F(TcpLink, OutputRaw_GoesAsOneKindTwoFrame) {
  ScriptedGateway gateway(nullptr);
  aim_at(gateway);
  ASSERT_EQ(link_.tcp_connect(), 1);
  const Bytes raw = hex("7E 00 41");
  link_.link_output_raw(raw.size(), raw.data());
  ASSERT_TRUE(gateway.wait_frames(1, 1000));
  EXPECT_EQ(gateway.frames()[0].kind, kTcpRawOutput);
  EXPECT_EQ(gateway.frames()[0].payload, raw);
  EXPECT_FALSE(link_.tcp_send_frame(kTcpRawOutput, Bytes(83, 0).data(), 83));
}

TEST_F(TcpLinkTiming, Routing_RemoteFlagWithoutSocket_SendsNowhereAndWaitsForPolls) {
  PtyPair pty;
  open_serial(pty);
  settings_.ip = true;
  const std::uint32_t start = link_.tick_ms();
  EXPECT_FALSE(link_.unit_get(7, 0, 35, {}));
  EXPECT_LT(link_.tick_ms() - start, kAtOnceMs);  // none at once
  link_.unit_send(7, 0, 35, {});
  EXPECT_EQ(link_.unit_poll(1), 1);  // waits its 2500 ms
  EXPECT_GE(link_.tick_ms() - start, kPollWaitMs);
  EXPECT_TRUE(pty.read_master(1, 50).empty());  // nothing fell back to the serial port
}

TEST_F(TcpLinkTiming, Routing_NoLink_PollAndGetReturnAtOnceWaitAnyWaits) {
  const std::uint32_t start = link_.tick_ms();
  EXPECT_EQ(link_.unit_poll(3), 1);
  EXPECT_FALSE(link_.unit_get(7, 0, 35, {}));
  EXPECT_LT(link_.tick_ms() - start, kAtOnceMs);
  EXPECT_EQ(link_.unit_wait_any(2 * kAtOnceMs), 0);
  EXPECT_GE(link_.tick_ms() - start, 2 * kAtOnceMs);
}

TEST_F(TcpLink, Log_RemoteTrafficWritesTraceLinesOnly) {
  ScriptedGateway gateway(checking_gateway("", answering({})));
  aim_at(gateway);
  ASSERT_EQ(link_.tcp_connect(), 1);
  log_.log_enable(true);
  ASSERT_TRUE(link_.unit_get(7, 0, 3, {}));
  const std::string log = log_text();
  EXPECT_NE(log.find("Get data, fn = 3...\n"), std::string::npos);
  EXPECT_EQ(log.find("Tx> "), std::string::npos);
  EXPECT_EQ(log.find("<Rx "), std::string::npos);
}

}  // namespace
}  // namespace qm::test
