// The help from the operator's side: F1 in a dialog, in the main window and on a menu, the
// Help menu and the editor's Editor Help open the right address; without the server the page's
// file opens and the status line says so; every window's caption has its section in the page.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <filesystem>
#include <string>
#include <vector>

#include "base/ui_helpers_widget.h"
#include "editor/editor_window.h"
#include "editor/find_replace_dialog.h"
#include "editor/goto_dialog.h"
#include "editor/printing_dialog.h"
#include "flash/firmware_package.h"
#include "flash/key_character_dialog.h"
#include "flash/remote_directory.h"
#include "flash/transfer_progress_dialog.h"
#include "helpserver/help_page.h"
#include "ids.h"
#include "panels/video_input.h"
#include "panels/video_output.h"
#include "shell/help_widget.h"
#include "shell/main_window.h"
#include "support/recording_ui.h"
#include "support/temp_folder.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

// Stands in for the browser: every address the system is asked to open.
class UrlRecorder final : public QObject {
  Q_OBJECT
 public:
  UrlRecorder() {
    QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open");
  }
  ~UrlRecorder() override {
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  }
  std::vector<std::string> opened;
 public Q_SLOTS:
  void open(const QUrl& url) { opened.push_back(url.toString().toStdString()); }
};

class HelpDeskTest : public ::testing::Test {
 protected:
  HelpDeskTest() : folder_("helpgui") {
    fs::create_directories(folder_ / "help");
    write_file_text(folder_ / "help" / "QuadrimonControl.htm", "<p>help</p>");
  }
  // The desk of `main`, recording what it opens; the address is refused when `refuse` is set.
  std::unique_ptr<HelpDesk> desk(QWidget* main, bool start = true) {
    auto d = std::make_unique<HelpDesk>(folder_ / "help", ui_, main, [this](const std::string& a) {
      opened_.push_back(a);
      return !refuse_;
    });
    if (start) d->start(0);
    return d;
  }
  std::string page(const HelpDesk& d, const std::string& anchor = {}) const {
    return "http://127.0.0.1:" + std::to_string(d.server().port()) + "/QuadrimonControl.htm" +
           (anchor.empty() ? "" : "#" + anchor);
  }
  // Presses F1 on a line edit inside a dialog with the caption.
  void press_f1_in_dialog(const QString& caption) {
    QDialog dialog;
    dialog.setWindowTitle(caption);
    auto* edit = new QLineEdit(&dialog);
    dialog.show();
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_F1);
  }

  TempFolder folder_;
  RecordingUi ui_;
  std::vector<std::string> opened_;
  bool refuse_ = false;
};

TEST_F(HelpDeskTest, F1InADialog_OpensTheSectionOfItsCaption) {
  QMainWindow main;
  auto d = desk(&main);
  press_f1_in_dialog(QStringLiteral(" Setup"));
  press_f1_in_dialog(QStringLiteral(" Remote Directory: more words"));
  press_f1_in_dialog(QStringLiteral(" Video Input Settings"));
  // Only the first 39 characters of a caption name the topic.
  press_f1_in_dialog(QString(45, QLatin1Char('x')));
  EXPECT_EQ(opened_, (std::vector<std::string>{page(*d, "Setup"), page(*d, "Remote_Directory"),
                                               page(*d, "Video_Input_Settings"),
                                               page(*d, std::string(39, 'x'))}));
  EXPECT_TRUE(ui_.statuses().empty());
}

TEST_F(HelpDeskTest, F1InTheMainWindowOrOnAMenu_OpensTheTopOfThePageOnce) {
  QMainWindow main;
  auto* edit = new QLineEdit(&main);
  main.setCentralWidget(edit);
  main.setWindowTitle(QStringLiteral("Quadrimon Control"));
  auto d = desk(&main);
  main.show();
  QTest::keyClick(edit, Qt::Key_F1);
  QMenu menu(&main);
  menu.addAction(QStringLiteral("&Setup"));
  menu.popup(QPoint(10, 10));
  QTest::keyClick(&menu, Qt::Key_F1);
  menu.close();
  EXPECT_EQ(opened_, (std::vector<std::string>{page(*d), page(*d)}));
}

