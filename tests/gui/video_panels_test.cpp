// The video input and output panels and the keypad against a simulated wall on a
// pseudo-terminal: what they read, the exact messages their controls put on the wire, the
// signal labels, and the unit selection they leave behind.
#include "panels/video_panels_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QLabel>
#include <QScrollBar>
#include <memory>

#include "base/ui_helpers_widget.h"
#include "gui/gui_rig.h"
#include "ids.h"

namespace qm::test {
namespace {

class VideoPanels : public GuiRig {
 protected:
  VideoPanels() {
    connect_serial();
    app_.settings.values.units[1] = 16;
    app_.settings.values.id = 0;
  }

  // The messages the wall received since mark_traffic(), reads left out.
  std::vector<std::string> sent(std::size_t at_least) {
    return sent_since_mark(at_least, {13, 25, 35, 60});
  }
  // Unit `unit`'s input settings as it reports them.
  Bytes input_settings(std::uint8_t unit) {
    app_.worker.wait_until_idle();
    const auto reply = app_.link.unit_get(kDeviceUnit, unit, 25, {});
    return reply ? Bytes(reply->data().begin(), reply->data().end()) : Bytes{};
  }
  template <typename T>
  static T* find(QWidget* dialog, const char* name) {
    return dialog->findChild<T*>(QString::fromLatin1(name));
  }
  static void click_unit(QWidget* dialog, int index) {
    find<QAbstractButton>(dialog, control_name(ids::kUnitRadio0 + index).toLatin1())->click();
  }
};

TEST_F(VideoPanels, Input_OpensWithTheUnitsSettingsAndSignalLabels) {
  wall_.with_unit(0, [](sim::SimUnit& u) { u.set_signal_state(1, SignalState::kNoSignal); });
  app_.link.unit_send(kDeviceUnit, 0, 17, Bytes{0, 30});  // brightness of channel 0
  app_.link.unit_send(kDeviceUnit, 0, 21, Bytes{1, 4});   // channel 1: PAL (60Hz)
  VideoInputDialog dialog(app_.panel_services(), app_.video_input, nullptr);
  dialog.show();
  auto* signal1 = find<QLabel>(&dialog, "signal1");
  ASSERT_TRUE(settle([&] { return dialog.idle() && signal1->text() == "No signal"; }));
  EXPECT_EQ(find<QLabel>(&dialog, "signal0")->text(), "In sync.");
  EXPECT_EQ(signal1->palette().color(QPalette::Window), QColor(192, 0, 0));
  auto* brightness = find<QScrollBar>(&dialog, "brightness0");
  EXPECT_EQ(brightness->value(), 255 - 30);  // reversed: the top is 255
  EXPECT_TRUE(find<QAbstractButton>(&dialog, "system1_4")->isChecked());
  EXPECT_FALSE(find<QAbstractButton>(&dialog, "restoreFromFlash")->isEnabled());

  // The status follows the unit: no signal gone, the label changes at the next refresh.
  wall_.with_unit(0, [](sim::SimUnit& u) { u.set_signal_state(1, SignalState::kNoColour); });
  ASSERT_TRUE(settle([&] { return signal1->text() == "No colour"; }, 5000));
  dialog.accept();
}

TEST_F(VideoPanels, Input_SliderDragSendsEachValueOnceAndTheUnitTakesIt) {
  VideoInputDialog dialog(app_.panel_services(), app_.video_input, nullptr);
  dialog.show();
  ASSERT_TRUE(settle([&] { return dialog.idle(); }));
  mark_traffic();
  auto* contrast = find<QScrollBar>(&dialog, "contrast1");
  for (int position : {100, 99, 97, 97, 90})
    contrast->setValue(position);  // as a drag does
  EXPECT_EQ(sent(4), (std::vector<std::string>{"07 00 12 01 9B", "07 00 12 01 9C", "07 00 12 01 9E",
                                               "07 00 12 01 A5"}));
  EXPECT_EQ(input_settings(0).at(5), 0xA5);

  // PAL (60Hz) on channel 2 sends (1, 4).
  mark_traffic();
  find<QAbstractButton>(&dialog, "system1_4")->click();
  find<QAbstractButton>(&dialog, "default0")->click();
  EXPECT_EQ(sent(5), (std::vector<std::string>{"07 00 15 01 04", "07 00 11 00 80", "07 00 12 00 84",
                                               "07 00 13 00 80", "07 00 14 00 80"}));
  EXPECT_EQ(find<QScrollBar>(&dialog, "contrast0")->value(), 255 - 132);
  dialog.accept();
}

TEST_F(VideoPanels, Input_GangSendsToEveryUnitAndClosingSelectsTheUnitAgain) {
  app_.settings.values.id = 1;
  VideoInputDialog dialog(app_.panel_services(), app_.video_input, nullptr);
  dialog.show();
  ASSERT_TRUE(settle([&] { return dialog.idle(); }));
  mark_traffic();
  ui_.answer({BoxAnswer::Yes});
  click_unit(&dialog, 4);
  EXPECT_EQ(app_.settings.values.id, -1);
  const auto gang = sent(12);
  ASSERT_EQ(gang.size(), 12u);
  EXPECT_EQ(gang[0], "87 FF 15 00 00");  // channel 1's system first
  EXPECT_EQ(gang[5], "87 FF 10 00 00");  // its source last
  EXPECT_EQ(gang[6], "87 FF 15 01 00");

  // Every change now goes to all units, and the copied lines say so.
  mark_traffic();
  find<QAbstractButton>(&dialog, "vcr0")->click();
  EXPECT_EQ(sent(1), std::vector<std::string>{"87 FF 30 00 01"});
  find<QAbstractButton>(&dialog, "copy")->click();
  const QString copied = QGuiApplication::clipboard()->text();
  EXPECT_TRUE(copied.startsWith("; Video input channel 1\r\nsend 7 -1 FN_DGTSYS 0 0\r\n"));
  find<QAbstractButton>(&dialog, "copy")->click();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), copied);
  dialog.accept();
  EXPECT_EQ(app_.settings.values.id, 1);
}

