#include "panels/alignment_dialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "base/text_format.h"
#include "base/ui_helpers_widget.h"
#include "flash/flash_protocol.h"
#include "ids.h"
#include "link/function_codes.h"
#include "link/link.h"
#include "link/unit_selection.h"
#include "panels/link_ask_widget.h"
#include "panels/unit_selector_widget.h"

namespace qm {

namespace {

constexpr int kPollTries = 3;
constexpr int kFirstCell = 1000;
constexpr int kFirstRowButton = 1180;
constexpr int kFirstColumnButton = 1190;
constexpr int kHorizontalBar = 1179;
constexpr int kVerticalBar = 1139;
constexpr int kSplitField = 1244;
constexpr int kSaveButton = 2;
constexpr int kClearButton = 3;
constexpr int kSaveMapButton = 4;
constexpr int kDefaultButton = 5;
constexpr int kSplitButton = 6;
constexpr int kRestoreButton = 7;
constexpr int kClearSelectionButton = 1138;
constexpr int kBarsRadio = 1168;
constexpr int kDimensionButton = 1209;
constexpr int kIdentifyButton = 1210;
constexpr int kSwapButton = 1211;
constexpr int kCopyButton = 1245;
constexpr int kCopyMapButton = 1246;
constexpr int kSetSplitDialog = 165;
constexpr int kArrayDimensionDialog = 163;
constexpr int kFirstColumnRadio = 1261;  // Set Split: "x1".."x10" of Column (X)
constexpr int kFirstRowRadio = 1251;     // and of Row (Y)

QPushButton* button(QWidget* parent, const char* text, int id) {
  auto* b = new QPushButton(QString::fromLatin1(text), parent);
  b->setObjectName(control_name(id));
  b->setAutoDefault(false);
  return b;
}

QString latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

// --- a monitor -------------------------------------------------------------------------------

MonitorCell::MonitorCell(int index, QWidget* parent) : QAbstractButton(parent), index_(index) {
  setObjectName(control_name(kFirstCell + index));
  setFocusPolicy(Qt::NoFocus);
}

void MonitorCell::show_cell(const MapCell& cell, CellKind kind, int selected_unit) {
  colour_ = cell_colour(cell, kind);
  setText(latin1(cell_text(cell, selected_unit)));
  update();
}

QSize MonitorCell::sizeHint() const {
  const int w = fontMetrics().horizontalAdvance(QStringLiteral("3:25")) + 10;
  return {w, fontMetrics().height() + 10};
}

void MonitorCell::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(colour_[0], colour_[1], colour_[2]));
  painter.setPen(palette().color(QPalette::Dark));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  painter.setPen(Qt::white);
  painter.drawText(rect(), Qt::AlignCenter, text());
}

void MonitorCell::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    Q_EMIT right_clicked(index_);
    return;
  }
  QAbstractButton::mousePressEvent(event);
}

// --- the panel -------------------------------------------------------------------------------