TEST_F(HelpDeskTest, ServerOffOrAddressRefused_OpensThePageFileAndSaysWebServerFailed) {
  QMainWindow main;
  const std::string file = (fs::canonical(folder_ / "help") / "QuadrimonControl.htm").string();
  desk(&main, false)->open(" Setup");
  EXPECT_EQ(opened_, (std::vector<std::string>{file}));
  opened_.clear();
  refuse_ = true;
  auto d = desk(&main);
  d->open("Edit");
  EXPECT_EQ(opened_, (std::vector<std::string>{page(*d, "Edit"), file}));
  EXPECT_EQ(ui_.statuses(), (std::vector<std::string>{"Web Server failed", "Web Server failed"}));
  // Stopped, the desk no longer answers F1.
  d->stop();
  opened_.clear();
  press_f1_in_dialog(QStringLiteral(" Setup"));
  EXPECT_TRUE(opened_.empty());
}

// The program itself: the help folder beside it, the Help menu, F1 in Setup and Editor Help.
class MainWindowHelpTest : public ::testing::Test {
 protected:
  MainWindowHelpTest() : folder_("mainhelp") {
    fs::create_directories(folder_ / "Quadrimon");
    fs::create_directories(folder_ / "program" / "help");
    write_file_text(folder_ / "program" / "help" / "QuadrimonControl.htm", "<p>help</p>");
  }
  Settings settings() const { return Settings(folder_ / "Quadrimon", folder_ / "program"); }
  // The address of the page at the anchor, on the port the window's help server has.
  static bool is_page(const std::string& url, const std::string& anchor) {
    const std::string head = "http://127.0.0.1:";
    const std::string tail = "/QuadrimonControl.htm" + (anchor.empty() ? "" : "#" + anchor);
    return url.starts_with(head) && url.ends_with(tail) && url.size() > head.size() + tail.size();
  }

  TempFolder folder_;
  UrlRecorder browser_;
};

TEST_F(MainWindowHelpTest, HelpMenuF1InSetupAndEditorHelp_OpenTheirSections) {
  MainWindow w(settings(), false);
  w.start({});
  ASSERT_TRUE(w.command(ids::kCmdHelp)->isEnabled());
  w.run_command(ids::kCmdHelp);

  QTimer::singleShot(0, [] {
    QWidget* setup = QApplication::activeModalWidget();
    ASSERT_NE(setup, nullptr);
    QTest::keyClick(setup, Qt::Key_F1);
    setup->close();
  });
  w.run_command(ids::kCmdSetup);

  QTimer::singleShot(0, [] {
    auto* editor = qobject_cast<EditorWindow*>(QApplication::activeModalWidget());
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(editor->command(ids::kEdHelp)->isEnabled());
    editor->run_command(ids::kEdHelp);
    editor->close();
  });
  w.run_command(ids::kCmdNew);

  ASSERT_EQ(browser_.opened.size(), 3u);
  EXPECT_TRUE(is_page(browser_.opened[0], "")) << browser_.opened[0];
  EXPECT_TRUE(is_page(browser_.opened[1], "Setup")) << browser_.opened[1];
  EXPECT_TRUE(is_page(browser_.opened[2], "Edit")) << browser_.opened[2];
}

// Every caption a window of the program shows has its section in the help page, named by the
// topic rule; so has the editor's own topic.
TEST(HelpPages, EveryWindowCaptionHasItsAnchor) {
  const std::string page =
      read_file_text(fs::path(QM_RESOURCES_DIR) / "help" / "QuadrimonControl.htm");
  ASSERT_FALSE(page.empty());
  // Captions kept private to their dialogs are written out here.
  const char* captions[] = {
      " Setup",
      " Setup IP",
      "IP Configuration",
      " Version Information",
      " Reset",
      " Program Options",
      " Sequence Keypad",
      " Sequence",
      " Browse file",
      " About",
      " Flash filename",
      "Edit: show.seq",
      " Create Font",
      " Monitor Alignment",
      " Sequence Buttons",
      kTitleVideoInput,
      kTitleVideoOutput,
      kTitleRemoteDirectory,
      kTitleRename,
      kTitleKeyCharacter,
      kTransferTitle,
      kFindReplaceTitle,
      kGotoTitle,
      kPrintingTitle,
      kEditorTitle,
      kFirmwareTitle,
      kSelectFpgaTitle,
      kEditorHelpTopic,
  };
  for (const char* caption : captions) {
    const std::string anchor = help_topic_anchor(caption);
    EXPECT_NE(page.find("id=\"" + anchor + "\""), std::string::npos) << caption;
  }
}

}  // namespace
}  // namespace qm::test

#include "help_test.moc"
