// Bus semantics of a simulated wall, driven directly with messages.
#include "sim/wall.h"

#include <gtest/gtest.h>

#include "support/far_side.h"

namespace qm::sim {
namespace {

using test::hex;
using test::to_hex;

std::string answers(SimWall& wall, const std::string& message) {
  std::string out;
  for (const Bytes& m : wall.receive(hex(message)))
    out += (out.empty() ? "" : " | ") + to_hex(m);
  return out;
}

WallConfig two_units() {
  WallConfig c;
  c.channels = {16, 9, 0, 0};
  return c;
}

TEST(SimWall, Poll_AnswersQueuedReplyOnceThenAcknowledges) {
  SimWall wall(two_units());
  EXPECT_EQ(answers(wall, "47 00"), "17 00");  // nothing queued
  EXPECT_EQ(answers(wall, "07 01 03"), "");    // a request is never answered at once
  EXPECT_EQ(answers(wall, "47 00"), "17 00");  // unit 0 has nothing: the reply is unit 1's
  EXPECT_EQ(answers(wall, "47 01"), "17 01 03 21 00 00 00 31");
  EXPECT_EQ(answers(wall, "47 01"), "17 01");
}

TEST(SimWall, AbsentUnitsAndOtherDevicesStaySilent) {
  SimWall wall(two_units());
  EXPECT_EQ(answers(wall, "47 02"), "");
  EXPECT_EQ(answers(wall, "47 FF"), "");     // a poll of "all" matches no unit
  EXPECT_EQ(answers(wall, "06 00 03"), "");  // device 6
  EXPECT_EQ(answers(wall, "46 00"), "");
}

TEST(SimWall, Broadcast_ActsOnEveryUnitAndIsNeverAnswered) {
  SimWall wall(two_units());
  EXPECT_EQ(answers(wall, "87 FF 03"), "");  // a get as broadcast queues nothing
  EXPECT_EQ(answers(wall, "47 00"), "17 00");
  EXPECT_EQ(answers(wall, "87 00 06 02"), "");  // TCP form: address 0; every unit takes ID 2
  EXPECT_EQ(answers(wall, "47 00"), "");
  EXPECT_EQ(answers(wall, "47 02"), "17 02");
}

TEST(SimWall, Faults_SilentSlowDroppedAndWrongFirst) {
  std::uint64_t fake_now = 1000;  // the wall's clock, moved by hand
  WallConfig config = two_units();
  config.clock = [&] { return fake_now; };
  config.faults.silent[1] = true;
  config.faults.slow_reply_ms = 100;
  SimWall wall(config);
  EXPECT_EQ(answers(wall, "47 01"), "");
  wall.receive(hex("07 00 04"));
  EXPECT_EQ(answers(wall, "47 00"), "17 00");  // not ready yet
  fake_now += 100;
  EXPECT_NE(answers(wall, "47 00"), "17 00");

  Faults f = config.faults;
  f.slow_reply_ms = 0;
  f.drop_reply_every = 2;
  f.wrong_function_first = true;
  wall.set_faults(f);
  wall.receive(hex("07 00 03"));  // second reply overall: dropped
  EXPECT_EQ(answers(wall, "47 00"), "17 00");
  wall.receive(hex("07 00 03"));  // third: kept, behind one to another function
  EXPECT_EQ(answers(wall, "47 00"), "17 00 04 21 00 00 00 31 | 17 00 03 21 00 00 00 31");
}

TEST(SimWall, Transcript_RecordsBothDirectionsInOrder) {
  SimWall wall(two_units());
  wall.receive(hex("07 00 03"));
  wall.receive(hex("47 00"));
  const auto t = wall.transcript();
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[0].direction, Direction::ToUnits);
  EXPECT_EQ(to_hex(t[1].message), "47 00");
  EXPECT_EQ(t[2].direction, Direction::FromUnits);
  EXPECT_EQ(to_hex(t[2].message), "17 00 03 21 00 00 00 31");
  EXPECT_LE(t[0].at_ms, t[2].at_ms);
}

}  // namespace
}  // namespace qm::sim