AlignmentDialog::AlignmentDialog(PanelServices services, AlignmentState& state, QWidget* parent)
    : QDialog(parent), services_(services), state_(state) {
  setObjectName(dialog_name(ids::kAlignmentDialog));
  setWindowTitle(QString::fromLatin1(kTitleAlignment));

  auto* grid = new QGridLayout;
  grid->setSpacing(2);
  for (int c = 0; c < kGridSide; ++c) {
    auto* b = button(this, std::to_string(c + 1).c_str(), kFirstColumnButton + c);
    b->setMinimumWidth(10);
    grid->addWidget(b, 0, c + 1);
    connect(b, &QPushButton::clicked, this, [this, c] { column_pressed(c); });
  }
  for (int r = 0; r < kGridSide; ++r) {
    const char name[2] = {static_cast<char>('A' + r), '\0'};
    auto* b = button(this, name, kFirstRowButton + r);
    b->setMaximumWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("WW")) + 16);
    grid->addWidget(b, r + 1, 0);
    connect(b, &QPushButton::clicked, this, [this, r] { row_pressed(r); });
    for (int c = 0; c < kGridSide; ++c) {
      const int index = cell_index(r, c);
      auto* cell = new MonitorCell(index, this);
      cells_[static_cast<std::size_t>(index)] = cell;
      grid->addWidget(cell, r + 1, c + 1);
      connect(cell, &MonitorCell::clicked, this, [this, index] { cell_clicked(index); });
      connect(cell, &MonitorCell::right_clicked, this, [this](int i) { cell_right_clicked(i); });
    }
  }
  horizontal_ = new QScrollBar(Qt::Horizontal, this);
  horizontal_->setObjectName(control_name(kHorizontalBar));
  vertical_ = new QScrollBar(Qt::Vertical, this);
  vertical_->setObjectName(control_name(kVerticalBar));
  grid->addWidget(horizontal_, kGridSide + 1, 1, 1, kGridSide);
  grid->addWidget(vertical_, 1, kGridSide + 1, kGridSide, 1);

  split_ = new QLineEdit(this);
  split_->setObjectName(control_name(kSplitField));
  split_->setReadOnly(true);
  split_->setMaximumWidth(split_->fontMetrics().horizontalAdvance(QStringLiteral("10x10")) + 16);
  auto* split_button = button(this, "Split", kSplitButton);
  auto* clear_selection_button = button(this, "X", kClearSelectionButton);
  auto* clear = button(this, "Clear", kClearButton);
  swap_ = button(this, "Swap", kSwapButton);
  auto* dimension = button(this, "Dimension", kDimensionButton);
  auto* identify = button(this, "Identify", kIdentifyButton);
  auto* defaults = button(this, "Default", kDefaultButton);
  auto* save = button(this, "Save", kSaveButton);
  auto* save_map = button(this, "Save Map", kSaveMapButton);
  restore_ = button(this, "Restore", kRestoreButton);
  auto* copy = button(this, "Copy", kCopyButton);
  auto* copy_map = button(this, "Copy Map", kCopyMapButton);
  auto* done_button = button(this, "Done", ids::kDoneButton);
  done_button->setDefault(true);

  auto* display_box = new QGroupBox(QStringLiteral("Display"), this);
  auto* display_column = new QVBoxLayout(display_box);
  display_ = new QButtonGroup(this);
  const char* display_names[] = {"Bars", "Test", "Video"};
  for (int i = 0; i < 3; ++i) {
    auto* radio = new QRadioButton(QString::fromLatin1(display_names[i]), display_box);
    radio->setObjectName(control_name(kBarsRadio + i));
    display_->addButton(radio, i);
    display_column->addWidget(radio);
  }
  QButtonGroup* units = nullptr;
  QGroupBox* unit_box = unit_radio_box(this, " Unit ID ", true, units);

  auto* side = new QGridLayout;
  side->addWidget(new QLabel(QStringLiteral("Split:"), this), 0, 0);
  side->addWidget(split_, 0, 1);
  side->addWidget(split_button, 1, 0);
  side->addWidget(clear_selection_button, 1, 1);
  side->addWidget(clear, 2, 0);
  side->addWidget(swap_, 2, 1);
  side->addWidget(dimension, 3, 0);
  side->addWidget(identify, 3, 1);
  side->addWidget(save, 4, 0);
  side->addWidget(save_map, 4, 1);
  side->addWidget(restore_, 5, 0);
  side->addWidget(defaults, 5, 1);
  side->addWidget(copy, 6, 0);
  side->addWidget(copy_map, 6, 1);
  side->addWidget(display_box, 7, 0, 1, 2);
  side->setRowStretch(8, 1);
  side->addWidget(done_button, 9, 0, 1, 2);

  auto* top = new QHBoxLayout;
  top->addLayout(grid, 1);
  top->addLayout(side);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(unit_box, 0, Qt::AlignLeft);

  h_binding_ = {0, kOffsetMin, kOffsetMax, 0, true, {}};
  v_binding_ = {0, kOffsetMin, kOffsetMax, 1, true, {}};
  for (QScrollBar* bar : {horizontal_, vertical_}) {
    bar->setRange(0, kOffsetMax - kOffsetMin);
    bar->setSingleStep(1);
    bar->setPageStep(1);
  }
  connect(horizontal_, &QScrollBar::valueChanged, this,
          [this](int p) { bar_moved(ScrollBar::kHorizontal, p); });
  connect(vertical_, &QScrollBar::valueChanged, this,
          [this](int p) { bar_moved(ScrollBar::kVertical, p); });
  connect(split_button, &QPushButton::clicked, this, [this] { split_pressed(); });
  connect(clear_selection_button, &QPushButton::clicked, this, [this] { clear_panel_selection(); });
  connect(clear, &QPushButton::clicked, this, [this] { clear_pressed(); });
  connect(swap_, &QPushButton::clicked, this, [this] { arm_swap(); });
  connect(dimension, &QPushButton::clicked, this, [this] { dimension_pressed(); });
  connect(identify, &QPushButton::clicked, this, [this] { identify_pressed(); });
  connect(defaults, &QPushButton::clicked, this, [this] { default_pressed(); });
  connect(save, &QPushButton::clicked, this, [this] { save_pressed(); });
  connect(save_map, &QPushButton::clicked, this, [this] {
    send({{kAddressAll, {kFnSaveMap, {}}}});
  });
  connect(restore_, &QPushButton::clicked, this, [this] {
    send({{selected_address(), {kFnRestore, {kRestoreAlignment}}}});
    clear_panel_selection();
    refresh();
  });
  connect(copy, &QPushButton::clicked, this, [this] {
    QGuiApplication::clipboard()->setText(latin1(offsets_script(state_, selected_unit())));
  });
  connect(copy_map, &QPushButton::clicked, this,
          [this] { QGuiApplication::clipboard()->setText(latin1(map_script(state_))); });
  connect(done_button, &QPushButton::clicked, this, &QDialog::accept);
  connect(display_, &QButtonGroup::idClicked, this, [this](int id) {
    state_.display = static_cast<DisplayMode>(id);
    send(display_messages(state_.display));
  });
  connect(units, &QButtonGroup::idClicked, this, [this](int id) { unit_chosen(id); });

  // Opening: the units polled, highlights and swap off, the split, offsets and map read
  // (the default map when they cannot be), the kept display mode, both bars at 0, the unit
  // buttons set, Restore only with the unit's ALIGN.CFG.
  // The unit the panel reads (unit 0 when all are selected): a poll of every unit at
  // once is never answered and would hold the first reading up by its whole time-out.
  services_.worker.post([address = read_address(services_.settings.values)](Link& link) {
    link.unit_poll_unit(address, kPollTries);
  });
  state_.highlight.fill(false);
  state_.swap = SwapState::kOff;
  display_->button(static_cast<int>(state_.display))->setChecked(true);
  set_bars(0, 0);
  unit_at_open_ = init_unit_selector(services_.settings.values, services_.ui, this, true);
  restore_->setEnabled(false);
  swap_->setEnabled(false);
  show_split();
  redraw();
  refresh();
  check_restore_file();
  done_button->setFocus();
}

void AlignmentDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  place_dialog(this, -1, -1);
}

std::uint8_t AlignmentDialog::selected_address() const {
  return send_address(services_.settings.values);
}

int AlignmentDialog::selected_unit() const {
  return services_.settings.values.id;
}

void AlignmentDialog::send(const Messages& messages) {
  for (const AlignmentMessage& m : messages)
    services_.send(m.address, {m.message});
}

template <typename Result>
void AlignmentDialog::ask(std::function<Result(Link&)> work, std::function<void(Result)> then) {
  ++pending_;
  ask_link(services_.worker, this, std::move(work), [this, then = std::move(then)](Result result) {
    --pending_;
    then(std::move(result));
  });
}

void AlignmentDialog::refresh() {
  const std::uint8_t address = read_address(services_.settings.values);
  const int x = state_.split_x;
  const int y = state_.split_y;
  ask<SplitReading>([address, x, y](Link& link) { return read_split_offsets(link, address, x, y); },
                    [this](SplitReading reading) {
                      if (!apply_split_reading(state_, reading)) {
                        show_remote_read_failure(services_.ui);
                        build_default_map(state_.map, services_.settings.values.units_array());
                        show_split();
                        redraw();
                        return;
                      }
                      show_split();
                      const int unit = selected_unit();
                      if (unit >= 0)
                        read_maps({unit});
                      else
                        read_maps({0, 1, 2, 3});
                    });
}

void AlignmentDialog::read_maps(const std::vector<int>& units) {
  map_failed_ = false;
  for (int u : units) {
    const int n = services_.settings.values.units[u];
    for (int c = 0; c < n; ++c)
      map_queue_.emplace_back(u, c);
    map_queue_.emplace_back(u, -1);  // the unit is done: its channels above n are emptied
  }
  read_next_channel();
}

