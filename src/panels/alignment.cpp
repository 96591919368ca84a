#include "panels/alignment.h"

#include <algorithm>
#include <utility>

#include "base/text_format.h"
#include "link/function_codes.h"
#include "link/link.h"

namespace qm {

namespace {

constexpr std::uint8_t kChannelStateCount = 11;
constexpr std::uint8_t kSplitCount = 10;
constexpr std::uint8_t kOffsetsCount = 37;
constexpr std::uint8_t kPatternAll = 255;
constexpr std::uint8_t kPatternBars = 3;
constexpr std::uint8_t kPatternVideo = 0;
constexpr int kQuarter = 4;

// Origins (row, column) of units 0..3.
constexpr std::array<std::pair<int, int>, 4> kOrigins = {{{0, 0}, {0, 5}, {5, 0}, {5, 5}}};
// Channel k's place (row, column) in its unit's block, for up to 9 channels and for more.
constexpr std::array<std::pair<int, int>, kMaxUnitChannels> kSquareLayout = {
    {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}, {2, 0}, {2, 1}, {2, 2},
     {0, 3}, {1, 3}, {2, 3}, {3, 0}, {3, 1}, {3, 2}, {3, 3}, {0, 4}, {1, 4},
     {2, 4}, {3, 4}, {4, 0}, {4, 1}, {4, 2}, {4, 3}, {4, 4}}};
constexpr std::array<std::pair<int, int>, kMaxUnitChannels> kBlockLayout = {
    {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 0}, {1, 1}, {1, 2}, {1, 3}, {2, 0},
     {2, 1}, {2, 2}, {2, 3}, {3, 0}, {3, 1}, {3, 2}, {3, 3}, {0, 4}, {1, 4},
     {2, 4}, {3, 4}, {4, 0}, {4, 1}, {4, 2}, {4, 3}, {4, 4}}};

std::uint8_t byte(int value) {
  return static_cast<std::uint8_t>(value);
}
int signed_byte(std::uint8_t b) {
  return static_cast<std::int8_t>(b);
}
AlignmentMessage to(std::uint8_t address, std::uint8_t function, std::vector<std::uint8_t> data) {
  return {address, {function, std::move(data)}};
}
AlignmentMessage to(std::uint8_t address, PanelMessage message) {
  return {address, std::move(message)};
}

int& column_offset(AlignmentState& s, int position) {
  return s.column_offsets[static_cast<std::size_t>(s.split_x)][static_cast<std::size_t>(position)];
}
int& row_offset(AlignmentState& s, int position) {
  return s.row_offsets[static_cast<std::size_t>(s.split_y)][static_cast<std::size_t>(position)];
}

// The placement of the cell's channel, to its unit.
AlignmentMessage placement(const MapCell& cell, int index) {
  return to(cell.unit, place_message(cell.channel - 1, index % kGridSide, index / kGridSide));
}

// The list ordered for complete rows (or columns) of `run`: the first whole multiples of
// each unit's run first, then the leftovers, each in list order.
std::vector<ChannelEntry> complete_order(const std::vector<ChannelEntry>& list, int run) {
  std::vector<bool> marked(list.size(), false);
  for (std::size_t start = 0; start < list.size();) {
    std::size_t end = start;
    while (end < list.size() && list[end].unit == list[start].unit)
      ++end;
    const std::size_t whole =
        run > 0 ? (end - start) / static_cast<std::size_t>(run) * static_cast<std::size_t>(run) : 0;
    for (std::size_t i = start; i < start + whole; ++i)
      marked[i] = true;
    start = end;
  }
  std::vector<ChannelEntry> out;
  for (std::size_t i = 0; i < list.size(); ++i)
    if (marked[i]) out.push_back(list[i]);
  for (std::size_t i = 0; i < list.size(); ++i)
    if (!marked[i]) out.push_back(list[i]);
  return out;
}

