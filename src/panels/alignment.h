// Monitor alignment without its window: the monitor map (which unit channel each of the 10 x
// 10 monitors shows), the split, the column, row and channel offsets, the panel's selection
// and swap state, what the units' replies put in them, and every message the panel's controls
// send, with its address. The dialog maps its controls onto this; tests drive it directly.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/unit_frame.h"
#include "panels/panel_services.h"

namespace qm {

class Link;

inline constexpr int kGridSide = 10;
inline constexpr int kGridCells = kGridSide * kGridSide;
inline constexpr int kMaxUnitChannels = 25;
inline constexpr std::uint8_t kNoUnit = 255;
inline constexpr int kOffsetMin = -128;
inline constexpr int kOffsetMax = 127;

inline constexpr const char* kTitleAlignment = " Monitor Alignment";
inline constexpr const char* kTitleResetAll = " Reset all";
inline constexpr const char* kResetAllQuestion =
    "Reset all settings for all splits to factory defaults?\nWARNING: This will delete "
    "configuration saved in FLASH";
inline constexpr const char* kTitleIdentify = " Show channel connections";
inline constexpr const char* kIdentifyText = "Press OK to resume alignment";
inline constexpr const char* kReadingChannel = " Reading Unit: %d, Ch: %d";
inline constexpr const char* kChannelStatus = " Unit: %d  Ch: %2d  dx: %-4d  dy: %-4d";
inline constexpr const char* kSplitText = "%dx%d";
inline constexpr const char* kAlignmentFile = "ALIGN.CFG";  // in sector 2
inline constexpr std::uint8_t kRestoreAlignment = 4;        // function 2's mask

struct MapCell {
  std::uint8_t unit = kNoUnit;     // 0..3
  std::uint8_t channel = kNoUnit;  // 1-based
  std::uint8_t spare = kNoUnit;
  bool empty() const { return unit == kNoUnit; }
};
using MonitorMap = std::array<MapCell, kGridCells>;

constexpr int cell_index(int row, int column) {
  return row * kGridSide + column;
}

enum class SelectionMode { kNone, kColumn, kRow, kChannel };
enum class SwapState { kOff, kReady, kArmed };
enum class DisplayMode { kBars, kTest, kVideo };
enum class ScrollBar { kHorizontal, kVertical };

// A message and the address it goes to (a unit, or kAddressAll).
struct AlignmentMessage {
  std::uint8_t address = kAddressAll;
  PanelMessage message;
  bool operator==(const AlignmentMessage&) const = default;
};
using Messages = std::vector<AlignmentMessage>;

// The working copy of the wall's alignment and the panel's state; lives for the program's run.
struct AlignmentState {
  MonitorMap map;
  int split_x = 1;
  int split_y = 1;
  // [split 1..10][position 0..9]; index 0 unused.
  std::array<std::array<int, kGridSide>, kGridSide + 1> column_offsets{};
  std::array<std::array<int, kGridSide>, kGridSide + 1> row_offsets{};
  std::array<int, kGridCells> dx{};  // quarter steps
  std::array<int, kGridCells> dy{};

  SelectionMode mode = SelectionMode::kNone;
  int column = 0;
  int row = 0;
  int cell = 0;
  SwapState swap = SwapState::kOff;
  std::array<bool, kGridCells> highlight{};
  DisplayMode display = DisplayMode::kVideo;
  bool allocate_columns = false;
  bool complete = true;

