// The main window on the offscreen platform: start-up and shutdown order, the status bar's
// texts and indicators, the menu, the demo wall and the Compile command's error box.
#include "shell/main_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/ui_helpers_widget.h"
#include "gui/screenshot.h"
#include "ids.h"
#include "link/unit_selection.h"
#include "sim/buses.h"
#include "sim/wall.h"
#include "support/temp_folder.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() : folder_("main") {
    fs::create_directories(folder_ / "Quadrimon");
    fs::create_directories(folder_ / "program");
  }

  Settings settings() const { return Settings(folder_ / "Quadrimon", folder_ / "program"); }
  void write_settings(const std::string& text) const {
    std::ofstream(folder_ / "Quadrimon" / "Orvik.ini") << text;
  }
  static QString part(MainWindow& w, const char* name) {
    return w.findChild<QLabel*>(QString::fromLatin1(name))->text();
  }
  std::string program_ini() const {
    std::ifstream in(folder_ / "program" / "orvik.ini");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  TempFolder folder_;
};

// Cases that bound the wall time they take: the suites named *Timing run one at a time, away
// from the other tests' load (CTest label "timing").
using MainWindowTiming = MainWindowTest;

TEST_F(MainWindowTest, StartUp_ReadsSettingsOpensThePortAndShowsLinkAndUnit) {
  sim::SimWall wall;
  sim::SerialBus bus(wall, false);
  ASSERT_TRUE(bus.start());
  write_settings("ComPort = COM2:\nID = 3\nIP = ON\nENABLE_IP = OFF\n");
  MainWindow w(settings(), false);
  w.app().link.set_port_device(2, bus.device());
  w.start({});
  EXPECT_EQ(w.windowTitle(), "Quadrimon Control");
  EXPECT_FALSE(w.app().settings.values.ip);  // remote access is not enabled
  EXPECT_TRUE(w.app().link.serial_open());
  EXPECT_FALSE(w.app().log.enabled());  // logging is off at every start
  EXPECT_EQ(part(w, "linkPart"), " COM2:");
  EXPECT_EQ(part(w, "unitPart"), " ID3");
  EXPECT_EQ(w.statusBar()->objectName(), "id10000");
}

TEST_F(MainWindowTest, StatusBar_LinkTextsForEveryState) {
  MainWindow w(settings(), false);
  w.start({});
  EXPECT_EQ(part(w, "linkPart"), "   -");  // no port
  EXPECT_EQ(part(w, "unitPart"), " ID0");
  w.app().settings.values.id = -1;
  w.operator_ui().show_unit_status(unit_status_text(-1));
  EXPECT_EQ(part(w, "unitPart"), " ID*");
  w.app().settings.values.ip = true;
  w.app().link.show_link_status();
  EXPECT_EQ(part(w, "linkPart"), " TCP/IP");
  w.operator_ui().show_status("Connecting");
  EXPECT_EQ(part(w, "messagePart"), " Connecting");
  w.operator_ui().clear_status();
  EXPECT_EQ(part(w, "messagePart"), "");
}

// The link and unit parts keep their widths as minimums and widen to show their whole text in
// the font the program runs with (" COM2:" lost its colon in 45 pixels).
TEST_F(MainWindowTest, StatusBar_PartsShowTheirWholeTextInTheRunningFont) {
  MainWindow w(settings(), false);
  w.start({});
  auto* link = w.findChild<QLabel*>(QStringLiteral("linkPart"));
  auto* unit = w.findChild<QLabel*>(QStringLiteral("unitPart"));
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  w.operator_ui().show_link_status("   -");
  EXPECT_TRUE(QTest::qWaitFor([&] { return link->width() == 45; }, 2000)) << link->width();
  EXPECT_GE(unit->width(), 35);

  QFont large = w.statusBar()->font();
  large.setPointSize(large.pointSize() * 2);
  w.statusBar()->setFont(large);
  w.operator_ui().show_link_status(" COM2:");
  w.operator_ui().show_unit_status(" ID*");
  for (QLabel* label : {link, unit}) {
    const QFontMetrics metrics(label->font());
    // The text starts half an "x" in from the frame.
    const int needed =
        metrics.horizontalAdvance(label->text()) + metrics.horizontalAdvance(QLatin1Char('x')) / 2;
    EXPECT_TRUE(QTest::qWaitFor([&] { return label->contentsRect().width() >= needed; }, 2000))
        << label->objectName().toStdString() << ": " << label->contentsRect().width() << " < "
        << needed;
  }
}