Messages allocate(AlignmentState& state, std::vector<ChannelEntry> list, int row, int column,
                  int width, int height, bool complete, bool by_columns) {
  if (complete) list = complete_order(list, by_columns ? height : width);
  Messages out;
  std::size_t next = 0;
  const int outer = std::min(by_columns ? width : height, kGridSide);
  const int inner = std::min(by_columns ? height : width, kGridSide);
  for (int i = 0; i < outer; ++i) {
    for (int j = 0; j < inner; ++j) {
      if (next == list.size()) return out;
      const ChannelEntry e = list[next++];
      const int r = row + (by_columns ? j : i);
      const int c = column + (by_columns ? i : j);
      if (r >= kGridSide || c >= kGridSide) continue;  // refused before; never off the grid
      clear_channel_cells(state.map, e.channel, e.unit);
      MapCell& cell = state.map[static_cast<std::size_t>(cell_index(r, c))];
      cell.unit = byte(e.unit);
      cell.channel = byte(e.channel);
      out.push_back(to(byte(e.unit), place_message(e.channel - 1, c, r)));
    }
  }
  return out;
}

}  // namespace

void AlignmentState::reset(const std::array<std::uint8_t, 4>& channels) {
  build_default_map(map, channels);
  split_x = split_y = 1;
  column_offsets = {};
  row_offsets = {};
  dx = {};
  dy = {};
}

int default_cell(int unit, int k, int n) {
  const auto& layout = n <= 9 ? kSquareLayout : kBlockLayout;
  const auto [dr, dc] = layout[static_cast<std::size_t>(k - 1)];
  const auto [r0, c0] = kOrigins[static_cast<std::size_t>(unit)];
  return cell_index(r0 + dr, c0 + dc);
}

void build_default_map(MonitorMap& map, const std::array<std::uint8_t, 4>& channels) {
  map.fill(MapCell{});
  for (int u = 0; u < 4; ++u) {
    const int n = std::min<int>(channels[static_cast<std::size_t>(u)], kMaxUnitChannels);
    for (int k = 1; k <= n; ++k) {
      MapCell& cell = map[static_cast<std::size_t>(default_cell(u, k, n))];
      cell.unit = byte(u);
      cell.channel = byte(k);
    }
  }
}

void clear_channel_cells(MonitorMap& map, int channel, int unit) {
  for (MapCell& cell : map)
    if (cell.unit == unit && cell.channel == channel) cell.unit = cell.channel = kNoUnit;
}

void apply_split_reply(AlignmentState& state, const UnitFrame& reply) {
  if (reply.count != kSplitCount) return;
  const auto d = reply.data();
  // A split outside 1..10 would index past the offsets: such a reply is not taken.
  if (d[2] < 1 || d[2] > kGridSide || d[3] < 1 || d[3] > kGridSide) return;
  state.split_x = d[2];
  state.split_y = d[3];
}

void apply_offsets_reply(AlignmentState& state, const UnitFrame& reply) {
  if (reply.count != kOffsetsCount) return;
  const auto d = reply.data();
  for (int i = 0; i < kGridSide; ++i) {
    row_offset(state, i) = signed_byte(d[static_cast<std::size_t>(2 + i)]);
    column_offset(state, i) = signed_byte(d[static_cast<std::size_t>(18 + i)]);
  }
}

std::uint8_t channel_state_byte(const std::optional<UnitFrame>& reply) {
  if (!reply || reply->count != kChannelStateCount) return kNoUnit;
  return reply->data()[0];
}

bool apply_channel_state(MonitorMap& map, int unit, int c, const std::optional<UnitFrame>& reply) {
  if (!reply || reply->count != kChannelStateCount) return false;
  clear_channel_cells(map, c + 1, unit);
  const auto d = reply->data();
  if (d[0] == kNoUnit) return true;
  const int row = d[1] >> 4;
  const int column = d[1] & 0x0F;
  if (row < kGridSide && column < kGridSide) {
    MapCell& cell = map[static_cast<std::size_t>(cell_index(row, column))];
    cell.unit = byte(unit);
    cell.channel = byte(c + 1);
  }
  return true;
}

