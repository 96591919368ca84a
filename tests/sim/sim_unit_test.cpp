#include "sim/sim_unit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "compiler/sequence_format.h"
#include "link/function_codes.h"
#include "link/unit_report.h"

namespace qm::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

Bytes text_bytes(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

// A sequence whose main body is `body`, followed by the return that ends it.
Bytes sequence(const Bytes& body) {
  const auto header = sequence_header(kSequenceHeaderSize);
  Bytes image(header.size() + body.size() + 1);
  const auto after_header = std::copy(header.begin(), header.end(), image.begin());
  std::copy(body.begin(), body.end(), after_header);
  image.back() = static_cast<std::uint8_t>(Opcode::EndProc);
  return image;
}

// A split's two bytes and 32 offsets of 0.
Bytes zero_offsets(std::uint8_t split_x, std::uint8_t split_y) {
  Bytes bytes(34, 0);
  bytes[0] = split_x;
  bytes[1] = split_y;
  return bytes;
}

const Bytes kWaitKey = sequence({static_cast<std::uint8_t>(Opcode::WaitEvent)});

class SimUnitTest : public ::testing::Test {
 protected:
  std::optional<UnitReply> ask(std::uint8_t function, const Bytes& data = {},
                               std::uint64_t now_ms = 0) {
    return unit.handle(function, data, false, now_ms);
  }
  void send(std::uint8_t function, const Bytes& data = {}) { ask(function, data); }

  Bytes data_of(std::uint8_t function, const Bytes& data = {}) {
    const auto reply = ask(function, data);
    if (!reply) {
      ADD_FAILURE() << "no reply to function " << int{function};
      return {};
    }
    EXPECT_EQ(reply->function, function);
    return reply->data;
  }

  // The lines the operator's report prints for the unit's answer.
  Lines report(std::uint8_t function, const Bytes& data = {}) {
    const Bytes reply = data_of(function, data);
    UnitFrame frame;
    frame.count = static_cast<std::uint8_t>(3 + reply.size());
    frame.message[0] = kTypeReply | kDeviceUnit;
    frame.message[1] = unit.id();
    frame.message[2] = function;
    std::copy(reply.begin(), reply.end(), frame.message.begin() + 3);
    Lines lines;
    unit_report(frame, [&](const std::string& line) { lines.push_back(line); });
    return lines;
  }

  std::vector<Bytes> delivered;
  SimUnit unit{1, UnitConfig{}, [this](std::span<const std::uint8_t> message) {
                 delivered.emplace_back(message.begin(), message.end());
               }};
};

TEST_F(SimUnitTest, Versions_ReportFactoryValues) {
  EXPECT_EQ(data_of(3), (Bytes{0x21, 0, 0, 0, 0x31}));
  EXPECT_EQ(report(3), (Lines{"Hardware version: 2.1", "    Split switch: 0", "   Effect switch: 0",
                              "   Select Button: 0"}));
  EXPECT_EQ(report(4), (Lines{"Major: 4", "Minor: 2", "Title: Quadrimon unit"}));

  const Bytes* firmware = unit.flash().file(1, "SYSTEM.COM");
  ASSERT_NE(firmware, nullptr);
  ASSERT_EQ(firmware->size(), 1024u);
  EXPECT_EQ(Bytes(firmware->begin(), firmware->begin() + 7),
            (Bytes{0xF3, 0xC3, 0, 0, 'B', 'I', 'N'}));
  EXPECT_EQ((*firmware)[22], 0x04);  // FPGA major 3
  EXPECT_EQ((*firmware)[23], 0x00);
}

TEST_F(SimUnitTest, NewFirmware_TakesEffectAtReset) {
  Bytes image(256, 0);
  image[0] = 0xF3;
  image[1] = 0xC3;
  image[14] = 5;
  image[15] = 7;
  ASSERT_TRUE(unit.flash().put_file(1, "SYSTEM.COM", image));
  EXPECT_EQ(data_of(4)[1], 2);
  send(0);
  EXPECT_EQ(report(4), (Lines{"Major: 5", "Minor: 7", "Title: Quadrimon unit"}));

  image[1] = 0x00;  // not a firmware image
  ASSERT_TRUE(unit.flash().put_file(1, "SYSTEM.COM", image));
  send(0);
  EXPECT_EQ(report(4)[0], "Major: 0");
  EXPECT_EQ(report(4)[1], "Minor: 0");
}

TEST_F(SimUnitTest, Replies_NoneForBroadcastUnknownOrShortRequests) {
  EXPECT_FALSE(unit.handle(4, {}, true, 0));
  EXPECT_FALSE(ask(200));
  EXPECT_FALSE(ask(17, {0, 9}));  // a send
  EXPECT_EQ(data_of(25)[0], 9);
  EXPECT_FALSE(ask(31));
  send(32, {0, 1});  // no row: the channel stays at the corner of unit 1's block
  EXPECT_EQ(data_of(31, {0})[1], 0x05);

  const Bytes new_id = {3};
  EXPECT_FALSE(unit.handle(6, new_id, true, 0));
  EXPECT_EQ(unit.id(), 3);
  send(0);
  EXPECT_EQ(unit.id(), 3);
}

// A request with just the data the table asks for is enough for every code, and the reply is
// as long as the table says (or none), so the program's parsers and these builders agree.
TEST_F(SimUnitTest, Replies_HaveTheSizesOfTheFunctionCodeTable) {
  for (const FunctionCode& code : kFunctionCodes) {
    SCOPED_TRACE(int{code.number});
    const auto reply = ask(code.number, Bytes(code.request_data, 0));
    if (code.reply == ReplyData::None) {
      EXPECT_FALSE(reply);
    } else if (!reply) {
      ADD_FAILURE() << "no reply";
    } else if (code.reply == ReplyData::Fixed) {
      EXPECT_EQ(reply->data.size(), code.reply_data);
    } else {
      EXPECT_GE(reply->data.size(), code.reply_data);
    }
  }
}

TEST_F(SimUnitTest, InputSetters_ShowInInputSettings) {
  send(17, {0, 200});
  send(18, {1, 90});
  send(48, {1, 1});
  send(21, {1, 1});  // keeps the VCR mode
  send(16, {0, 2});
  send(23, {1});
  send(17, {2, 7});  // no third digitiser
  EXPECT_EQ(
      report(25),
      (Lines{"Digitiser settings\n", "Digitiser 1:", "  Brightness: 200", "    Contrast: 128",
             "  Saturation: 128", "         Hue: 128", "      System: PAL", "      Source: S-Video",
             "    VCR Mode: OFF\n", "Digitiser 2:", "  Brightness: 128", "    Contrast: 90",
             "  Saturation: 128", "         Hue: 128", "      System: NTSC",
             "      Source: Composite 1", "    VCR Mode: ON\n", "Global:", "   Auto mode: ON\n"}));
}

TEST_F(SimUnitTest, InputStatusAndFrameRate_FollowTheDigitisers) {
  unit.set_signal_status(1, 0x41);
  EXPECT_EQ(data_of(13, {0x48, 0x1F}), (Bytes{0x48, 0x1F, 0x01}));
  EXPECT_EQ(data_of(13, {0x4A, 0x1F}), (Bytes{0x4A, 0x1F, 0x41}));
  EXPECT_EQ(data_of(13, {0x4A, 0x00}), (Bytes{0x4A, 0x00, 0x00}));

  EXPECT_EQ(data_of(22), Bytes{50});
  send(21, {1, 4});
  EXPECT_EQ(data_of(22), Bytes{50});
  send(21, {0, 4});
  EXPECT_EQ(data_of(22), Bytes{60});
}

TEST_F(SimUnitTest, SignalState_ReportsTheByteOfTheChannelsCurrentSystem) {
  unit.set_signal_state(0, SignalState::kSyncError);
  EXPECT_EQ(data_of(13, {0x48, 0x1F}), (Bytes{0x48, 0x1F, 0x21}));  // PAL-N
  send(21, {0, 1});                                                 // NTSC-N
  EXPECT_EQ(data_of(13, {0x48, 0x1F}), (Bytes{0x48, 0x1F, 0x01}));
  unit.set_signal_state(1, SignalState::kNoSignal);
  EXPECT_EQ(data_of(13, {0x4A, 0x1F}), (Bytes{0x4A, 0x1F, 0x40}));
}

TEST_F(SimUnitTest, OutputSetters_ShowInOutputConfiguration) {
  EXPECT_EQ(data_of(35), (Bytes{0, 1, 1, 1, 0, 16, 0}));
  send(30, {1});
  send(46, {0});
  send(71, {2});
  send(117, {0xFF});  // follow the input
  send(49, {1});
  send(40, {3, 2});
  EXPECT_EQ(report(35), (Lines{"Encoder configuration\n", " Number of monitors: 16",
                               "        Output mode: S-Video", "          Interlace: Off",
                               "Current split (x,y): 3,2", "      Colour System: LINKED",
                               "       Filter state: Vertical", "           VCR mode: On\n"}));
}

TEST_F(SimUnitTest, ChannelMap_PlacesAndReportsChannels) {
  // From the factory, channel 3 of unit 1 is on the wall's first row, eighth column.
  EXPECT_EQ(data_of(31, {2}), (Bytes{0, 0x07, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(report(31, {2}), (Lines{" Channel state: Video bus A", "Position (x,y): 7,0",
                                    "    Wash (RGB): 0,0,0", "         (YUV): 0,0,0"}));

  send(32, {2, 3, 1});
  send(32, {4, 10, 0});  // off the grid
  send(42, {255, 3});
  EXPECT_EQ(report(31, {2}), (Lines{" Channel state: Colour Bars", "Position (x,y): 3,1",
                                    "    Wash (RGB): 0,0,0", "         (YUV): 0,0,0"}));
  EXPECT_EQ(data_of(31, {4})[1], 0x15);  // still where the factory put it
  EXPECT_EQ(data_of(31, {16})[0], 255);  // beyond the unit's 16 channels
}

TEST_F(SimUnitTest, Alignment_OffsetsBelongToTheCurrentSplit) {
  send(40, {3, 2});
  send(36, {1, static_cast<std::uint8_t>(-5)});
  send(37, {0, 9});
  send(40, {11, 1});  // out of range: ignored
  send(72, {4, static_cast<std::uint8_t>(-3), 7});

  Bytes expected = zero_offsets(3, 2);
  expected[2] = 9;
  expected[18 + 1] = static_cast<std::uint8_t>(-5);
  EXPECT_EQ(data_of(118, {3, 2}), expected);
  EXPECT_EQ(data_of(118, {1, 1}), zero_offsets(1, 1));

  std::string rows = "Rows:    9 ";
  std::string columns = "\nColumns:    0   -5 ";
  for (int i = 1; i < 16; ++i)
    rows += "   0 ";
  for (int i = 2; i < 16; ++i)
    columns += "   0 ";
  EXPECT_EQ(report(39), (Lines{"Row/Column alignment:-\n", rows, columns + "\n"}));
  EXPECT_EQ(report(73, {4}), Lines{"Monitor fine adj Ch = 4 Dx = -3 Dy = 7\n"});
}

TEST_F(SimUnitTest, FactoryAlignment_ClearsEverySplitAndDeletesTheFile) {
  send(40, {2, 2});
  send(36, {0, 5});
  send(72, {0, 1, 1});
  send(38);
  ASSERT_NE(unit.flash().file(2, "ALIGN.CFG"), nullptr);

  send(33);
  EXPECT_EQ(unit.flash().file(2, "ALIGN.CFG"), nullptr);
  EXPECT_EQ(data_of(35)[2], 1);
  EXPECT_EQ(data_of(118, {2, 2}), zero_offsets(2, 2));
  EXPECT_EQ(data_of(73, {0}), (Bytes{0, 0, 0}));
}

TEST_F(SimUnitTest, SavedSettings_ComeBackOnRestoreAndReset) {
  send(17, {0, 10});
  send(24);
  send(17, {0, 20});
  send(2, {4});  // alignment only
  EXPECT_EQ(data_of(25)[0], 20);
  send(2, {1});
  EXPECT_EQ(data_of(25)[0], 10);

  send(32, {0, 1, 2});
  send(74);
  send(32, {0, 5, 5});
  send(2, {8});
  EXPECT_EQ(data_of(31, {0})[1], 0x21);

  send(30, {1});
  send(34);
  send(71, {3});  // not saved
  send(40, {4, 4});
  send(38);
  send(0);
  const Bytes output = data_of(35);
  EXPECT_EQ(output[0], 1);
  EXPECT_EQ(output[6], 0);
  EXPECT_EQ(output[2], 4);
  EXPECT_EQ(data_of(25)[0], 10);

  ASSERT_TRUE(unit.flash().remove(2, "DGTSER.CFG"));
  send(0);
  EXPECT_EQ(data_of(25)[0], 128);
}

TEST_F(SimUnitTest, StartFile_RunsAfterReset) {
  EXPECT_EQ(report(78), Lines{"No sequence file running"});
  ASSERT_TRUE(unit.flash().put_file(2, "$START.SFB", Bytes{}));
  send(0);
  EXPECT_EQ(data_of(78), Bytes{0});

  ASSERT_TRUE(unit.flash().put_file(2, "$START.SFB", kWaitKey));
  send(0);
  EXPECT_FALSE(unit.tick(0));  // waits for a key
  EXPECT_EQ(report(78), Lines{"Sequence file \"$START.SFB\" running"});
  EXPECT_EQ(data_of(11), (Bytes{0, 1, 0}));
  EXPECT_EQ(report(76), Lines{"Last sequence terminated normally"});

  send(79);
  EXPECT_EQ(data_of(11), (Bytes{0, 0, 0}));
  EXPECT_EQ(report(76),
            Lines{"Sequence file error [1] \"User stopped sequence\" at file offset 6"});
}

TEST_F(SimUnitTest, KeyMap_StartsTheMappedSequence) {
  ASSERT_TRUE(unit.flash().put_file(
      2, "$IRMAP.TXT",
      text_bytes("; Character to sequence map file\n;\n5 = GONE.SFB\r\n7=SEQ.SFB\n\x1A"
                 "9 = SEQ.SFB\n")));
  ASSERT_TRUE(unit.flash().put_file(3, "SEQ.SFB", kWaitKey));

  send(75, {9});  // after the end of the text
  send(75, {5});  // names a missing file
  EXPECT_EQ(data_of(78), Bytes{0});
  send(75, {7});
  EXPECT_EQ(report(78), Lines{"Sequence file \"SEQ.SFB\" running"});
}

TEST_F(SimUnitTest, MissingKeyMap_IsFoundAsAnEmptyFile) {
  const Bytes find = text_bytes(std::string("\x02$IRMAP.TXT", 11) + '\0');
  EXPECT_EQ(data_of(60, find), text_bytes(std::string("\0\0$IRMAP.TXT", 12) + '\0'));
  // Only that exact question: the listing of the sector and other names stay empty.
  EXPECT_EQ(data_of(60, {2, '*', 0}), (Bytes{0, 0}));
  EXPECT_EQ(data_of(60, text_bytes(std::string("\x03$IRMAP.TXT", 11) + '\0')), (Bytes{0, 0}));
  EXPECT_EQ(data_of(61, find), (Bytes{0, 0}));
  ASSERT_TRUE(unit.flash().put_file(2, "$IRMAP.TXT", text_bytes("5 = A.SFB\n")));
  EXPECT_EQ(data_of(60, find), text_bytes(std::string("\x0A\0$IRMAP.TXT", 12) + '\0'));
}

TEST_F(SimUnitTest, RunningSequence_TakesKeysAndReachesTheWall) {
  const Bytes image = sequence({static_cast<std::uint8_t>(Opcode::WaitEvent),
                                static_cast<std::uint8_t>(Opcode::Output), 1, 'K',
                                static_cast<std::uint8_t>(Opcode::Send), 4, 0x87, 0xFF, 44, 0});
  ASSERT_TRUE(unit.flash().put_file(3, "KEYS.SFB", image));
  EXPECT_EQ(data_of(77, text_bytes(std::string("\x03KEYS.SFB", 9) + '\0')), Bytes{1});
  EXPECT_EQ(data_of(77, text_bytes(std::string("\x03NONE.SFB", 9) + '\0')), Bytes{0});
  EXPECT_FALSE(unit.tick(100));

  send(75, {3});
  EXPECT_FALSE(unit.tick(120));
  EXPECT_EQ(unit.output(), Bytes{'K'});
  EXPECT_EQ(delivered, (std::vector<Bytes>{{0x87, 0xFF, 44, 0}}));
  EXPECT_EQ(report(78), Lines{"No sequence file running"});
}

TEST_F(SimUnitTest, FlashProtocol_WritesListsReadsAndCompacts) {
  EXPECT_EQ(data_of(62, {1, 3, 'A', '.', 'S', 'F', 'B', 0}), Bytes{1});
  EXPECT_EQ(data_of(64, {0, 0, 1, 2, 3}), Bytes{1});
  EXPECT_EQ(data_of(65), (Bytes{1, 6, 0, 1, 0}));

  EXPECT_EQ(data_of(60, {3, '*', 0}), (Bytes{3, 0, 'A', '.', 'S', 'F', 'B', 0}));
  EXPECT_EQ(data_of(61, {3, '*', 0}), (Bytes{0, 0}));

  EXPECT_EQ(data_of(63, {32, 0, 0}), (Bytes{0, 0, 0}));  // nothing open
  EXPECT_EQ(data_of(62, {0, 3, 'A', '.', 'S', 'F', 'B', 0}), Bytes{1});
  EXPECT_EQ(data_of(63, {32, 1, 0}), (Bytes{1, 1, 0, 2, 3}));
  data_of(65);

  send(70, {3, 'A', '.', 'S', 'F', 'B', 0, 3, 'B', 0});
  ASSERT_NE(unit.flash().file(3, "B"), nullptr);
  send(66, {3, 'B', 0});
  EXPECT_EQ(unit.flash().file(3, "B"), nullptr);

  const FlashSpace space = unit.flash().space(3);
  EXPECT_EQ(data_of(68, {3}), (Bytes{0, static_cast<std::uint8_t>(space.free & 0xFF),
                                     static_cast<std::uint8_t>(space.free >> 8 & 0xFF),
                                     static_cast<std::uint8_t>(space.used & 0xFF),
                                     static_cast<std::uint8_t>(space.used >> 8 & 0xFF)}));
  EXPECT_FALSE(ask(69, {3}, 1000));
  EXPECT_EQ(unit.busy_until(), 1300u);
  EXPECT_EQ(unit.flash().space(3).recoverable, 0u);
}

}  // namespace
}  // namespace qm::sim