TEST_F(VideoPanels, Input_WithAllUnitsReadsUnitZeroAndSendsToAll) {
  app_.settings.values.id = -1;
  VideoInputDialog dialog(app_.panel_services(), app_.video_input, nullptr);
  dialog.show();
  ASSERT_TRUE(settle([&] { return dialog.idle(); }));
  std::vector<std::string> reads;
  for (const auto& e : wall_.transcript())
    if (e.direction == sim::Direction::ToUnits && e.message.size() >= 3 &&
        (e.message[2] == 25 || e.message[2] == 13))
      reads.push_back(to_hex(e.message).substr(0, 8));
  ASSERT_FALSE(reads.empty());
  for (const auto& r : reads)
    EXPECT_TRUE(r == "07 00 19" || r == "07 00 0D") << r;
  mark_traffic();
  find<QAbstractButton>(&dialog, "input1_2")->click();
  EXPECT_EQ(sent(1), std::vector<std::string>{"87 FF 10 01 02"});
  dialog.accept();
  EXPECT_EQ(app_.settings.values.id, -1);
}

TEST_F(VideoPanels, Input_RestoreFromFlashOnlyWithTheUnitsFile) {
  wall_.with_unit(
      0, [](sim::SimUnit& u) { ASSERT_TRUE(u.flash().put_file(2, "DGTSER.CFG", Bytes(13, 100))); });
  VideoInputDialog dialog(app_.panel_services(), app_.video_input, nullptr);
  dialog.show();
  auto* restore = find<QAbstractButton>(&dialog, "restoreFromFlash");
  ASSERT_TRUE(settle([&] { return dialog.idle() && restore->isEnabled(); }));
  mark_traffic();
  restore->click();
  ASSERT_TRUE(settle([&] { return dialog.idle(); }));
  EXPECT_EQ(sent(1), std::vector<std::string>{"07 00 02 01"});
  dialog.accept();
}

