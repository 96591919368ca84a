// The alignment model: the factory map, what the units' replies put in the working copy,
// selection and highlighting by split, the exact messages of scrolling, Clear, swap and
// allocation, and the clipboard scripts.
#include "panels/alignment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/function_codes.h"
#include "support/unit_frames.h"

namespace qm {
namespace {

using Data = std::vector<std::uint8_t>;

UnitFrame reply(std::uint8_t function, const Data& data) {
  return test::reply_frame(function, data);
}

// "unit:channel" of a cell named like "A1"; "-" for an empty one.
std::string at(const MonitorMap& map, const char* name) {
  const int row = name[0] - 'A';
  const int column = std::stoi(name + 1) - 1;
  const MapCell& c = map[static_cast<std::size_t>(cell_index(row, column))];
  return c.empty() ? "-" : std::to_string(c.unit) + ":" + std::to_string(c.channel);
}

AlignmentMessage msg(std::uint8_t address, std::uint8_t function, Data data) {
  return {address, {function, std::move(data)}};
}

TEST(AlignmentMap, DefaultLayoutsFor9_16And25Channels) {
  MonitorMap map;
  build_default_map(map, {9, 16, 25, 0});
  // 9 channels: A1..C3 row by row.
  EXPECT_EQ(at(map, "A1"), "0:1");
  EXPECT_EQ(at(map, "A3"), "0:3");
  EXPECT_EQ(at(map, "B1"), "0:4");
  EXPECT_EQ(at(map, "C3"), "0:9");
  EXPECT_EQ(at(map, "A4"), "-");
  // 16 channels: A6..D9.
  EXPECT_EQ(at(map, "A6"), "1:1");
  EXPECT_EQ(at(map, "A9"), "1:4");
  EXPECT_EQ(at(map, "D9"), "1:16");
  EXPECT_EQ(at(map, "E6"), "-");
  // 25 channels from F1: 17..20 down column 5 of the block, 21..25 along its row 5.
  EXPECT_EQ(at(map, "F1"), "2:1");
  EXPECT_EQ(at(map, "F5"), "2:17");
  EXPECT_EQ(at(map, "I5"), "2:20");
  EXPECT_EQ(at(map, "J1"), "2:21");
  EXPECT_EQ(at(map, "J5"), "2:25");
  EXPECT_EQ(at(map, "F6"), "-");  // unit 3 absent

  // More than 9 channels go 4 x 4 row by row from the block's corner.
  build_default_map(map, {0, 0, 0, 12});
  EXPECT_EQ(at(map, "F9"), "3:4");
  EXPECT_EQ(at(map, "G6"), "3:5");
  EXPECT_EQ(at(map, "H9"), "3:12");
}

TEST(AlignmentMap, ChannelStatesPlaceAndClearCells) {
  MonitorMap map;
  build_default_map(map, {16, 0, 0, 0});
  // Channel index 0 now at row 2, column 5: its old cell empties.
  EXPECT_TRUE(apply_channel_state(map, 0, 0, reply(kFnChannelState, {0, 0x25, 0, 0, 0, 0, 0, 0})));
  EXPECT_EQ(at(map, "C6"), "0:1");
  EXPECT_EQ(at(map, "A1"), "-");
  // Not placed (255), or placed off the grid (row 10, column 12): the channel shows nowhere.
  EXPECT_TRUE(apply_channel_state(map, 0, 1, reply(kFnChannelState, {255, 0, 0, 0, 0, 0, 0, 0})));
  EXPECT_EQ(at(map, "A2"), "-");
  EXPECT_TRUE(apply_channel_state(map, 0, 2, reply(kFnChannelState, {0, 0xA3, 0, 0, 0, 0, 0, 0})));
  EXPECT_TRUE(apply_channel_state(map, 0, 3, reply(kFnChannelState, {0, 0x3C, 0, 0, 0, 0, 0, 0})));
  EXPECT_EQ(at(map, "A3"), "-");
  EXPECT_EQ(at(map, "A4"), "-");
  // A short reply or none changes nothing.
  EXPECT_FALSE(apply_channel_state(map, 0, 4, reply(kFnChannelState, {0, 0x00})));
  EXPECT_FALSE(apply_channel_state(map, 0, 4, std::nullopt));
  EXPECT_EQ(at(map, "B1"), "0:5");
  // A unit with 9 channels now: its 10..16 go.
  clear_channels_above(map, 0, 9);
  EXPECT_EQ(at(map, "C1"), "0:9");
  EXPECT_EQ(at(map, "C2"), "-");
  EXPECT_EQ(at(map, "D4"), "-");
}

TEST(AlignmentMap, SplitAndOffsetsFromTheirRepliesWithSignExtension) {
  AlignmentState s;
  apply_split_reply(s, reply(kFnOutputConfig, {0, 1, 3, 2, 0, 0, 0}));
  EXPECT_EQ(s.split_x, 3);
  EXPECT_EQ(s.split_y, 2);
  apply_split_reply(s, reply(kFnOutputConfig, {0, 1, 4}));  // another count: kept
  EXPECT_EQ(s.split_x, 3);
  Data offsets(34, 0);
  offsets[0] = 3;
  offsets[1] = 2;
  offsets[2] = 0xFF;   // row 0: -1
  offsets[3] = 0x7F;   // row 1: 127
  offsets[18] = 0x80;  // column 0: -128
  offsets[20] = 5;     // column 2: 5
  apply_offsets_reply(s, reply(kFnSplitOffsets, offsets));
  EXPECT_EQ(s.row_offsets[2][0], -1);
  EXPECT_EQ(s.row_offsets[2][1], 127);
  EXPECT_EQ(s.column_offsets[3][0], -128);
  EXPECT_EQ(s.column_offsets[3][2], 5);
  EXPECT_EQ(s.column_offsets[1][0], 0);  // other splits untouched
}

TEST(AlignmentSelection, ColumnHighlightsEveryXthColumnOfTheSelectedUnitOnly) {
  AlignmentState s;
  s.reset({16, 16, 0, 0});
  s.split_x = 3;
  s.column_offsets[3][1] = -7;
  EXPECT_EQ(select_column(s, 4, 0), -7);  // column "5": position 1
  EXPECT_EQ(s.mode, SelectionMode::kColumn);
  // Columns 2, 5, 8 (0-based 1, 4, 7): unit 0 only has columns 1..4, so column 2 of A..D.
  std::vector<int> lit;
  for (int i = 0; i < kGridCells; ++i)
    if (s.highlight[static_cast<std::size_t>(i)]) lit.push_back(i);
  EXPECT_EQ(lit, (std::vector<int>{1, 11, 21, 31}));
  // With all units: unit 1's column 8 too.
  select_column(s, 4, -1);
  EXPECT_TRUE(s.highlight[cell_index(0, 7)]);
  EXPECT_FALSE(s.highlight[cell_index(0, 4)]);  // empty
  // Clear sends position 1 (and row position 0 while split Y is 1), to the selected unit.
  EXPECT_EQ(clear_offsets(s, 0),
            (Messages{msg(0, kFnRowOffset, {0, 0}), msg(0, kFnColumnOffset, {1, 0})}));
  EXPECT_EQ(s.column_offsets[3][1], 0);
}

TEST(AlignmentSelection, ScrollingSendsByModeAndChannelOffsetsInQuarterSteps) {
  AlignmentState s;
  s.reset({16, 16, 0, 0});
  s.split_x = 2;
  s.split_y = 3;
  select_row(s, 5, 0);  // row F: position 2 of split 3
  EXPECT_EQ(scroll(s, ScrollBar::kVertical, -5, 0), (Messages{msg(0, kFnRowOffset, {2, 0xFB})}));
  EXPECT_EQ(s.row_offsets[3][2], -5);
  EXPECT_TRUE(scroll(s, ScrollBar::kHorizontal, 9, 0).empty());  // split X is not 1
  select_column(s, 3, 0);
  EXPECT_EQ(scroll(s, ScrollBar::kHorizontal, 100, 255),
            (Messages{msg(255, kFnColumnOffset, {1, 100})}));
  EXPECT_TRUE(scroll(s, ScrollBar::kVertical, 9, 0).empty());  // split Y is not 1

  // Channel mode: B6 is unit 1 channel 5; dx -7 and dy 13 go as -1 and 3.
  click_cell(s, cell_index(1, 5));
  scroll(s, ScrollBar::kHorizontal, -7, 0);
  EXPECT_EQ(scroll(s, ScrollBar::kVertical, 13, 0),
            (Messages{msg(1, kFnFineOffset, {4, 0xFF, 3})}));
  EXPECT_EQ(channel_status(s), " Unit: 1  Ch:  5  dx: -1    dy: 3   ");
  // The reply read back is kept in quarter steps.
  EXPECT_TRUE(apply_fine_offset(s, reply(kFnReadFineOffset, {4, 0xFE, 0x05})));
  EXPECT_EQ(s.dx[cell_index(1, 5)], -8);
  EXPECT_EQ(s.dy[cell_index(1, 5)], 20);
  s.mode = SelectionMode::kNone;
  EXPECT_TRUE(scroll(s, ScrollBar::kVertical, 1, 0).empty());
}

TEST(AlignmentSelection, SwapExchangesCellsAndSendsBothPlacements) {
  AlignmentState s;
  s.reset({16, 16, 0, 0});
  click_cell(s, cell_index(0, 0));  // 0:1
  s.dx[0] = 8;
  s.swap = SwapState::kArmed;
  EXPECT_EQ(click_cell(s, cell_index(3, 8)),  // 1:16 at D9
            (Messages{msg(1, kFnPlaceChannel, {15, 0, 0}), msg(0, kFnPlaceChannel, {0, 8, 3})}));
  EXPECT_EQ(at(s.map, "A1"), "1:16");
  EXPECT_EQ(at(s.map, "D9"), "0:1");
  EXPECT_EQ(s.dx[cell_index(3, 8)], 8);
  EXPECT_EQ(s.swap, SwapState::kReady);
  EXPECT_EQ(s.cell, cell_index(3, 8));
  // Swapping with an empty cell sends only the one placement.
  s.swap = SwapState::kArmed;
  EXPECT_EQ(click_cell(s, cell_index(9, 9)), (Messages{msg(0, kFnPlaceChannel, {0, 9, 9})}));
}

TEST(AlignmentAllocation, RowsAndColumnsWithAndWithoutCompleteRuns) {
  std::vector<ChannelEntry> list;
  for (int c = 1; c <= 9; ++c)
    list.push_back({0, c});
  for (int c = 1; c <= 5; ++c)
    list.push_back({1, c});
  AlignmentState s;
  s.reset({9, 5, 0, 0});
  // Width 4, complete: unit 0's 1..8 fill two rows, unit 1's 1..4 the third, then 0:9, 1:5.
  const Messages placed = allocate_in_rows(s, list, 5, 2, 4, 4, true);
  ASSERT_EQ(placed.size(), 14u);
  EXPECT_EQ(at(s.map, "F3"), "0:1");
  EXPECT_EQ(at(s.map, "G6"), "0:8");
  EXPECT_EQ(at(s.map, "H3"), "1:1");
  EXPECT_EQ(at(s.map, "H6"), "1:4");
  EXPECT_EQ(at(s.map, "I3"), "0:9");
  EXPECT_EQ(at(s.map, "I4"), "1:5");
  EXPECT_EQ(at(s.map, "A1"), "-");  // moved away from the factory place
  EXPECT_EQ(placed[13], msg(1, kFnPlaceChannel, {4, 3, 8}));

  // Without complete rows the list goes as built; in columns it fills down first.
  s.reset({9, 5, 0, 0});
  allocate_in_columns(s, list, 0, 0, 3, 3, false);
  EXPECT_EQ(at(s.map, "A1"), "0:1");
  EXPECT_EQ(at(s.map, "C1"), "0:3");
  EXPECT_EQ(at(s.map, "A2"), "0:4");
  EXPECT_EQ(at(s.map, "C3"), "0:9");
  EXPECT_EQ(at(s.map, "A6"), "1:1");  // the rest of the list did not fit: left where it was
}

TEST(AlignmentDialogs, SplitChoiceProposedSideAndTheGridLimit) {
  SplitChoice c;
  c.choose_row(2);
  c.choose_column(4);
  EXPECT_EQ(c.x, 4);
  EXPECT_EQ(c.y, 4);
  c.choose_row(3);
  EXPECT_EQ(c.result(), 52);
  EXPECT_EQ(proposed_side(34), 5);
  EXPECT_EQ(proposed_side(9), 3);
  EXPECT_EQ(proposed_side(100), 10);
  EXPECT_EQ(proposed_side(0), 0);
  EXPECT_FALSE(dimension_refusal(5, 5, 5, 5));
  ASSERT_TRUE(dimension_refusal(6, 0, 4, 5));
  EXPECT_NE(dimension_refusal(6, 0, 4, 5)->find("G1"), std::string::npos);
}

TEST(AlignmentScripts, CopyAndCopyMapByteForByte) {
  AlignmentState s;
  s.reset({9, 0, 0, 0});
  s.split_x = 2;
  s.split_y = 1;
  s.column_offsets[2] = {-1, 5};
  s.row_offsets[1][0] = 127;
  EXPECT_EQ(offsets_script(s, -1),
            "; Alignment settings for split of (x,y) 2,1\r\n"
            "send 7 -1 FN_ALGNCOL 0 255\r\n"
            "send 7 -1 FN_ALGNCOL 1 5\r\n"
            "send 7 -1 FN_ALGNROW 0 127\r\n"
            "\r\n");
  s.map = {};
  s.map[cell_index(0, 1)] = {0, 3, 255};
  s.map[cell_index(9, 9)] = {2, 12, 255};
  EXPECT_EQ(map_script(s),
            "; Monitor map settings\r\n"
            "send 7 0 32 02  1  0\r\n"
            "send 7 2 32 11  9  9\r\n"
            "\r\n");
  EXPECT_EQ(cell_text(s.map[cell_index(0, 1)], -1), "0:3");
  EXPECT_EQ(cell_text(s.map[cell_index(0, 1)], 1), "-");
  EXPECT_EQ(cell_colour(s.map[cell_index(9, 9)], CellKind::kNormal),
            (std::array<int, 3>{0, 170, 140}));
  EXPECT_EQ(cell_colour(MapCell{}, CellKind::kNormal), (std::array<int, 3>{128, 128, 128}));
}

TEST(AlignmentScripts, IdentifyLaysOutFiveByFiveThenSendsTheMapBack) {
  const Messages before = identify_messages();
  ASSERT_EQ(before.size(), 26u);
  EXPECT_EQ(before[0], msg(255, kFnIdentify, {}));
  EXPECT_EQ(before[25], msg(255, kFnPlaceChannel, {24, 4, 4}));
  AlignmentState s;
  s.reset({9, 0, 0, 0});
  s.split_x = 2;
  const Messages after = after_identify_messages(s);
  ASSERT_EQ(after.size(), 11u);
  EXPECT_EQ(after[0], msg(255, kFnOverlayOff, {0}));
  EXPECT_EQ(after[1], msg(255, kFnSetSplit, {2, 1}));
  EXPECT_EQ(after[10], msg(0, kFnPlaceChannel, {8, 2, 2}));
  EXPECT_EQ(display_messages(DisplayMode::kBars),
            (Messages{msg(255, kFnOverlayOff, {0}), msg(255, kFnPattern, {255, 3})}));
  EXPECT_EQ(display_messages(DisplayMode::kTest),
            (Messages{msg(255, kFnPattern, {255, 0}), msg(255, kFnTest, {0, 1})}));
}

}  // namespace
}  // namespace qm