void AlignmentDialog::read_next_channel() {
  while (!map_queue_.empty() && map_queue_.front().second < 0) {
    const int u = map_queue_.front().first;
    map_queue_.pop_front();
    clear_channels_above(state_.map, u, services_.settings.values.units[u]);
  }
  if (map_queue_.empty()) {
    if (map_failed_)
      show_remote_read_failure(services_.ui);
    else
      services_.ui.clear_status();
    redraw();
    return;
  }
  const auto [unit, c] = map_queue_.front();
  services_.ui.show_status(strprintf(kReadingChannel, unit, c + 1));
  const auto address = static_cast<std::uint8_t>(unit);
  ask<std::optional<UnitFrame>>(
      [address, c](Link& link) {
        const std::array<std::uint8_t, 1> request{static_cast<std::uint8_t>(c)};
        return link.unit_get(kDeviceUnit, address, kFnChannelState, request);
      },
      [this, unit, c](std::optional<UnitFrame> reply) {
        if (map_queue_.empty()) return;
        map_queue_.pop_front();
        if (!reply) {
          // No answer: the rest of this unit's channels are not asked.
          map_failed_ = true;
          while (!map_queue_.empty() && map_queue_.front().first == unit &&
                 map_queue_.front().second >= 0)
            map_queue_.pop_front();
        } else {
          apply_channel_state(state_.map, unit, c, reply);
        }
        read_next_channel();
      });
}

void AlignmentDialog::redraw() {
  const int unit = selected_unit();
  for (int i = 0; i < kGridCells; ++i) {
    const auto k = static_cast<std::size_t>(i);
    CellKind kind = state_.highlight[k] ? CellKind::kHighlight : CellKind::kNormal;
    if (state_.swap == SwapState::kArmed && i == state_.cell) kind = CellKind::kSwap;
    cells_[k]->show_cell(state_.map[k], kind, unit);
  }
  swap_->setEnabled(state_.swap != SwapState::kOff);
}

void AlignmentDialog::show_split() {
  split_->setText(latin1(strprintf(kSplitText, state_.split_x, state_.split_y)));
}

void AlignmentDialog::set_bars(std::optional<int> horizontal, std::optional<int> vertical) {
  if (horizontal) set_scroll_value(horizontal_, h_binding_, *horizontal);
  if (vertical) set_scroll_value(vertical_, v_binding_, *vertical);
  if (horizontal && *horizontal >= kOffsetMin && *horizontal <= kOffsetMax)
    h_binding_.value = *horizontal;
  if (vertical && *vertical >= kOffsetMin && *vertical <= kOffsetMax) v_binding_.value = *vertical;
}

void AlignmentDialog::set_reversed(bool reversed) {
  h_binding_.reversed = reversed;
  v_binding_.reversed = reversed;
}

void AlignmentDialog::bar_moved(ScrollBar bar, int position) {
  ScrollBinding& binding = bar == ScrollBar::kHorizontal ? h_binding_ : v_binding_;
  const int v = scroll_value(binding, position);
  binding.value = v;
  send(qm::scroll(state_, bar, v, selected_address()));
  if (state_.mode == SelectionMode::kChannel &&
      !state_.map[static_cast<std::size_t>(state_.cell)].empty())
    services_.ui.show_status(channel_status(state_));
}

void AlignmentDialog::column_pressed(int column) {
  line_pressed(true, column);
}

void AlignmentDialog::row_pressed(int row) {
  line_pressed(false, row);
}

void AlignmentDialog::line_pressed(bool column, int line) {
  // The split and its offsets are read again first: another program may have changed them.
  const std::uint8_t address = read_address(services_.settings.values);
  const int x = state_.split_x;
  const int y = state_.split_y;
  ask<SplitReading>([address, x, y](Link& link) { return read_split_offsets(link, address, x, y); },
                    [this, column, line](SplitReading reading) {
                      if (!apply_split_reading(state_, reading))
                        show_remote_read_failure(services_.ui);
                      show_split();
                      const int offset = column ? select_column(state_, line, selected_unit())
                                                : select_row(state_, line, selected_unit());
                      set_reversed(true);
                      if (column)
                        set_bars(offset, std::nullopt);
                      else
                        set_bars(std::nullopt, offset);
                      redraw();
                    });
}

