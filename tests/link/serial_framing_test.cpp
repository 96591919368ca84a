#include "link/serial_framing.h"

#include <gtest/gtest.h>

#include "support/far_side.h"

namespace qm::test {
namespace {

// Feeds bytes and returns the frames delivered, as hex of their message bytes.
std::vector<std::string> deliver(const Bytes& wire) {
  SerialReceiver rx;
  std::vector<std::string> out;
  for (std::uint8_t b : wire) {
    if (rx.feed(b) == SerialReceiver::Event::Frame) {
      const UnitFrame& f = rx.frame();
      out.push_back(to_hex(Bytes(f.message.begin(), f.message.begin() + f.count)));
    }
  }
  return out;
}

TEST(SerialFraming, KnownFrames_MatchTheWire) {
  EXPECT_EQ(to_hex(frame_of(hex("07 00 23"))), "7E 07 00 23 D6 7D");
  EXPECT_EQ(to_hex(frame_of(hex("47 01"))), "7E 47 01 B8 7D");
}

TEST(SerialFraming, SpecialBytesInEveryPosition_AreEscapedAndComeBackIntact) {
  struct Case {
    const char* message;
    const char* wire;
  };
  const Case cases[] = {
      // special bytes as data
      {"07 00 10 7C 7D 7E", "7E 07 00 10 7C 5C 7C 5D 7C 5E 72 7D"},
      // as the address
      {"07 7E 23", "7E 07 7C 5E 23 58 7D"},
      // as the checksum: 07 00 7C sums to 0x83, whose negation is 0x7D
      {"07 00 7C", "7E 07 00 7C 5C 7C 5D 7D"},
      {"07 00 7B", "7E 07 00 7B 7C 5E 7D"},
      {"07 00 7D", "7E 07 00 7C 5D 7C 5C 7D"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(to_hex(frame_of(hex(c.message))), c.wire);
    EXPECT_EQ(deliver(hex(c.wire)), std::vector<std::string>{c.message});
  }
}

TEST(SerialReceiver, BrokenFrames_AreNeverDelivered) {
  // bad checksum
  EXPECT_TRUE(deliver(hex("7E 07 00 23 D5 7D")).empty());
  // empty frame, and a frame of one message byte plus checksum
  EXPECT_TRUE(deliver(hex("7E 7D")).empty());
  EXPECT_TRUE(deliver(hex("7E 17 E9 7D")).empty());
  // a two-byte message (a poll answer) is the shortest delivered
  EXPECT_EQ(deliver(hex("7E 17 01 E8 7D")), std::vector<std::string>{"17 01"});
}

TEST(SerialReceiver, StartByteInsideFrame_AbandonsItAndDoesNotStartTheNext) {
  // The second frame's start byte arrives inside the first: both are lost; the third gets in.
  const Bytes wire = hex("7E 07 00 7E 07 00 23 D6 7D 7E 47 01 B8 7D");
  EXPECT_EQ(deliver(wire), std::vector<std::string>{"47 01"});
}

TEST(SerialReceiver, MoreThanEightyBytes_AbandonsTheFrame) {
  auto frame_with = [](std::size_t data_bytes, bool escaped) {
    Bytes message(3 + data_bytes, escaped ? 0x7E : 0x01);
    message[0] = 0x17;
    message[1] = 0x00;
    message[2] = 0x3F;
    return frame_of(message);
  };
  // 76 data bytes: 79 message bytes + checksum = 80 stored bytes, the most a frame may hold.
  EXPECT_EQ(deliver(frame_with(76, false)).size(), 1u);
  EXPECT_EQ(deliver(frame_with(76, true)).size(), 1u);
  EXPECT_TRUE(deliver(frame_with(77, false)).empty());
  EXPECT_TRUE(deliver(frame_with(77, true)).empty());
  // The receiver is back in step for the next frame.
  Bytes wire = frame_with(77, false);
  const Bytes next = frame_of(hex("17 00 23"));
  wire.insert(wire.end(), next.begin(), next.end());
  EXPECT_EQ(deliver(wire), std::vector<std::string>{"17 00 23"});
}

}  // namespace
}  // namespace qm::test
