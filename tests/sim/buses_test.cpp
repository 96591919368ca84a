// The simulated wall through its two faces, driven by the program's own link: a serial line
// on a pseudo-terminal and a gateway on a loopback socket.
#include "sim/buses.h"

#include <gtest/gtest.h>

#include "support/link_rig.h"

namespace qm::sim {
namespace {

using test::hex;
using test::to_hex;

class SimBuses : public test::LinkRig {
 protected:
  void connect_serial(SerialBus& bus) {
    ASSERT_TRUE(bus.start());
    link_.set_port_device(1, bus.device());
    settings_.com_port = 0;
    ASSERT_EQ(link_.com_open_configured(), 1);
  }
  int connect_tcp(Gateway& gateway, const std::string& key) {
    EXPECT_TRUE(gateway.start());
    settings_.address = *platform::parse_ipv4("127.0.0.1");
    settings_.tcp_port = gateway.port();
    settings_.key = key;
    return link_.tcp_connect();
  }
  std::vector<std::string> data_of(const std::optional<UnitFrame>& f) {
    if (!f) return {"none"};
    return {to_hex(Bytes(f->data().begin(), f->data().end()))};
  }

  SimWall wall_{[] {
    WallConfig c;
    c.channels = {16, 9, 0, 0};
    return c;
  }()};
};
// Cases that bound the wall time they take: the suites named *Timing run one at a time, away
// from the other tests' load (CTest label "timing").
using SimBusesTiming = SimBuses;

TEST_F(SimBuses, Serial_RequestsGetTheirRepliesAfterThePoll) {
  SerialBus bus(wall_, false);
  connect_serial(bus);
  EXPECT_EQ(data_of(link_.unit_get(7, 0, 3, {})), std::vector<std::string>{"21 00 00 00 31"});
  settings_.id = 1;
  EXPECT_EQ(link_.unit_poll(1), 0);
  settings_.id = 2;  // absent
  EXPECT_FALSE(link_.unit_get(7, 2, 3, {}));
  const auto t = wall_.transcript();
  ASSERT_GE(t.size(), 4u);
  EXPECT_EQ(to_hex(t[0].message), "07 00 03");
  EXPECT_EQ(to_hex(t[1].message), "47 00");
  EXPECT_EQ(to_hex(t[2].message), "17 00 03 21 00 00 00 31");
}

TEST_F(SimBuses, Serial_BadChecksumsAreDroppedByTheProgram) {
  Faults f;
  f.bad_checksum_every = 1;
  wall_.set_faults(f);
  SerialBus bus(wall_, false);
  connect_serial(bus);
  EXPECT_FALSE(link_.unit_get(7, 0, 3, {}));
  // The wall did answer: the reply went out, spoiled, and was then acknowledged to polls.
  int from_units = 0;
  for (const auto& e : wall_.transcript())
    from_units += e.direction == Direction::FromUnits;
  EXPECT_EQ(from_units, 4);
}

TEST_F(SimBusesTiming, Serial_PacedThousandBytesTakeAboutHalfASecond) {
  SerialBus bus(wall_, true);
  connect_serial(bus);
  const Bytes raw(989, 0x55);  // stray bytes the units ignore
  const std::uint64_t start = wall_.now();
  link_.link_output_raw(raw.size(), raw.data());
  link_.unit_send(7, 0, 3, {});  // 6 bytes on the wire
  link_.unit_send_poll(7, 0);    // 5 bytes: 1000 in all
  ASSERT_TRUE(wall_.wait_transcript(3, 3000));
  const std::uint64_t took = wall_.transcript()[1].at_ms - start;
  EXPECT_GE(took, 480u);   // 1000 bytes of 10 bits at 19200 baud: 521 ms
  EXPECT_LT(took, 1000u);  // half the rate would take 1042 ms
}

TEST_F(SimBuses, Gateway_AuthenticatesAndCarriesMessages) {
  Gateway gateway(wall_, GatewayOptions{0x0100007F, 0, "s3cret"});
  ASSERT_EQ(connect_tcp(gateway, "s3cret"), 1);
  const auto reply = link_.unit_get(7, 1, 4, {});
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->data()[0], 4);  // major of the factory firmware
  const Bytes raw = hex("41 42 43");
  link_.link_output_raw(raw.size(), raw.data());
  link_.unit_get(7, 0, 3, {});  // a round trip makes sure the raw frame has been served
  EXPECT_EQ(wall_.output(), raw);
}

TEST_F(SimBuses, Gateway_RefusesWrongOrMissingSecrets) {
  Gateway gateway(wall_, GatewayOptions{0x0100007F, 0, "s3cret"});
  EXPECT_EQ(connect_tcp(gateway, "wrong"), 0);
  EXPECT_EQ(ui_.statuses().back(), "Authentication failure");
  // Without a secret the program skips the exchange; the gateway then lets nothing through.
  settings_.key.clear();
  ASSERT_EQ(link_.tcp_connect(), 1);
  EXPECT_FALSE(link_.unit_get(7, 0, 3, {}));
  EXPECT_FALSE(link_.tcp_open());
  EXPECT_EQ(ui_.statuses().back(), "Server disconnected");

  Faults f;
  f.reject_authentication = true;
  wall_.set_faults(f);
  settings_.key = "s3cret";
  EXPECT_EQ(link_.tcp_connect(), 0);
  EXPECT_EQ(ui_.statuses().back(), "Authentication failure");
}

TEST_F(SimBuses, Gateway_AConnectionWithoutTheSecretLeavesTheSessionAlone) {
  Gateway gateway(wall_, GatewayOptions{0x0100007F, 0, "s3cret"});
  ASSERT_EQ(connect_tcp(gateway, "s3cret"), 1);
  Bytes wrong_secret = {23, 0, 2, 0, 0, 0, 0};
  wrong_secret.resize(23, 0xAA);
  for (const Bytes& first : {wrong_secret, hex("05 01 07 00 04")}) {
    auto intruder = platform::TcpSocket::create();
    ASSERT_TRUE(intruder);
    ASSERT_TRUE(intruder->connect(settings_.address, settings_.tcp_port, 2000));
    ASSERT_TRUE(intruder->send(first.data(), first.size()));  // a wrong secret, or none
    std::uint8_t reply[8];
    intruder->wait_readable(2000);
    EXPECT_LE(intruder->receive(reply, sizeof reply), 3);  // a refusal at most, then closed
    const auto answer = link_.unit_get(7, 1, 4, {});
    ASSERT_TRUE(answer) << "the session was dropped";
    EXPECT_EQ(answer->data()[0], 4);
  }
  // A connection that shows the secret takes the session over.
  Link other(settings_, log_, ui_, clock_);
  ASSERT_EQ(other.tcp_connect(), 1);
  EXPECT_TRUE(other.unit_get(7, 1, 4, {}));
  EXPECT_FALSE(link_.unit_get(7, 1, 4, {}));
}

TEST_F(SimBuses, Gateway_SplitFramesAreReassembledAndCloseAfterDropsTheLink) {
  Faults f;
  f.split_frames = true;
  wall_.set_faults(f);
  Gateway gateway(wall_, GatewayOptions{});
  ASSERT_EQ(connect_tcp(gateway, ""), 1);
  EXPECT_EQ(data_of(link_.unit_get(7, 0, 3, {})), std::vector<std::string>{"21 00 00 00 31"});

  f.split_frames = false;
  f.close_after_frames = 1;  // closed right after the request
  wall_.set_faults(f);
  link_.tcp_disconnect();
  ASSERT_EQ(link_.tcp_connect(), 1);
  EXPECT_FALSE(link_.unit_get(7, 0, 3, {}));
  EXPECT_EQ(ui_.statuses().back(), "Server disconnected");
}

TEST_F(SimBusesTiming, Gateway_AProgramThatStopsReadingIsDroppedAndStallsNoOne) {
  // Dropped for the replies piled up, or for a queue that has not moved for a while.
  GatewayOptions by_size{0x0100007F, 0, "s3cret"};
  by_size.max_queued = 4096;
  GatewayOptions by_time = by_size;
  by_time.max_queued = std::size_t{1} << 30;
  by_time.stall_ms = 300;
  for (const GatewayOptions& options : {by_size, by_time}) {
    SCOPED_TRACE(options.stall_ms);
    auto gateway = std::make_unique<Gateway>(wall_, options);
    ASSERT_EQ(connect_tcp(*gateway, "s3cret"), 1);
    link_.tcp_disconnect();

    // A program that authenticates, then asks and asks without ever reading the replies.
    auto reader_gone = platform::TcpSocket::create();
    ASSERT_TRUE(reader_gone->connect(settings_.address, settings_.tcp_port, 2000));
    Bytes hello = {23, kTcpAuthentication};
    for (std::uint8_t b : authentication_block("s3cret"))
      hello.push_back(b);
    ASSERT_TRUE(reader_gone->send(hello.data(), hello.size()));
    Bytes polls;
    for (int i = 0; i < 1000; ++i)
      polls.insert(polls.end(), {4, kTcpUnitMessage, kDeviceUnit | kTypePoll, 0});
    // Its sends may stall while the gateway works through what it sent; once the gateway
    // has dropped it, a send fails at once.
    const auto start = std::chrono::steady_clock::now();
    bool dropped = false;
    while (!dropped && std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
      const auto sending = std::chrono::steady_clock::now();
      dropped = !reader_gone->send(polls.data(), polls.size()) &&
                std::chrono::steady_clock::now() - sending < std::chrono::milliseconds(500);
    }
    EXPECT_TRUE(dropped) << "the gateway went on taking requests it could not answer";

    // The gateway still serves a program that reads, and stops at once when asked.
    ASSERT_EQ(link_.tcp_connect(), 1);
    EXPECT_EQ(data_of(link_.unit_get(7, 0, 3, {})), std::vector<std::string>{"21 00 00 00 31"});
    link_.tcp_disconnect();
    const auto stopping = std::chrono::steady_clock::now();
    gateway.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::milliseconds(500));
  }
}