void AlignmentDialog::cell_clicked(int index) {
  send(click_cell(state_, index));
  set_reversed(false);
  redraw();
  const MapCell cell = state_.map[static_cast<std::size_t>(index)];
  if (cell.empty()) return;
  const auto unit = cell.unit;
  const std::array<std::uint8_t, 1> request{static_cast<std::uint8_t>(cell.channel - 1)};
  ask<std::optional<UnitFrame>>(
      [unit, request](Link& link) {
        return link.unit_get(kDeviceUnit, unit, kFnReadFineOffset, request);
      },
      [this, index](std::optional<UnitFrame> reply) {
        if (state_.cell != index) return;  // another cell was chosen meanwhile
        if (!apply_fine_offset(state_, reply)) {
          show_remote_read_failure(services_.ui);
          return;
        }
        services_.ui.show_status(channel_status(state_));
        const auto k = static_cast<std::size_t>(index);
        set_bars(state_.dx[k], state_.dy[k]);
      });
}

void AlignmentDialog::cell_right_clicked(int index) {
  state_.highlight.fill(false);
  state_.cell = index;
  state_.swap = SwapState::kReady;
  arm_swap();
}

void AlignmentDialog::arm_swap() {
  if (state_.swap == SwapState::kOff) return;
  state_.swap = SwapState::kArmed;
  redraw();
}

void AlignmentDialog::clear_pressed() {
  const SelectionMode mode = state_.mode;
  send(clear_offsets(state_, selected_address()));
  switch (mode) {
    case SelectionMode::kColumn:
      set_bars(0, state_.split_y == 1 ? std::optional<int>(0) : std::nullopt);
      break;
    case SelectionMode::kRow:
      set_bars(state_.split_x == 1 ? std::optional<int>(0) : std::nullopt, 0);
      break;
    case SelectionMode::kChannel:
      set_bars(0, 0);
      if (!state_.map[static_cast<std::size_t>(state_.cell)].empty())
        services_.ui.show_status(channel_status(state_));
      break;
    case SelectionMode::kNone:
      set_bars(0, 0);
      break;
  }
}

void AlignmentDialog::clear_panel_selection() {
  clear_selection(state_);
  set_bars(0, 0);
  redraw();
}

void AlignmentDialog::unit_chosen(int id) {
  clear_panel_selection();
  select_unit(services_.settings.values, services_.ui, id == 4 ? -1 : id);
  read_maps(id == 4 ? std::vector<int>{0, 1, 2, 3} : std::vector<int>{id});
  redraw();
}

void AlignmentDialog::split_pressed() {
  SetSplitDialog dialog(state_.split_x, state_.split_y, this);
  const int result = dialog.exec();
  if (result == 0) return;
  const int x = result % 16;
  const int y = result / 16;
  if (x == state_.split_x && y == state_.split_y) return;
  state_.split_x = x;
  state_.split_y = y;
  show_split();
  send(
      {{kAddressAll, {kFnSetSplit, {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y)}}}});
  clear_panel_selection();
}

void AlignmentDialog::dimension_pressed() {
  ArrayDimensionDialog dialog(state_, services_.settings.values, this);
  const bool ok = dialog.exec() == QDialog::Accepted;
  // Whatever the dialog did: no selection, offsets of the channels 0, swap off.
  state_.mode = SelectionMode::kNone;
  state_.highlight.fill(false);
  state_.dx = {};
  state_.dy = {};
  state_.swap = SwapState::kOff;
  set_bars(0, 0);
  redraw();
  if (!ok) return;
  const DimensionChoice choice = dialog.choice();
  if (const auto refusal =
          dimension_refusal(choice.row, choice.column, choice.width, choice.height)) {
    show_error_box(services_.ui, *refusal);
    return;
  }
  if (choice.to_default) build_default_map(state_.map, services_.settings.values.units_array());
  // The channels the ticked units have placed, read from the units; then the rectangle.
  const std::array<std::uint8_t, 4> counts = services_.settings.values.units_array();
  ask<std::vector<ChannelEntry>>(
      [choice, counts](Link& link) {
        std::vector<ChannelEntry> list;
        for (int u = 0; u < 4; ++u) {
          if (!choice.units[static_cast<std::size_t>(u)]) continue;
          for (int c = 0; c < counts[static_cast<std::size_t>(u)]; ++c) {
            const std::array<std::uint8_t, 1> request{static_cast<std::uint8_t>(c)};
            const auto reply =
                link.unit_get(kDeviceUnit, static_cast<std::uint8_t>(u), kFnChannelState, request);
            if (channel_state_byte(reply) == kNoUnit) break;
            list.push_back({u, c + 1});
          }
        }
        return list;
      },
      [this, choice](std::vector<ChannelEntry> list) {
        state_.allocate_columns = choice.by_columns;
        state_.complete = choice.complete;
        const Messages placed =
            choice.by_columns
                ? allocate_in_columns(state_, std::move(list), choice.row, choice.column,
                                      choice.width, choice.height, choice.complete)
                : allocate_in_rows(state_, std::move(list), choice.row, choice.column, choice.width,
                                   choice.height, choice.complete);
        send(placed);
        redraw();
      });
}