// Dialogs placed at (2, 2) or centred stay in the client area, below the menu bar and above
// the status bar.
TEST_F(MainWindowTest, PlacedDialogs_StayBelowTheMenuBar) {
  MainWindow w(settings(), false);
  w.start({});
  w.move(100, 100);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  const int menu_bottom = w.menuBar()->mapToGlobal(QPoint(0, w.menuBar()->height())).y();
  const int status_top = w.statusBar()->mapToGlobal(QPoint(0, 0)).y();
  int top = 0;
  int left = 0;
  QTimer::singleShot(0, [&] {
    QWidget* about = QApplication::activeModalWidget();
    ASSERT_NE(about, nullptr);
    top = about->frameGeometry().top();
    left = about->frameGeometry().left();
    about->close();
  });
  w.run_command(ids::kCmdAbout);
  EXPECT_EQ(top, menu_bottom + 2);
  EXPECT_EQ(left, w.geometry().left() + 2);
  EXPECT_LT(top, status_top);
}

TEST_F(MainWindowTiming, Indicators_StayLitWhileFramesComeAndGoDarkAfter200ms) {
  MainWindow w(settings(), false);
  w.start({});
  w.operator_ui().flash_activity(Activity::Transmit);
  QTest::qWait(100);
  w.operator_ui().flash_activity(Activity::Transmit);
  QTest::qWait(150);  // 250 ms after the first, 150 after the second: still lit
  EXPECT_TRUE(w.operator_ui().indicator_lit(Activity::Transmit));
  EXPECT_FALSE(w.operator_ui().indicator_lit(Activity::Receive));
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return !w.operator_ui().indicator_lit(Activity::Transmit); }, 500));
}

TEST_F(MainWindowTest, Menu_EveryCommandIsThereAndEnabled) {
  MainWindow w(settings(), false);
  w.start({});
  for (int id :
       {ids::kCmdSetup,  ids::kCmdReset, ids::kCmdOptions, ids::kCmdHardwareInfo, ids::kCmdExit,
        ids::kCmdNew,    ids::kCmdEdit,  ids::kCmdRun,     ids::kCmdCompile,      ids::kCmdDownload,
        ids::kCmdDecode, ids::kCmdFlash, ids::kCmdUpdate,  ids::kCmdVideoIn,      ids::kCmdVideoOut,
        ids::kCmdKeypad, ids::kCmdAlign, ids::kCmdButtons, ids::kCmdCreateFont,   ids::kCmdHelp,
        ids::kCmdAbout}) {
    ASSERT_NE(w.command(id), nullptr) << id;
    EXPECT_TRUE(w.command(id)->isEnabled()) << id;
  }
  EXPECT_EQ(w.command(ids::kCmdHardwareInfo)->text(), "&Hardware Info");
}

TEST_F(MainWindowTest, Shutdown_RecordsRemoteAccessReleasesThePortAndStopsTheLog) {
  write_settings("ENABLE_IP = YES\n");
  {
    MainWindow w(settings(), false);
    w.start({});
    w.app().options.logging = true;
    w.app().log.log_enable(true);
  }
  EXPECT_EQ(program_ini(), "ENABLE_IP = YES\n");
  EXPECT_TRUE(fs::exists(folder_ / "Quadrimon" / "quadrimon.log"));
}

TEST_F(MainWindowTest, Demo_ConnectsToItsOwnWallAndWritesNothing) {
  MainWindow w(settings(), true);
  w.start({});
  EXPECT_EQ(w.windowTitle(), "Quadrimon Control - Demo wall");
  w.app().worker.wait_until_idle();  // the connection is made on the link thread
  QCoreApplication::processEvents();
  EXPECT_EQ(part(w, "linkPart"), " TCP/IP");
  const auto reply = w.app().link.unit_get(7, 1, 4, {});
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->data()[0], 4);
  w.close();
  EXPECT_FALSE(fs::exists(folder_ / "program" / "orvik.ini"));
  EXPECT_FALSE(fs::exists(folder_ / "Quadrimon" / "Orvik.ini"));
}

