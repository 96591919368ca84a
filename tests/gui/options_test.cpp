// The Options dialog, the log viewer, About, Decode and the flash name prompt.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <fstream>

#include "compiler/decode_dialog.h"
#include "gui/gui_rig.h"
#include "gui/screenshot.h"
#include "shell/about_dialog.h"
#include "shell/flash_name_dialog.h"
#include "shell/log_viewer_dialog.h"
#include "shell/options.h"
#include "shell/options_dialog.h"

namespace qm {
namespace {

class OptionsGui : public test::GuiRig {
 protected:
  std::filesystem::path write_file(const std::string& name, const std::vector<std::uint8_t>& b) {
    const auto path = folder_ / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    return path;
  }
  static QString text_of(QWidget* dialog) {
    return child<QPlainTextEdit>(dialog, QStringLiteral("id1212"))->toPlainText();
  }
};

// The 20-byte example sequence: two procedures, a SEND and a one-second WAIT.
const std::vector<std::uint8_t> kExample{0x09, 0x0C, 0x00, 0x00, 0x11, 0x02, 0x04,
                                         0x07, 0x01, 0x28, 0x01, 0x0A, 0x09, 0x05,
                                         0x00, 0x00, 0x05, 0x00, 0x32, 0x0A};

TEST_F(OptionsGui, Options_ShowEachOptionAndOkKeepsThem) {
  app_.options.flash_sector1 = true;
  app_.settings.values.enable_ip = true;
  app_.settings.values.ip = true;
  OptionsDialog dialog(app_, nullptr);
  EXPECT_EQ(dialog.objectName(), "dialog173");
  EXPECT_EQ(dialog.windowTitle(), " Program Options");
  EXPECT_FALSE(child<QCheckBox>(&dialog, "id1294")->isChecked());
  EXPECT_TRUE(child<QCheckBox>(&dialog, "id1302")->isChecked());
  EXPECT_FALSE(child<QCheckBox>(&dialog, "id1065")->isChecked());
  EXPECT_TRUE(child<QCheckBox>(&dialog, "id1303")->isChecked());
  EXPECT_EQ(child<QCheckBox>(&dialog, "id1303")->text().remove('&'),
            "Enable Remote Access using TCP/IP");

  child<QCheckBox>(&dialog, "id1294")->click();  // stored only by OK
  EXPECT_FALSE(app_.options.skip_std);
  child<QPushButton>(&dialog, "okButton")->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(app_.options.skip_std);
  EXPECT_TRUE(app_.options.flash_sector1);
  EXPECT_TRUE(app_.settings.values.enable_ip);
  EXPECT_TRUE(app_.settings.values.ip);
  EXPECT_FALSE(app_.log.enabled());
}

TEST_F(OptionsGui, Options_RemoteAccessOff_MovesTrafficToTheSerialPort) {
  connect_serial();
  connect_tcp();
  ui_.clear();
  OptionsDialog dialog(app_, nullptr);
  child<QCheckBox>(&dialog, "id1303")->click();
  child<QPushButton>(&dialog, "okButton")->click();
  EXPECT_FALSE(app_.settings.values.ip);
  EXPECT_TRUE(app_.link.tcp_open());  // the socket is left alone
  EXPECT_EQ(ui_.calls(), (std::vector<std::string>{"link: COM1:"}));

  gateway_.reset();  // nothing reaches the wall through the gateway any more
  EXPECT_TRUE(app_.link.unit_get(7, 0, 35, {}));
  EXPECT_EQ(sent_to_units().back(), "07 00 23");
}

TEST_F(OptionsGui, Options_LogControlsActAtOnce) {
  OptionsDialog dialog(app_, nullptr);
  const auto log = *app_.log.log_path();
  child<QCheckBox>(&dialog, "id1065")->click();
  EXPECT_TRUE(app_.options.logging);
  EXPECT_TRUE(app_.log.enabled());
  EXPECT_TRUE(std::filesystem::exists(log));

  app_.log.link_trace("hello\n");

  // The viewer runs modally: look at it as soon as it is up, close it, see logging come back.
  bool logging_while_shown = true;
  QString shown;
  QTimer::singleShot(0, [&] {
    logging_while_shown = app_.log.enabled();
    QWidget* viewer = QApplication::activeModalWidget();
    ASSERT_NE(viewer, nullptr);
    shown = text_of(viewer);
    viewer->close();
  });
  child<QPushButton>(&dialog, "id1066")->click();
  EXPECT_FALSE(logging_while_shown);
  EXPECT_TRUE(shown.endsWith("hello\n"));
  EXPECT_TRUE(app_.log.enabled());
  EXPECT_TRUE(ui_.calls().empty());

  child<QCheckBox>(&dialog, "id1065")->click();
  child<QPushButton>(&dialog, "id1068")->click();
  EXPECT_FALSE(app_.log.enabled());
  EXPECT_FALSE(std::filesystem::exists(log));
}

TEST_F(OptionsGui, LogViewer_ShowsTheWholeLogTitledWithItsPath) {
  const auto missing = folder_ / "none.log";
  LogViewerDialog nothing(app_, missing, nullptr);
  EXPECT_FALSE(nothing.loaded());
  EXPECT_EQ(nothing.exec(), -1);  // told why, never shown

  const auto path = write_file("traffic.log", {'T', 'x', '>', '\r', '\n', '<', 'R', 'x', '\n'});
  LogViewerDialog viewer(app_, path, nullptr);
  EXPECT_TRUE(viewer.loaded());
  EXPECT_EQ(viewer.objectName(), "dialog182");
  EXPECT_EQ(viewer.windowTitle(), QString::fromStdString(path.string()));
  EXPECT_EQ(text_of(&viewer), "Tx>\n<Rx\n");
  EXPECT_TRUE(child<QPlainTextEdit>(&viewer, "id1212")->isReadOnly());
}

TEST_F(OptionsGui, Decode_ListsASmallFileInTheDialog) {
  const auto path = write_file("show.sfb", kExample);
  DecodeDialog dialog(app_.ui, 50, nullptr, QString::fromStdString(path.string()));
  EXPECT_FALSE(dialog.ended());
  EXPECT_EQ(dialog.objectName(), "dialog182");
  EXPECT_EQ(dialog.windowTitle(), "Decode " + QString::fromStdString(path.string()));
  const QStringList lines = text_of(&dialog).split('\n');
  ASSERT_GE(lines.size(), 11);
  EXPECT_EQ(lines[0], "00000:090C0000              PROC 00012");
  EXPECT_EQ(lines[1], "00004:11                    END");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[7], "00016:050032                WAIT (50Hz) 00:00:01.00 (50 fields)");
  auto* listing = child<QPlainTextEdit>(&dialog, "id1212");
  EXPECT_TRUE(listing->isReadOnly());
  EXPECT_EQ(listing->font().family(), "Courier New");
  EXPECT_EQ(listing->font().pointSize(), 8);
  EXPECT_TRUE(ui_.calls().empty());
}

TEST_F(OptionsGui, Decode_LargeMissingOrUnreadableFiles) {
  const auto large = write_file("large.sfb", std::vector<std::uint8_t>(24576, 0x0C));
  DecodeDialog big(app_.ui, 50, nullptr, QString::fromStdString(large.string()));
  EXPECT_TRUE(text_of(&big).isEmpty());
  EXPECT_FALSE(big.ended());

  DecodeDialog missing(app_.ui, 50, nullptr, QString::fromStdString((folder_ / "no.sfb").string()));
  EXPECT_EQ(missing.windowTitle(), " Browse file");  // stays open and empty
  EXPECT_FALSE(missing.ended());
  EXPECT_TRUE(ui_.calls().empty());

#ifndef _WIN32
  // A directory opens here but cannot be read.
  const QString dir = QString::fromStdString(folder_.string());
  DecodeDialog unreadable(app_.ui, 50, nullptr, dir);
  EXPECT_TRUE(unreadable.ended());
  EXPECT_EQ(ui_.calls(), (std::vector<std::string>{"box: Decode sequence| Error reading file: " +
                                                   folder_.string()}));
#endif
}

TEST_F(OptionsGui, FlashName_TakesTwelveCharactersAndAnswersOneOrTwo) {
  FlashNameDialog dialog(app_, nullptr, QStringLiteral("SHOW.SFB"));
  EXPECT_EQ(dialog.objectName(), "dialog161");
  EXPECT_EQ(dialog.windowTitle(), " Flash filename");
  auto* edit = child<QLineEdit>(&dialog, "id1212");
  EXPECT_EQ(edit->text(), "SHOW.SFB");
  edit->clear();
  QTest::keyClicks(edit, QStringLiteral("ABCDEFGH.SFBXYZ"));
  EXPECT_EQ(dialog.name(), "ABCDEFGH.SFB");
  child<QPushButton>(&dialog, "cancelButton")->click();
  EXPECT_EQ(dialog.result(), kFlashNameCancel);

  std::string name = "OLD.SFB";
  QTimer::singleShot(0, [] {
    QWidget* prompt = QApplication::activeModalWidget();
    ASSERT_NE(prompt, nullptr);
    auto* field = prompt->findChild<QLineEdit*>(QStringLiteral("id1212"));
    field->setText(QStringLiteral("NEW.SFB"));
    prompt->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
  });
  EXPECT_EQ(prompt_flash_name(app_, nullptr, name), kFlashNameOk);
  EXPECT_EQ(name, "NEW.SFB");
}

TEST_F(OptionsGui, About_ShowsTheVersionRecord) {
  AboutDialog dialog(nullptr);
  EXPECT_EQ(dialog.windowTitle(), " About");
  EXPECT_EQ(child<QLabel>(&dialog, "id1333")->text(), "QuadrimonControl");
  EXPECT_EQ(child<QLabel>(&dialog, "id1332")->text(), "The QuadrimonControl developers");
  EXPECT_EQ(child<QLabel>(&dialog, "id1334")->text(), "Version " QM_VERSION);
  EXPECT_EQ(child<QPushButton>(&dialog, "id1063")->text(), "https://quadrimon.example/");
}

TEST_F(OptionsGui, Screenshot_Options) {
  QM_SKIP_UNLESS_SCREENSHOTS();
  OptionsDialog dialog(app_, nullptr);
  test::save_screenshot(dialog, "options.png");
}

TEST_F(OptionsGui, Screenshot_LogViewer) {
  QM_SKIP_UNLESS_SCREENSHOTS();
  std::string text;
  for (int i = 0; i < 40; ++i)
    text += "Tx> 2024-05-01 12:00:00.123 07 00 23 01 2F\n";
  const auto path =
      write_file("quadrimon.log", std::vector<std::uint8_t>(text.begin(), text.end()));
  LogViewerDialog dialog(app_, path, nullptr);
  test::save_screenshot(dialog, "log_viewer.png");
}

TEST_F(OptionsGui, Screenshot_About) {
  QM_SKIP_UNLESS_SCREENSHOTS();
  AboutDialog dialog(nullptr);
  test::save_screenshot(dialog, "about.png");
}

TEST_F(OptionsGui, Screenshot_Decode) {
  QM_SKIP_UNLESS_SCREENSHOTS();
  const auto path = write_file("show.sfb", kExample);
  DecodeDialog dialog(app_.ui, 50, nullptr, QString::fromStdString(path.string()));
  test::save_screenshot(dialog, "decode.png");
}

TEST_F(OptionsGui, Screenshot_FlashName) {
  QM_SKIP_UNLESS_SCREENSHOTS();
  FlashNameDialog dialog(app_, nullptr, QStringLiteral("SHOW.SFB"));
  test::save_screenshot(dialog, "flash_name.png");
}

}  // namespace
}  // namespace qm
