// The simulated wall inside the program's own link, without a cable: the protocol's requests
// against the units directly, with the bus rules the wall applies.
#include "sim/wall_transport.h"

#include <gtest/gtest.h>

#include "support/link_rig.h"

namespace qm::sim {
namespace {

using test::hex;
using test::to_hex;

class InProcessWall : public test::LinkRig {
 protected:
  InProcessWall() { link_.set_local_transport(std::make_unique<WallTransport>(wall_, ui_)); }

  // The messages both ways, as hex lines.
  std::vector<std::string> transcript() const {
    std::vector<std::string> out;
    for (const auto& e : wall_.transcript())
      out.push_back(to_hex(e.message));
    return out;
  }

  SimWall wall_{[] {
    WallConfig c;
    c.channels = {16, 9, 0, 0};
    return c;
  }()};
};

TEST_F(InProcessWall, UnitGet_SoftwareVersion_ComesAfterThePollWithoutWaiting) {
  const std::uint32_t start = link_.tick_ms();
  const auto reply = link_.unit_get(7, 1, 4, {});
  EXPECT_LT(link_.tick_ms() - start, kSerialReplyWaitMs);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->function(), 4);
  EXPECT_EQ(reply->data()[0], 4);  // major of the factory firmware
  const auto t = transcript();
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[0], "07 01 04");
  EXPECT_EQ(t[1], "47 01");
  EXPECT_EQ(t[2].substr(0, 8), "17 01 04");
  EXPECT_EQ(ui_.calls(), (std::vector<std::string>{"tx", "tx", "rx"}));
}

TEST_F(InProcessWall, BusRules_AbsentUnitsAndBroadcastsStaySilent) {
  // Unit 2 is absent: four polls go unanswered, each waited out.
  const std::uint32_t start = link_.tick_ms();
  EXPECT_FALSE(link_.unit_get(7, 2, 3, {}));
  EXPECT_GE(link_.tick_ms() - start, 4 * kSerialReplyWaitMs);
  // A broadcast acts on every unit and nobody answers it; a poll of a unit with nothing to
  // say gets the two bytes 0x17, ID.
  link_.unit_send(7, kAddressAll, 24, {});  // save input settings in flash
  EXPECT_FALSE(link_.link_receive());
  settings_.id = 0;
  EXPECT_EQ(link_.unit_poll(1), 0);
  const auto t = transcript();
  EXPECT_EQ(std::vector<std::string>(t.end() - 3, t.end()),
            (std::vector<std::string>{"87 FF 18", "47 00", "17 00"}));
}

TEST_F(InProcessWall, Routing_RemoteFlagTakesPrecedenceAndRawOutputIsRecorded) {
  const Bytes raw = hex("41 42 43");
  link_.link_output_raw(raw.size(), raw.data());
  EXPECT_EQ(wall_.output(), raw);
  settings_.ip = true;  // no socket open: nothing goes anywhere, not to the wall either
  EXPECT_FALSE(link_.unit_get(7, 0, 3, {}));
  link_.unit_send(7, 0, 35, {});
  EXPECT_TRUE(wall_.transcript().empty());
  settings_.ip = false;
  link_.set_local_transport(nullptr);  // the place goes back to the serial port: none is open
  EXPECT_FALSE(link_.unit_get(7, 0, 3, {}));
  EXPECT_TRUE(wall_.transcript().empty());
}

}  // namespace
}  // namespace qm::sim