void clear_channels_above(MonitorMap& map, int unit, int n) {
  for (MapCell& cell : map)
    if (cell.unit == unit && cell.channel > n) cell.unit = cell.channel = kNoUnit;
}

SplitReading read_split_offsets(Link& link, std::uint8_t address, int held_x, int held_y) {
  SplitReading r;
  r.split = link.unit_get(kDeviceUnit, address, kFnOutputConfig, {});
  if (!r.split) return r;
  // The split asked for is the one the reply gave, or the one held when it gave none.
  std::array<std::uint8_t, 2> split{byte(held_x), byte(held_y)};
  if (r.split->count == kSplitCount) split = {r.split->data()[2], r.split->data()[3]};
  r.offsets = link.unit_get(kDeviceUnit, address, kFnSplitOffsets, split);
  return r;
}

bool apply_split_reading(AlignmentState& state, const SplitReading& reading) {
  if (!reading.split) return false;
  apply_split_reply(state, *reading.split);
  if (!reading.offsets) return false;
  apply_offsets_reply(state, *reading.offsets);
  return true;
}

std::vector<int> selection_cells(const AlignmentState& state, bool column, int unit) {
  std::vector<int> out;
  const int step = column ? state.split_x : state.split_y;
  const int first = (column ? state.column : state.row) % step;
  for (int line = first; line < kGridSide; line += step)
    for (int k = 0; k < kGridSide; ++k) {
      const int index = column ? cell_index(k, line) : cell_index(line, k);
      const MapCell& cell = state.map[static_cast<std::size_t>(index)];
      if (!cell.empty() && (unit < 0 || cell.unit == unit)) out.push_back(index);
    }
  std::sort(out.begin(), out.end());
  return out;
}

namespace {
int select_line(AlignmentState& state, bool column, int line, int unit) {
  state.highlight.fill(false);
  state.mode = column ? SelectionMode::kColumn : SelectionMode::kRow;
  (column ? state.column : state.row) = line;
  for (int index : selection_cells(state, column, unit))
    state.highlight[static_cast<std::size_t>(index)] = true;
  state.swap = SwapState::kOff;
  return column ? column_offset(state, line % state.split_x)
                : row_offset(state, line % state.split_y);
}
}  // namespace

int select_column(AlignmentState& state, int column, int unit) {
  return select_line(state, true, column, unit);
}
int select_row(AlignmentState& state, int row, int unit) {
  return select_line(state, false, row, unit);
}

void clear_selection(AlignmentState& state) {
  state.mode = SelectionMode::kNone;
  state.swap = SwapState::kOff;
  state.highlight.fill(false);
}

PanelMessage send_offset(int position, int value, bool row) {
  return {row ? kFnRowOffset : kFnColumnOffset, {byte(position), byte(value)}};
}
PanelMessage fine_offset_message(int channel, int dx, int dy) {
  return {kFnFineOffset, {byte(channel - 1), byte(dx / kQuarter), byte(dy / kQuarter)}};
}
PanelMessage place_message(int channel_index, int column, int row) {
  return {kFnPlaceChannel, {byte(channel_index), byte(column), byte(row)}};
}

Messages scroll(AlignmentState& state, ScrollBar bar, int v, std::uint8_t selected) {
  const bool horizontal = bar == ScrollBar::kHorizontal;
  switch (state.mode) {
    case SelectionMode::kColumn:
      if (horizontal) {
        const int p = state.column % state.split_x;
        column_offset(state, p) = v;
        return {to(selected, send_offset(p, v, false))};
      }
      if (state.split_y != 1) return {};
      row_offset(state, 0) = v;
      return {to(selected, send_offset(0, v, true))};
    case SelectionMode::kRow:
      if (!horizontal) {
        const int p = state.row % state.split_y;
        row_offset(state, p) = v;
        return {to(selected, send_offset(p, v, true))};
      }
      if (state.split_x != 1) return {};
      column_offset(state, 0) = v;
      return {to(selected, send_offset(0, v, false))};
    case SelectionMode::kChannel: {
      const auto i = static_cast<std::size_t>(state.cell);
      (horizontal ? state.dx : state.dy)[i] = v;
      const MapCell& cell = state.map[i];
      if (cell.empty()) return {};
      return {to(cell.unit, fine_offset_message(cell.channel, state.dx[i], state.dy[i]))};
    }
    case SelectionMode::kNone:
      break;
  }
  return {};
}

