// The alignment panel against a simulated wall on a pseudo-terminal: the map read from the
// units, a column offset scrolled onto the wire and read back, a swap, Save and Restore, the
// clipboard, and what closing sends.
#include "panels/alignment_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>
#include <cstdio>

#include "base/ui_helpers_widget.h"
#include "gui/gui_rig.h"
#include "gui/screenshot.h"
#include "ids.h"

namespace qm::test {
namespace {

class AlignmentGui : public GuiRig {
 protected:
  explicit AlignmentGui(std::array<std::uint8_t, 4> channels = {16, 16, 0, 0}) : GuiRig(channels) {
    connect_serial();
    for (std::size_t u = 0; u < 4; ++u)
      app_.settings.values.units[u] = channels[u];
    app_.settings.values.id = 0;
    app_.alignment.reset(app_.settings.values.units_array());
  }

  std::unique_ptr<AlignmentDialog> open() {
    auto dialog = std::make_unique<AlignmentDialog>(app_.panel_services(), app_.alignment, nullptr);
    dialog->show();
    EXPECT_TRUE(settle([&] { return dialog->idle(); }, 30000));
    app_.worker.wait_until_idle();
    QCoreApplication::processEvents();
    return dialog;
  }
  // Requests other than polls and reads.
  std::vector<std::string> sent(std::size_t at_least) {
    return sent_since_mark(at_least, {31, 35, 60, 73, 118});
  }
  static QAbstractButton* control(QWidget* d, int id) {
    return d->findChild<QAbstractButton*>(control_name(id));
  }
  static QString cell_text(QWidget* d, int row, int column) {
    return control(d, 1000 + row * 10 + column)->text();
  }
};

TEST_F(AlignmentGui, OpensWithTheUnitsMapAndPutsAColumnOffsetOnTheWire) {
  auto d = open();
  EXPECT_EQ(cell_text(d.get(), 0, 0), "0:1");
  EXPECT_EQ(cell_text(d.get(), 3, 3), "0:16");
  EXPECT_EQ(cell_text(d.get(), 0, 5), "-");  // unit 1's cells while unit 0 is selected
  EXPECT_EQ(d->findChild<QLineEdit*>(control_name(1244))->text(), "1x1");
  const auto statuses = ui_.statuses();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), " Reading Unit: 0, Ch: 16"),
            statuses.end());
  EXPECT_FALSE(control(d.get(), 7)->isEnabled());  // no ALIGN.CFG yet

  control(d.get(), 1190 + 1)->click();  // column "2"
  ASSERT_TRUE(settle([&] { return d->idle(); }));
  mark_traffic();
  auto* bar = d->findChild<QScrollBar*>(control_name(1179));
  bar->setValue(bar->value() - 3);  // reversed: three steps left is +3
  EXPECT_EQ(sent(1), std::vector<std::string>{"07 00 24 00 03"});
  app_.worker.wait_until_idle();
  const Bytes split{1, 1};
  const auto offsets = app_.link.unit_get(kDeviceUnit, 0, 118, split);
  ASSERT_TRUE(offsets);
  EXPECT_EQ(offsets->data()[18], 3);  // the column offset read back

  // Save, and Restore becomes possible.
  control(d.get(), 2)->click();
  ASSERT_TRUE(settle([&] { return control(d.get(), 7)->isEnabled(); }));
  d->accept();
  EXPECT_EQ(sent(3).back(), "87 FF 2C 00");  // the overlay off on closing
}

TEST_F(AlignmentGui, SwapMovesTwoChannelsAndCopyMapSaysSo) {
  auto d = open();
  mark_traffic();
  QMouseEvent right(QEvent::MouseButtonPress, QPointF(3, 3), QPointF(3, 3), Qt::RightButton,
                    Qt::RightButton, Qt::NoModifier);
  QCoreApplication::sendEvent(control(d.get(), 1000), &right);  // A1
  control(d.get(), 1000 + 33)->click();                         // D4
  EXPECT_EQ(sent(2), (std::vector<std::string>{"07 00 20 0F 00 00", "07 00 20 00 03 03"}));
  EXPECT_EQ(cell_text(d.get(), 0, 0), "0:16");
  EXPECT_EQ(cell_text(d.get(), 3, 3), "0:1");
  ASSERT_TRUE(settle([&] { return d->idle(); }));
  // The unit holds it: channel 1 is at D4.
  app_.worker.wait_until_idle();
  const Bytes first{0};
  const auto state = app_.link.unit_get(kDeviceUnit, 0, 31, first);
  ASSERT_TRUE(state);
  EXPECT_EQ(state->data()[1], 0x33);
  control(d.get(), 1246)->click();
  const QString map = QGuiApplication::clipboard()->text();
  EXPECT_TRUE(map.startsWith("; Monitor map settings\r\nsend 7 0 32 15  0  0\r\n"))
      << map.toStdString();
  d->accept();
}

TEST_F(AlignmentGui, ArrayDimensionPastTheGridIsRefused) {
  auto d = open();
  QTimer::singleShot(0, [] {
    auto* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    dialog->findChild<QComboBox*>(control_name(1255))->setCurrentIndex(8);  // row I
    dialog->findChild<QComboBox*>(control_name(1254))->setCurrentIndex(3);  // 4 high
    static_cast<QDialog*>(dialog)->accept();
  });
  control(d.get(), 1209)->click();
  bool refused = false;
  for (const auto& c : ui_.calls())
    refused = refused || c.rfind("box: Error|Error: The array", 0) == 0;
  EXPECT_TRUE(refused);
  d->accept();
}

class AlignmentFullWall : public AlignmentGui {
 protected:
  AlignmentFullWall() : AlignmentGui({25, 25, 25, 25}) {}
};

// Reading the whole wall: 100 channel states, one exchange each, while the window answers.
TEST_F(AlignmentFullWall, ReadsAHundredChannelsWithProgress) {
  app_.settings.values.id = -1;
  QElapsedTimer timer;
  timer.start();
  auto d = open();
  const qint64 ms = timer.elapsed();
  RecordProperty("read_ms", static_cast<int>(ms));
  std::printf("reading 100 channel states took %lld ms\n", static_cast<long long>(ms));
  EXPECT_EQ(cell_text(d.get(), 9, 9), "3:25");
  int progress = 0;
  for (const auto& s : ui_.statuses())
    progress += s.rfind(" Reading Unit: ", 0) == 0;
  EXPECT_EQ(progress, 100);
  d->accept();
}

TEST_F(AlignmentGui, Screenshot_TwoUnitMap) {
  QM_SKIP_UNLESS_SCREENSHOTS();
  app_.settings.values.id = -1;
  auto d = open();
  control(d.get(), 1180 + 1)->click();  // row B highlighted
  settle([&] { return d->idle(); });
  save_screenshot(*d, "alignment.png");
}

}  // namespace
}  // namespace qm::test