void AlignmentDialog::identify_pressed() {
  send(identify_messages());
  services_.ui.message_box(kTitleIdentify, kIdentifyText, BoxButtons::Ok, BoxIcon::Information);
  send(after_identify_messages(state_));
}

void AlignmentDialog::default_pressed() {
  if (services_.ui.message_box(kTitleResetAll, kResetAllQuestion, BoxButtons::YesNo,
                               BoxIcon::Warning) != BoxAnswer::Yes)
    return;
  send({{selected_address(), {kFnFactoryAlign, {}}}});
  clear_panel_selection();
  restore_->setEnabled(false);
}

void AlignmentDialog::save_pressed() {
  state_.swap = SwapState::kOff;
  redraw();
  send({{kAddressAll, {kFnSaveAlignment, {}}}});
  check_restore_file();
}

void AlignmentDialog::check_restore_file() {
  const std::uint8_t address = read_address(services_.settings.values);
  ask<bool>(
      [address](Link& link) {
        return FlashFiles(link, address).flash_file_exists(kConfigurationSector, kAlignmentFile);
      },
      [this](bool exists) {
        if (exists) restore_->setEnabled(true);
      });
}

void AlignmentDialog::done(int result) {
  send(closing_messages());
  services_.ui.clear_status();
  map_queue_.clear();
  restore_unit_on_close(services_.settings.values, services_.ui, unit_at_open_);
  QDialog::done(result);
}

// --- Set Split -------------------------------------------------------------------------------

