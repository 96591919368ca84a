// Dialog 135 " Monitor Alignment": the 10 x 10 monitor map with its column and row buttons,
// the two offset scroll bars, the split, the display patterns, swap, Array Dimension, Identify,
// saving and restoring in the units' flash and the clipboard scripts; and its dialogs 165
// " Set Split" and 163 " Array Dimension". The decisions and messages are the alignment
// model's; every exchange runs on the link thread.
#pragma once

#include <QAbstractButton>
#include <QDialog>
#include <array>
#include <deque>
#include <functional>
#include <optional>
#include <utility>

#include "base/ui_helpers.h"
#include "panels/alignment.h"
#include "panels/panel_services.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace qm {

// One monitor of the map: painted in its unit's colour with "unit:channel"; clicks and right
// clicks are reported.
class MonitorCell final : public QAbstractButton {
  Q_OBJECT

 public:
  MonitorCell(int index, QWidget* parent);
  void show_cell(const MapCell& cell, CellKind kind, int selected_unit);
  QSize sizeHint() const override;

 Q_SIGNALS:
  void right_clicked(int index);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  int index_;
  std::array<int, 3> colour_{128, 128, 128};
};

class AlignmentDialog final : public QDialog {
  Q_OBJECT

 public:
  AlignmentDialog(PanelServices services, AlignmentState& state, QWidget* parent);

  void done(int result) override;
  // No read of the dialog is under way.
  bool idle() const { return pending_ == 0 && map_queue_.empty(); }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  std::uint8_t selected_address() const;
  int selected_unit() const;
  void send(const Messages& messages);
  void refresh();
  void read_maps(const std::vector<int>& units);
  void read_next_channel();
  void redraw();
  void show_split();
  void set_bars(std::optional<int> horizontal, std::optional<int> vertical);
  void set_reversed(bool reversed);
  void bar_moved(ScrollBar bar, int position);
  void column_pressed(int column);
  void row_pressed(int row);
  // A column or row button: the split read again, then the selection and its offset shown.
  void line_pressed(bool column, int line);
  void cell_clicked(int index);
  void cell_right_clicked(int index);
  void arm_swap();
  void clear_pressed();
  void unit_chosen(int id);
  void split_pressed();
  void dimension_pressed();
  void identify_pressed();
  void default_pressed();
  void save_pressed();
  void check_restore_file();
  void clear_panel_selection();
  template <typename Result>
  void ask(std::function<Result(Link&)> work, std::function<void(Result)> then);

  PanelServices services_;
  AlignmentState& state_;
  int unit_at_open_ = 0;
  int pending_ = 0;
  bool map_failed_ = false;
  std::deque<std::pair<int, int>> map_queue_;  // unit, channel index still to read
  std::array<MonitorCell*, kGridCells> cells_{};
  QScrollBar* horizontal_ = nullptr;
  QScrollBar* vertical_ = nullptr;
  ScrollBinding h_binding_;
  ScrollBinding v_binding_;
  QLineEdit* split_ = nullptr;
  QPushButton* swap_ = nullptr;
  QPushButton* restore_ = nullptr;
  QButtonGroup* display_ = nullptr;
};

// Dialog 165 " Set Split"; exec() returns Y x 16 + X after OK, 0 after Cancel.
class SetSplitDialog final : public QDialog {
  Q_OBJECT

 public:
  SetSplitDialog(int x, int y, QWidget* parent);

 private:
  void show_choice();
  SplitChoice choice_;
  QButtonGroup* columns_ = nullptr;
  QButtonGroup* rows_ = nullptr;
  QLineEdit* field_ = nullptr;
};

// Dialog 163 " Array Dimension": what the operator chose.
struct DimensionChoice {
  bool to_default = false;  // "Set array to default"
  std::array<bool, 4> units{};
  int width = 1;
  int height = 1;
  int row = 0;
  int column = 0;
  bool by_columns = false;
  bool complete = true;
};

class ArrayDimensionDialog final : public QDialog {
  Q_OBJECT

 public:
  ArrayDimensionDialog(const AlignmentState& state, const SettingsValues& settings,
                       QWidget* parent);
  DimensionChoice choice() const;

 private:
  bool to_default_ = false;
  QComboBox* width_ = nullptr;
  QComboBox* height_ = nullptr;
  QComboBox* row_ = nullptr;
  QComboBox* column_ = nullptr;
  std::array<QCheckBox*, 4> units_{};
  QButtonGroup* order_ = nullptr;
  QCheckBox* complete_ = nullptr;
};

}  // namespace qm
