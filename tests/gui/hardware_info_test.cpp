#include "panels/hardware_info_dialog.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextCursor>
#include <memory>

#include "base/idle_jobs.h"
#include "gui/gui_rig.h"
#include "gui/screenshot.h"

namespace qm {
namespace {

// A wall of four units, reached over the loopback gateway.
class HardwareInfoGui : public test::GuiRig {
 protected:
  HardwareInfoGui() : GuiRig(wall_of({16, 16, 16, 16})) {}

  // Idle turns of a waiting dialog; each waits for the link thread's result.
  void pump(int turns) {
    for (int i = 0; i < turns; ++i) {
      app_.idle.idle(IdleSource::Dialog);
      ASSERT_TRUE(settle([&] { return !app_.idle.waiting(); }));
    }
  }
  // Waits until the wall has seen `more` messages beyond `before`.
  void await_messages(std::size_t before, std::size_t more) {
    ASSERT_TRUE(wall_.wait_transcript(before + more, 3000));
  }
  static QString shown(QWidget* dialog) {
    return child<QPlainTextEdit>(dialog, "versionText")->toPlainText();
  }
  // Shows the dialog and saves its picture once the window system has shown it.
  static void screenshot(QWidget& dialog, const char* file) {
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    test::save_screenshot(dialog, QString::fromLatin1(file));
  }
};

constexpr char kUnitBlock[] =
    "Software version\t 4.2\nHardware version\t 2.1\nSplit switch\t 0x00\n"
    "Effect switch\t 0x00\nFPGA Version\t 3.1\n\n";

TEST_F(HardwareInfoGui, VersionDialog_ShowsTheTextAfterEveryUnit) {
  connect_tcp();
  VersionDialog dialog(app_.panel_services(), nullptr);
  EXPECT_EQ(dialog.objectName(), "dialog155");
  EXPECT_EQ(dialog.windowTitle(), " Version Information");
  EXPECT_EQ(app_.idle.job(), kJobVersionScan);
  EXPECT_TRUE(child<QPlainTextEdit>(&dialog, "versionText")->isReadOnly());

  pump(1);
  EXPECT_EQ(shown(&dialog), QString("Reading version information\n\nUnit 0:\n") + kUnitBlock);
  pump(3);
  QString all = "Reading version information\n\n";
  for (int u = 0; u < 4; ++u)
    all += QString("Unit %1:\n").arg(u) + kUnitBlock;
  EXPECT_EQ(shown(&dialog), all + "- scan complete");
  EXPECT_EQ(app_.idle.job(), kJobNone);
  EXPECT_EQ(sent_to_units(),
            (std::vector<std::string>{"07 00 04", "07 00 03", "07 01 04", "07 01 03", "07 02 04",
                                      "07 02 03", "07 03 04", "07 03 03"}));

  ui_.clear();
  child<QAbstractButton>(&dialog, "okButton")->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(ui_.calls(), (std::vector<std::string>{"clear"}));
}

// The whole list of four units is in sight at once, down to "- scan complete", without
// scrolling.
TEST_F(HardwareInfoGui, VersionDialog_ShowsTheWholeListOfFourUnits) {
  connect_tcp();
  VersionDialog dialog(app_.panel_services(), nullptr);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  pump(4);
  auto* text = child<QPlainTextEdit>(&dialog, "versionText");
  ASSERT_TRUE(text->toPlainText().endsWith("- scan complete"));
  QCoreApplication::processEvents();
  EXPECT_EQ(text->verticalScrollBar()->maximum(), 0);
  QTextCursor end(text->document());
  end.movePosition(QTextCursor::End);
  EXPECT_LE(text->cursorRect(end).bottom(), text->viewport()->height());
  QTextCursor start(text->document());
  EXPECT_GE(text->cursorRect(start).top(), 0);
}

TEST_F(HardwareInfoGui, VersionDialog_ClosedMidScan_EndsTheScan) {
  connect_tcp();
  {
    VersionDialog dialog(app_.panel_services(), nullptr);
    dialog.show();
    pump(1);
    EXPECT_EQ(app_.idle.job(), 2);
    dialog.close();  // the close box: clears the status line like "OK"
    EXPECT_EQ(ui_.calls().back(), "clear");
    EXPECT_EQ(app_.idle.job(), kJobNone);
  }
  // Without the dialog nothing is scanned, even when the job is set again.
  app_.idle.set_job(kJobVersionScan + 1);
  pump(2);
  EXPECT_EQ(sent_to_units().size(), 2u);
  // The job ends with the dialog, too, when it is destroyed without closing.
  { VersionDialog dialog(app_.panel_services(), nullptr); }
  EXPECT_EQ(app_.idle.job(), kJobNone);
}

TEST_F(HardwareInfoGui, ResetDialog_SendsToTheCheckedUnitOrToAll) {
  connect_serial();  // the serial line carries a broadcast as address 255
  app_.settings.values.id = 2;
  {
    ResetDialog dialog(app_.panel_services(), nullptr);
    EXPECT_EQ(dialog.objectName(), "dialog137");
    EXPECT_EQ(dialog.windowTitle(), " Reset");
    EXPECT_TRUE(child<QRadioButton>(&dialog, "unit2Radio")->isChecked());
    const std::size_t before = wall_.transcript().size();
    child<QAbstractButton>(&dialog, "okButton")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    await_messages(before, 1);
    // A reset has no reply: the status line says it went out.
    EXPECT_TRUE(settle([&] { return !ui_.statuses().empty(); }));
    EXPECT_EQ(ui_.statuses(), std::vector<std::string>{"Reset sent to unit 2"});
  }
  {
    ResetDialog dialog(app_.panel_services(),
                       nullptr);  // unit 2 checked; the operator picks all units
    QTest::mouseClick(child<QRadioButton>(&dialog, "allUnitsRadio"), Qt::LeftButton);
    EXPECT_EQ(dialog.target(), -1);
    const std::size_t before = wall_.transcript().size();
    child<QAbstractButton>(&dialog, "okButton")->click();
    await_messages(before, 1);
    EXPECT_TRUE(settle([&] { return ui_.statuses().size() == 2; }));
    EXPECT_EQ(ui_.statuses().back(), "Reset sent to all units");
  }
  EXPECT_EQ(sent_to_units(), (std::vector<std::string>{"07 02 00", "87 FF 00"}));
}

TEST_F(HardwareInfoGui, ResetDialog_WithoutALinkSaysSoInTheStatusLine) {
  ResetDialog dialog(app_.panel_services(), nullptr);  // no port, no gateway
  child<QAbstractButton>(&dialog, "okButton")->click();
  EXPECT_TRUE(settle([&] { return !ui_.statuses().empty(); }));
  EXPECT_EQ(ui_.statuses(), std::vector<std::string>{"Reset not sent: no link to the units"});
}

TEST_F(HardwareInfoGui, ResetDialog_AllSelected_ChecksNoneAndCancelSendsNothing) {
  connect_serial();
  app_.settings.values.id = -1;
  ResetDialog dialog(app_.panel_services(), nullptr);
  for (const char* name : {"unit0Radio", "unit1Radio", "unit2Radio", "unit3Radio", "allUnitsRadio"})
    EXPECT_FALSE(child<QRadioButton>(&dialog, name)->isChecked()) << name;
  EXPECT_EQ(dialog.target(), -1);
  QTest::mouseClick(child<QRadioButton>(&dialog, "unit1Radio"), Qt::LeftButton);
  EXPECT_EQ(dialog.target(), 1);
  child<QAbstractButton>(&dialog, "cancelButton")->click();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  // A reset would have reached the wall long before this round trip ends.
  EXPECT_TRUE(app_.link.unit_get(kDeviceUnit, 0, 4, {}).has_value());
  EXPECT_EQ(sent_to_units(), (std::vector<std::string>{"07 00 04"}));
}

TEST_F(HardwareInfoGui, Screenshot_VersionDialog) {
  QM_SKIP_UNLESS_SCREENSHOTS();
  connect_tcp();
  VersionDialog dialog(app_.panel_services(), nullptr);
  pump(4);
  screenshot(dialog, "version_dialog.png");
}

TEST_F(HardwareInfoGui, Screenshot_ResetDialog) {
  QM_SKIP_UNLESS_SCREENSHOTS();
  app_.settings.values.id = 1;
  ResetDialog dialog(app_.panel_services(), nullptr);
  screenshot(dialog, "reset_dialog.png");
}

}  // namespace
}  // namespace qm