TEST_F(SimBuses, Transcript_KeepsTheLatestMessagesAndHandsEveryOneToTheSink) {
  std::vector<Bytes> seen;
  wall_.set_transcript_sink([&](const TranscriptEntry& e) { seen.push_back(e.message); });
  const std::size_t total = kTranscriptKept + 5;
  for (std::size_t i = 0; i < total; ++i)
    wall_.record(Direction::ToUnits, Bytes{static_cast<std::uint8_t>(i), 0, 1});
  EXPECT_TRUE(wall_.wait_transcript(total, 0));
  const auto kept = wall_.transcript();
  ASSERT_EQ(kept.size(), kTranscriptKept);
  EXPECT_EQ(kept.front().message[0], 5);  // the five oldest went
  EXPECT_EQ(kept.back().message[0], static_cast<std::uint8_t>(total - 1));
  EXPECT_EQ(seen.size(), total);
  EXPECT_EQ(transcript_line({1234, Direction::FromUnits, {0x17, 0x00, 0xAB}}),
            "     1234 ms  from units 17 00 AB");

  wall_.set_transcript_sink({});
  wall_.record(Direction::ToUnits, Bytes{7, 0, 1});
  EXPECT_EQ(seen.size(), total);

  const Bytes chunk(1000, 0x41);
  for (int i = 0; i < 100; ++i)
    wall_.record_output(chunk);
  wall_.record_output(Bytes{0x42});
  EXPECT_EQ(wall_.output().size(), kOutputKept);
  EXPECT_EQ(wall_.output().back(), 0x42);
}

}  // namespace
}  // namespace qm::sim