TEST_F(MainWindowTest, Flash_OpensTheRemoteDirectoryOnUnitZeroWhenAllUnitsAreSelected) {
  MainWindow w(settings(), true);
  w.start({});
  w.app().worker.wait_until_idle();
  w.app().settings.values.id = -1;
  QString title;
  QString space;
  QTimer poll;
  poll.setInterval(10);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* directory = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (directory == nullptr) return;
    title = directory->windowTitle();
    space = directory->findChild<QLabel*>(control_name(ids::kSpaceText))->text();
    if (!space.isEmpty()) directory->accept();
  });
  poll.start();
  w.run_command(ids::kCmdFlash);
  EXPECT_EQ(title, " Remote Directory");
  EXPECT_TRUE(space.startsWith("Free: ")) << space.toStdString();
  EXPECT_EQ(w.app().settings.values.id, 0);
  EXPECT_EQ(part(w, "unitPart"), " ID0");
  w.close();
}

TEST_F(MainWindowTest, Demo_LogSettingsAndProjectLiveInItsOwnFolderWhichGoesAtTheEnd) {
  std::ofstream(folder_ / "go.seq") << "SEND 7 1 40 9\n";
  const std::vector<fs::path> runs[] = {{folder_ / "go.seq"},
                                        {folder_ / "show.efx", folder_ / "go.seq"}};
  for (const auto& arguments : runs) {
    SCOPED_TRACE(arguments.size());
    fs::path own;
    QString box;
    {
      MainWindow w(settings(), true);
      w.app().options.skip_std = true;
      ASSERT_TRUE(w.app().settings.user_folder());
      own = *w.app().settings.user_folder();
      EXPECT_TRUE(fs::is_directory(own));
      EXPECT_EQ(w.app().log.log_path(), own / "quadrimon.log");
      QTimer::singleShot(0, [&] {
        if (auto* b = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
          box = b->text();
          b->close();
        }
      });
      QStringList texts;
      for (const fs::path& a : arguments)
        texts << QString::fromStdString(a.string());
      // The file runs on the demo wall and the program ends, as without the demo.
      EXPECT_FALSE(w.start(texts));
      w.app().log.log_enable(true);
      w.app().log.link_trace("demo");
      EXPECT_TRUE(fs::exists(own / "quadrimon.log"));
    }
    EXPECT_EQ(box, QString()) << box.toStdString();
    EXPECT_FALSE(fs::exists(own));
    EXPECT_TRUE(fs::is_empty(folder_ / "Quadrimon"));
    EXPECT_FALSE(fs::exists(folder_ / "program" / "orvik.ini"));
  }
}

TEST_F(MainWindowTest, Compile_SuccessSaysWhatWasWrittenInTheStatusLine) {
  MainWindow w(settings(), false);
  w.start({});
  w.app().options.skip_std = true;
  const fs::path source = folder_ / "A.SEQ";
  std::ofstream(source) << "SEND 7 1 40 5\n";
  w.compile_file(QString::fromStdString(source.string()));
  const fs::path output = folder_ / "A.sfb";
  ASSERT_TRUE(fs::exists(output));
  EXPECT_EQ(part(w, "messagePart").toStdString(),
            " Compiled A.sfb: " + std::to_string(fs::file_size(output)) + " bytes");
}

TEST_F(MainWindowTest, Compile_ErrorShowsTheComposedBoxTitledCompile) {
  MainWindow w(settings(), false);
  w.start({});
  w.app().options.skip_std = true;
  const fs::path source = folder_ / "bad.seq";
  std::ofstream(source) << "SEND 7 1\n";
  QString title, text;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    text = box->text();
    box->button(QMessageBox::No)->click();
  });
  w.compile_file(QString::fromStdString(source.string()));
  EXPECT_EQ(title, " Compile");
  EXPECT_EQ(text.toStdString(), "File: " + source.string() +
                                    "\nError line: 1 - Send requires at least 3 parameters."
                                    "\n\nEdit file?");
  EXPECT_FALSE(fs::exists(folder_ / "bad.sfb"));
}

}  // namespace
}  // namespace qm::test

namespace qm::test {
namespace {

TEST_F(MainWindowTest, Screenshot_MainWindow) {
  QM_SKIP_UNLESS_SCREENSHOTS();
  MainWindow w(settings(), true);
  w.start({});
  w.show();
  w.app().worker.wait_until_idle();  // the connection is made on the link thread
  w.operator_ui().show_status("Demo wall ready");
  w.operator_ui().flash_activity(Activity::Receive);
  save_screenshot(w, "main_window.png");
}

}  // namespace
}  // namespace qm::test