Messages clear_offsets(AlignmentState& state, std::uint8_t selected) {
  Messages out;
  switch (state.mode) {
    case SelectionMode::kColumn:
      if (state.split_y == 1) {
        row_offset(state, 0) = 0;
        out.push_back(to(selected, send_offset(0, 0, true)));
      }
      column_offset(state, state.column % state.split_x) = 0;
      out.push_back(to(selected, send_offset(state.column % state.split_x, 0, false)));
      break;
    case SelectionMode::kRow:
      if (state.split_x == 1) {
        column_offset(state, 0) = 0;
        out.push_back(to(selected, send_offset(0, 0, false)));
      }
      row_offset(state, state.row % state.split_y) = 0;
      out.push_back(to(selected, send_offset(state.row % state.split_y, 0, true)));
      break;
    case SelectionMode::kChannel: {
      const auto i = static_cast<std::size_t>(state.cell);
      state.dx[i] = state.dy[i] = 0;
      const MapCell& cell = state.map[i];
      if (!cell.empty()) out.push_back(to(cell.unit, fine_offset_message(cell.channel, 0, 0)));
      break;
    }
    case SelectionMode::kNone:
      state.column_offsets = {};
      state.row_offsets = {};
      state.dx = {};
      state.dy = {};
      break;
  }
  return out;
}

Messages click_cell(AlignmentState& state, int cell) {
  Messages out;
  state.highlight.fill(false);
  state.mode = SelectionMode::kChannel;
  if (state.swap == SwapState::kArmed && cell != state.cell) {
    const auto a = static_cast<std::size_t>(state.cell);
    const auto b = static_cast<std::size_t>(cell);
    std::swap(state.map[a], state.map[b]);
    std::swap(state.dx[a], state.dx[b]);
    std::swap(state.dy[a], state.dy[b]);
    for (std::size_t i : {a, b})
      if (!state.map[i].empty()) out.push_back(placement(state.map[i], static_cast<int>(i)));
  }
  state.highlight[static_cast<std::size_t>(cell)] = true;
  state.cell = cell;
  state.swap = SwapState::kReady;
  return out;
}

bool apply_fine_offset(AlignmentState& state, const std::optional<UnitFrame>& reply) {
  if (!reply || reply->data().size() < 3) return false;
  const auto i = static_cast<std::size_t>(state.cell);
  state.dx[i] = signed_byte(reply->data()[1]) * kQuarter;
  state.dy[i] = signed_byte(reply->data()[2]) * kQuarter;
  return true;
}

std::string channel_status(const AlignmentState& state) {
  const auto i = static_cast<std::size_t>(state.cell);
  const MapCell& cell = state.map[i];
  return strprintf(kChannelStatus, cell.unit, cell.channel, state.dx[i] / kQuarter,
                   state.dy[i] / kQuarter);
}

Messages display_messages(DisplayMode mode) {
  switch (mode) {
    case DisplayMode::kBars:
      return {to(kAddressAll, kFnOverlayOff, {0}),
              to(kAddressAll, kFnPattern, {kPatternAll, kPatternBars})};
    case DisplayMode::kTest:
      return {to(kAddressAll, kFnPattern, {kPatternAll, kPatternVideo}),
              to(kAddressAll, kFnTest, {0, 1})};
    case DisplayMode::kVideo:
      break;
  }
  return {to(kAddressAll, kFnOverlayOff, {0}),
          to(kAddressAll, kFnPattern, {kPatternAll, kPatternVideo})};
}