  // The start-up reset: the default map of the installed units, offsets 0, split 1 x 1.
  void reset(const std::array<std::uint8_t, 4>& channels);
};

// Where the factory layout puts channel k (1-based) of unit u (0..3) with n channels: its cell.
int default_cell(int unit, int k, int n);
// The factory layout of the installed units' channels (counts per unit 0..3, 0: absent).
void build_default_map(MonitorMap& map, const std::array<std::uint8_t, 4>& channels);
// Every cell showing the unit's channel (1-based) becomes empty.
void clear_channel_cells(MonitorMap& map, int channel, int unit);

// Replies of the units.
// Function 35: split X and Y from a count-10 reply (other counts change nothing).
void apply_split_reply(AlignmentState& state, const UnitFrame& reply);
// Function 118: the row offsets of split Y and the column offsets of split X.
void apply_offsets_reply(AlignmentState& state, const UnitFrame& reply);
// Function 31 for channel index c of the unit: the channel's cell; false without a count-11
// reply (the map unchanged).
bool apply_channel_state(MonitorMap& map, int unit, int c, const std::optional<UnitFrame>& reply);
// The unit's cells of channels above n become empty.
void clear_channels_above(MonitorMap& map, int unit, int n);
// The placement byte of a channel state reply; kNoUnit when not placed or no count-11 reply.
std::uint8_t channel_state_byte(const std::optional<UnitFrame>& reply);

// What the units answered when the panel reads them, on the link's thread.
struct SplitReading {
  std::optional<UnitFrame> split;    // 35
  std::optional<UnitFrame> offsets;  // 118, asked only after a reply to 35
};
SplitReading read_split_offsets(Link& link, std::uint8_t address, int held_x, int held_y);
// Applies the reading; true when a reply to 118 came.
bool apply_split_reading(AlignmentState& state, const SplitReading& reading);

// The cells a column (or row) selection highlights: every X-th column (Y-th row) from the
// selected one's position in the split, holding a unit of `unit` (any unit when -1).
std::vector<int> selection_cells(const AlignmentState& state, bool column, int unit);
// Column or row button: selection mode, selected column/row, highlight, swap off; the offset
// the bar shows is returned.
int select_column(AlignmentState& state, int column, int unit);
int select_row(AlignmentState& state, int row, int unit);
void clear_selection(AlignmentState& state);

// A scroll bar moved to value v: the messages it sends (to `selected`, the selected unit's
// address).
Messages scroll(AlignmentState& state, ScrollBar bar, int v, std::uint8_t selected);
// Clear: the messages, by selection mode.
Messages clear_offsets(AlignmentState& state, std::uint8_t selected);
// A cell clicked: swaps with the selected cell when armed (the placements sent); the clicked
// cell becomes selected, channel mode, swap ready.
Messages click_cell(AlignmentState& state, int cell);
// Function 73's reply for the selected cell: dx, dy stored in quarter steps; false without one.
bool apply_fine_offset(AlignmentState& state, const std::optional<UnitFrame>& reply);
// The channel status line of the selected cell.
std::string channel_status(const AlignmentState& state);

PanelMessage send_offset(int position, int value, bool row);
PanelMessage fine_offset_message(int channel, int dx, int dy);
PanelMessage place_message(int channel_index, int column, int row);
// The buttons of the panel (all to every unit unless noted).
Messages display_messages(DisplayMode mode);
Messages identify_messages();                                   // before the box
Messages after_identify_messages(const AlignmentState& state);  // after it
Messages closing_messages();

// The Set Split dialog: a column count sets X and Y; a row count sets Y.
struct SplitChoice {
  int x = 1;
  int y = 1;
  void choose_column(int n) { x = y = n; }
  void choose_row(int n) { y = n; }
  int result() const { return y * 16 + x; }
};

// The Array Dimension dialog.
// The side proposed for t channels: 10 from 100, else the largest s with s x s <= t.
int proposed_side(int t);
// A unit channel for the allocation: unit, channel (1-based).
struct ChannelEntry {
  int unit = 0;
  int channel = 0;
};
// Places the channels into the rectangle; the placements sent.
Messages allocate_in_rows(AlignmentState& state, std::vector<ChannelEntry> list, int row,
                          int column, int width, int height, bool complete);
Messages allocate_in_columns(AlignmentState& state, std::vector<ChannelEntry> list, int row,
                             int column, int width, int height, bool complete);
// The rectangle must lie in the grid; the refusal text otherwise.
std::optional<std::string> dimension_refusal(int row, int column, int width, int height);

// Clipboard scripts.
std::string offsets_script(const AlignmentState& state, int unit);
std::string map_script(const AlignmentState& state);

// The colour of a cell (fill RGB) and its text.
enum class CellKind { kNormal, kHighlight, kSwap };
std::array<int, 3> cell_colour(const MapCell& cell, CellKind kind);
std::string cell_text(const MapCell& cell, int selected_unit);

}  // namespace qm