TEST_F(VideoPanels, Input_SilentUnitShowsDefaultsAndUndeterminedLabels) {
  app_.link.com_release();
  VideoInputDialog dialog(app_.panel_services(), app_.video_input, nullptr);
  dialog.show();
  ASSERT_TRUE(settle([&] { return dialog.idle(); }));
  EXPECT_EQ(find<QScrollBar>(&dialog, "brightness0")->value(), 255 - 200);
  EXPECT_EQ(find<QLabel>(&dialog, "signal0")->text(), "---");
  const auto statuses = ui_.statuses();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), kRemoteReadFailure), statuses.end());
  dialog.accept();
}

TEST_F(VideoPanels, Output_ReadsTheUnitAndSendsLinkToInputAsFF) {
  app_.link.unit_send(kDeviceUnit, 0, 117, Bytes{0xFF});
  app_.link.unit_send(kDeviceUnit, 0, 49, Bytes{1});
  VideoOutputDialog dialog(app_.panel_services(), app_.video_output, nullptr);
  dialog.show();
  ASSERT_TRUE(settle([&] { return dialog.idle(); }));
  EXPECT_TRUE(find<QAbstractButton>(&dialog, "system0")->isChecked());  // Link to input
  EXPECT_TRUE(find<QAbstractButton>(&dialog, "vcr")->isChecked());
  mark_traffic();
  find<QAbstractButton>(&dialog, "system5")->click();  // PAL (60Hz)
  find<QAbstractButton>(&dialog, "system0")->click();
  find<QAbstractButton>(&dialog, "vcr")->click();
  EXPECT_EQ(sent(3), (std::vector<std::string>{"07 00 75 04", "07 00 75 FF", "07 00 31 00"}));
  EXPECT_FALSE(find<QAbstractButton>(&dialog, "vcr")->isChecked());

  // "*": no question, no read; later changes go to every unit.
  mark_traffic();
  click_unit(&dialog, 4);
  find<QAbstractButton>(&dialog, "filter1")->click();
  EXPECT_EQ(sent(1), std::vector<std::string>{"87 FF 47 01"});
  for (const std::string& call : ui_.calls())
    EXPECT_NE(call.rfind("box:", 0), 0u) << call;
  dialog.accept();
  EXPECT_EQ(app_.settings.values.id, 0);
}

TEST_F(VideoPanels, Keypad_KeysGoToTheSelectedUnitOrAllAndTheUnitComesBack) {
  KeypadDialog keypad(app_.panel_services(), nullptr);
  keypad.show();
  mark_traffic();
  find<QAbstractButton>(&keypad, control_name(1052 + 10).toLatin1())->click();  // A
  find<QAbstractButton>(&keypad, control_name(1052 + 15).toLatin1())->click();  // F
  find<QAbstractButton>(&keypad, control_name(1243).toLatin1())->click();
  EXPECT_EQ(sent(3), (std::vector<std::string>{"07 00 4B 0A", "07 00 4B 0F", "07 00 4F"}));
  mark_traffic();
  click_unit(&keypad, 4);
  find<QAbstractButton>(&keypad, control_name(1052 + 3).toLatin1())->click();
  EXPECT_EQ(sent(1), std::vector<std::string>{"87 FF 4B 03"});
  keypad.accept();
  EXPECT_EQ(app_.settings.values.id, 0);

  // A single unit chosen in the keypad stays.
  KeypadDialog again(app_.panel_services(), nullptr);
  again.show();
  click_unit(&again, 1);
  again.accept();
  EXPECT_EQ(app_.settings.values.id, 1);
}

}  // namespace
}  // namespace qm::test