Messages identify_messages() {
  Messages out{to(kAddressAll, kFnIdentify, {})};
  for (int k = 0; k < kMaxUnitChannels; ++k)
    out.push_back(to(kAddressAll, place_message(k, k % 5, k / 5)));
  return out;
}

Messages after_identify_messages(const AlignmentState& state) {
  Messages out{to(kAddressAll, kFnOverlayOff, {0}),
               to(kAddressAll, kFnSetSplit, {byte(state.split_x), byte(state.split_y)})};
  for (int i = 0; i < kGridCells; ++i)
    if (!state.map[static_cast<std::size_t>(i)].empty())
      out.push_back(placement(state.map[static_cast<std::size_t>(i)], i));
  return out;
}

Messages closing_messages() {
  return {to(kAddressAll, kFnOverlayOff, {0})};
}

int proposed_side(int t) {
  if (t >= 100) return kGridSide;
  int s = 9;
  while (s > 0 && s * s > t)
    --s;
  return s;
}

Messages allocate_in_rows(AlignmentState& state, std::vector<ChannelEntry> list, int row,
                          int column, int width, int height, bool complete) {
  return allocate(state, std::move(list), row, column, width, height, complete, false);
}

Messages allocate_in_columns(AlignmentState& state, std::vector<ChannelEntry> list, int row,
                             int column, int width, int height, bool complete) {
  return allocate(state, std::move(list), row, column, width, height, complete, true);
}

std::optional<std::string> dimension_refusal(int row, int column, int width, int height) {
  if (row + height <= kGridSide && column + width <= kGridSide) return std::nullopt;
  return strprintf(
      "The array from %c%d, %d wide and %d high, reaches past the wall: start row + height and "
      "start column + width may be at most 10",
      'A' + row, column + 1, width, height);
}

std::string offsets_script(const AlignmentState& state, int unit) {
  std::string text =
      strprintf("; Alignment settings for split of (x,y) %d,%d\r\n", state.split_x, state.split_y);
  for (int i = 0; i < state.split_x; ++i)
    text += strprintf("send 7 %d FN_ALGNCOL %d %d\r\n", unit, i,
                      static_cast<int>(byte(state.column_offsets[static_cast<std::size_t>(
                          state.split_x)][static_cast<std::size_t>(i)])));
  for (int i = 0; i < state.split_y; ++i)
    text +=
        strprintf("send 7 %d FN_ALGNROW %d %d\r\n", unit, i,
                  static_cast<int>(byte(state.row_offsets[static_cast<std::size_t>(state.split_y)]
                                                         [static_cast<std::size_t>(i)])));
  text += "\r\n";
  return text;
}

std::string map_script(const AlignmentState& state) {
  std::string text = "; Monitor map settings\r\n";
  for (int i = 0; i < kGridCells; ++i) {
    const MapCell& cell = state.map[static_cast<std::size_t>(i)];
    if (cell.empty()) continue;
    text += strprintf("send 7 %d 32 %02d %2d %2d\r\n", cell.unit, cell.channel - 1, i % kGridSide,
                      i / kGridSide);
  }
  text += "\r\n";
  return text;
}

std::array<int, 3> cell_colour(const MapCell& cell, CellKind kind) {
  if (kind == CellKind::kHighlight) return {0, 0, 255};
  if (kind == CellKind::kSwap) return {192, 192, 0};
  if (cell.empty() || cell.unit > 3) return {128, 128, 128};
  return {0, 150 + 10 * cell.unit, 100 + 20 * cell.unit};
}

std::string cell_text(const MapCell& cell, int selected_unit) {
  if (cell.empty() || (selected_unit >= 0 && cell.unit != selected_unit)) return "-";
  return strprintf("%d:%d", cell.unit, cell.channel);
}

}  // namespace qm