SetSplitDialog::SetSplitDialog(int x, int y, QWidget* parent) : QDialog(parent) {
  setObjectName(dialog_name(kSetSplitDialog));
  setWindowTitle(QStringLiteral(" Set Split"));
  choice_.x = x;
  choice_.y = y;
  auto* columns = new QGroupBox(QStringLiteral("Column (X)"), this);
  auto* rows = new QGroupBox(QStringLiteral("Row (Y)"), this);
  auto* column_grid = new QGridLayout(columns);
  auto* row_grid = new QGridLayout(rows);
  columns_ = new QButtonGroup(this);
  rows_ = new QButtonGroup(this);
  for (int n = 1; n <= kGridSide; ++n) {
    auto* c = new QRadioButton(QStringLiteral("x%1").arg(n), columns);
    c->setObjectName(control_name(kFirstColumnRadio + n - 1));
    columns_->addButton(c, n);
    column_grid->addWidget(c, (n - 1) % 5, (n - 1) / 5);
    auto* r = new QRadioButton(QStringLiteral("x%1").arg(n), rows);
    r->setObjectName(control_name(kFirstRowRadio + n - 1));
    rows_->addButton(r, n);
    row_grid->addWidget(r, (n - 1) % 5, (n - 1) / 5);
  }
  field_ = new QLineEdit(this);
  field_->setObjectName(control_name(kSplitField));
  field_->setReadOnly(true);
  const DialogButtons buttons = ok_cancel_buttons(this);
  connect(buttons.ok, &QPushButton::clicked, this, [this] { done(choice_.result()); });
  connect(buttons.cancel, &QPushButton::clicked, this, [this] { done(0); });
  connect(columns_, &QButtonGroup::idClicked, this, [this](int n) {
    choice_.choose_column(n);
    show_choice();
  });
  connect(rows_, &QButtonGroup::idClicked, this, [this](int n) {
    choice_.choose_row(n);
    show_choice();
  });
  auto* groups = new QHBoxLayout;
  groups->addWidget(columns);
  groups->addWidget(rows);
  buttons.row->insertWidget(0, field_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(groups);
  layout->addLayout(buttons.row);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  show_choice();
}

void SetSplitDialog::show_choice() {
  columns_->button(choice_.x)->setChecked(true);
  rows_->button(choice_.y)->setChecked(true);
  field_->setText(latin1(strprintf(kSplitText, choice_.x, choice_.y)));
}

// --- Array Dimension -------------------------------------------------------------------------

ArrayDimensionDialog::ArrayDimensionDialog(const AlignmentState& state,
                                           const SettingsValues& settings, QWidget* parent)
    : QDialog(parent) {
  setObjectName(dialog_name(kArrayDimensionDialog));
  setWindowTitle(QStringLiteral(" Array Dimension"));
  auto combo = [this](int id, int count, bool letters) {
    auto* box = new QComboBox(this);
    box->setObjectName(control_name(id));
    for (int i = 0; i < count; ++i)
      box->addItem(letters ? QString(QLatin1Char(static_cast<char>('A' + i)))
                           : QString::number(i + 1));
    return box;
  };
  width_ = combo(1253, kGridSide, false);
  height_ = combo(1254, kGridSide, false);
  row_ = combo(1255, kGridSide, true);
  column_ = combo(1256, kGridSide, false);
  int total = 0;
  auto* unit_row = new QHBoxLayout;
  for (int u = 0; u < 4; ++u) {
    auto* box = new QCheckBox(QStringLiteral("Unit %1").arg(u), this);
    box->setObjectName(control_name(ids::kUnitRadio0 + u));
    const int n = settings.units[u];
    const bool counted = n != 0 && (settings.id < 0 || settings.id == u);
    box->setChecked(counted);
    if (counted) total += n;
    units_[static_cast<std::size_t>(u)] = box;
    unit_row->addWidget(box);
  }
  const int side = proposed_side(total);
  width_->setCurrentIndex(std::max(side, 1) - 1);
  height_->setCurrentIndex(std::max(side, 1) - 1);
  if (state.mode == SelectionMode::kChannel) {
    row_->setCurrentIndex(state.cell / kGridSide);
    column_->setCurrentIndex(state.cell % kGridSide);
  }
  auto* rows = new QRadioButton(QStringLiteral("Allocate in rows"), this);
  rows->setObjectName(control_name(1251));
  auto* columns = new QRadioButton(QStringLiteral("Allocate in columns"), this);
  columns->setObjectName(control_name(1252));
  order_ = new QButtonGroup(this);
  order_->addButton(rows, 0);
  order_->addButton(columns, 1);
  (state.allocate_columns ? columns : rows)->setChecked(true);
  complete_ = new QCheckBox(QStringLiteral(" Use complete rows/columns"), this);
  complete_->setObjectName(control_name(1259));
  complete_->setChecked(state.complete);

  const DialogButtons buttons = ok_cancel_buttons(this);
  auto* to_default = new QPushButton(QStringLiteral("Set array to default"), this);
  to_default->setObjectName(control_name(kDefaultButton));
  connect(buttons.ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(buttons.cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(to_default, &QPushButton::clicked, this, [this] {
    to_default_ = true;
    accept();
  });

  auto* form = new QGridLayout;
  form->addWidget(new QLabel(QStringLiteral("Width"), this), 0, 0);
  form->addWidget(width_, 0, 1);
  form->addWidget(new QLabel(QStringLiteral("Height"), this), 0, 2);
  form->addWidget(height_, 0, 3);
  form->addWidget(new QLabel(QStringLiteral("Start Row"), this), 1, 0);
  form->addWidget(row_, 1, 1);
  form->addWidget(new QLabel(QStringLiteral("Start Column"), this), 1, 2);
  form->addWidget(column_, 1, 3);
  buttons.row->insertWidget(0, to_default);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(unit_row);
  layout->addWidget(rows);
  layout->addWidget(columns);
  layout->addWidget(complete_);
  layout->addLayout(buttons.row);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

DimensionChoice ArrayDimensionDialog::choice() const {
  DimensionChoice c;
  c.to_default = to_default_;
  for (std::size_t u = 0; u < 4; ++u)
    c.units[u] = units_[u]->isChecked();
  c.width = width_->currentIndex() + 1;
  c.height = height_->currentIndex() + 1;
  c.row = row_->currentIndex();
  c.column = column_->currentIndex();
  c.by_columns = order_->checkedId() == 1;
  c.complete = complete_->isChecked();
  return c;
}

}  // namespace qm
