// The sequence editor on the offscreen platform: loading with tab expansion, saving with the
// backup and a failed save, the size limit, the Tab keys, a text held in memory, and the main
// window opening the editor at a line.
#include "editor/editor_window.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTimer>
#include <fstream>
#include <sstream>

#include "gui/gui_rig.h"
#include "gui/screenshot.h"
#include "ids.h"
#include "shell/main_window.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

class EditorTest : public GuiRig {
 protected:
  fs::path write(const std::string& name, const std::string& text) {
    std::ofstream(folder_ / name, std::ios::binary) << text;
    return folder_ / name;
  }
  std::string read(const std::string& name) {
    std::ifstream in(folder_ / name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static QString part(EditorWindow& w, const char* name) {
    return w.findChild<QLabel*>(QString::fromLatin1(name))->text();
  }
  // Puts the caret on a line (from 0) at a column (from 0).
  static void caret(EditorWindow& w, int line, int column) {
    QTextCursor c(w.text_edit()->document()->findBlockByNumber(line));
    c.setPosition(c.position() + column);
    w.text_edit()->setTextCursor(c);
  }
  static int column(EditorWindow& w) { return w.text_edit()->textCursor().positionInBlock(); }
  static QString text(EditorWindow& w) { return w.text_edit()->toPlainText(); }
  static void tab(EditorWindow& w) { QTest::keyClick(w.text_edit(), Qt::Key_Tab); }
  static void shift_tab(EditorWindow& w) {
    QTest::keyClick(w.text_edit(), Qt::Key_Backtab, Qt::ShiftModifier);
  }
};

TEST_F(EditorTest, Load_ExpandsTabsLeavesTheTextUnmodifiedAndSavesBlanksWithABackup) {
  const fs::path path = write("A.SEQ", "A\tB\r\n\tC\r\n");
  write("A.bak", "older backup");
  EditorRequest request{0, path.string(), std::nullopt, 0};
  EditorWindow w(app_.editor_services(), request, nullptr);
  ASSERT_FALSE(w.ended());
  EXPECT_EQ(text(w), "A       B\n        C\n");
  EXPECT_FALSE(w.text_edit()->document()->isModified());
  EXPECT_EQ(w.windowTitle(), QString::fromStdString("Edit: " + path.string()));
  EXPECT_EQ(part(w, "modePart"), " INS");
  EXPECT_EQ(part(w, "rowPart"), " Row: 1");
  EXPECT_EQ(part(w, "colPart"), " Col: 1");
  for (int id : {ids::kEdNew, ids::kEdOpen, ids::kEdSave, ids::kEdSaveAs})
    EXPECT_TRUE(w.command(id)->isEnabled()) << id;
  EXPECT_TRUE(w.command(ids::kEdPrintSize8 + 1)->isChecked());  // 10 points at start

  caret(w, 1, 8);
  EXPECT_EQ(part(w, "rowPart"), " Row: 2");
  EXPECT_EQ(part(w, "colPart"), " Col: 9");
  w.text_edit()->insertPlainText(QStringLiteral("D"));
  ui_.answer({BoxAnswer::Yes});
  w.run_command(ids::kEdSave);
  EXPECT_EQ(read("A.SEQ"), "A       B\r\n        DC\r\n");
  EXPECT_EQ(read("A.bak"), "A\tB\r\n\tC\r\n");
  EXPECT_FALSE(w.text_edit()->document()->isModified());
  EXPECT_EQ(ui_.calls(), std::vector<std::string>{"box: Sequence Edit|Save changes to file: \n" +
                                                  path.string()});
}

TEST_F(EditorTest, Save_ABakFileGetsNoBackup) {
  const fs::path path = write("X.BAK", "old\n");
  EditorRequest request{0, path.string(), std::nullopt, 0};
  EditorWindow w(app_.editor_services(), request, nullptr);
  w.text_edit()->insertPlainText(QStringLiteral("new "));
  ui_.answer({BoxAnswer::Yes});
  w.run_command(ids::kEdSave);
  EXPECT_EQ(read("X.BAK"), "new old\n");  // a file with LF line ends keeps them
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

TEST_F(EditorTest, Save_FailureShowsWhyKeepsTheOldFileTheModifiedFlagAndTheEditor) {
  const fs::path path = write("B.seq", "old\r\n");
  fs::create_directories(folder_ / "B.bak" / "in the way");
  EditorRequest request{0, path.string(), std::nullopt, 0};
  EditorWindow w(app_.editor_services(), request, nullptr);
  w.show();
  w.text_edit()->insertPlainText(QStringLiteral("new "));
  ui_.answer({BoxAnswer::Yes});
  w.run_command(ids::kEdExit);
  EXPECT_TRUE(w.isVisible());
  EXPECT_TRUE(w.text_edit()->document()->isModified());
  EXPECT_EQ(read("B.seq"), "old\r\n");
  ASSERT_EQ(ui_.calls().size(), 2u);
  EXPECT_EQ(ui_.calls()[1].rfind("box: Sequence Edit|Can't save file " + path.string() + ":\n", 0),
            0u);
  // Not saving closes it.
  ui_.answer({BoxAnswer::No});
  w.run_command(ids::kEdExit);
  EXPECT_FALSE(w.isVisible());
}

TEST_F(EditorTest, Load_AFileOverTheLimitEndsTheEditor) {
  const fs::path path = write("big.seq", std::string(32000, 'x'));
  EditorRequest request{0, path.string(), std::nullopt, 0};
  EditorWindow w(app_.editor_services(), request, nullptr);
  EXPECT_TRUE(w.ended());
  EXPECT_EQ(ui_.calls(), std::vector<std::string>{"box: Sequence Edit|File " + path.string() +
                                                  " is too big to edit"});
}

TEST_F(EditorTest, TabKey_InsertsAndMovesToFourColumnStops) {
  EditorRequest request;
  EditorWindow w(app_.editor_services(), request, nullptr);
  w.show();
  w.text_edit()->setPlainText(QStringLiteral("abcdefgh\nxy"));
  caret(w, 0, 6);
  tab(w);
  EXPECT_EQ(text(w), "abcdef  gh\nxy");
  EXPECT_EQ(column(w), 8);
  caret(w, 0, 6);
  shift_tab(w);
  EXPECT_EQ(column(w), 4);
  caret(w, 0, 8);
  shift_tab(w);
  EXPECT_EQ(column(w), 4);
  caret(w, 0, 2);
  shift_tab(w);
  EXPECT_EQ(column(w), 0);

  // Overwrite mode moves the caret, but not past the end of the line.
  QTest::keyClick(w.text_edit(), Qt::Key_Insert);
  EXPECT_EQ(part(w, "modePart"), " OVR");
  caret(w, 0, 5);
  tab(w);
  EXPECT_EQ(column(w), 8);
  caret(w, 1, 1);
  tab(w);
  EXPECT_EQ(column(w), 1);
  EXPECT_EQ(text(w), "abcdef  gh\nxy");
  QTest::keyClick(w.text_edit(), Qt::Key_Insert);
  EXPECT_EQ(part(w, "modePart"), " INS");
}

TEST_F(EditorTest, TabKey_IndentsAndOutdentsABlockOfLines) {
  EditorRequest request;
  EditorWindow w(app_.editor_services(), request, nullptr);
  w.show();
  w.text_edit()->setPlainText(QStringLiteral("      a\n  b\n        c\nd"));
  // From inside the first line to the very start of the fourth: three lines.
  QTextCursor c(w.text_edit()->document());
  c.setPosition(3);
  c.setPosition(w.text_edit()->document()->findBlockByNumber(3).position(),
                QTextCursor::KeepAnchor);
  w.text_edit()->setTextCursor(c);
  shift_tab(w);
  EXPECT_EQ(text(w), "    a\nb\n      c\nd");
  EXPECT_EQ(w.text_edit()->textCursor().selectedText(),
            QStringLiteral("    a\u2029b\u2029      c\u2029"));
  // "b" is now shorter than 3 characters: nothing changes.
  shift_tab(w);
  EXPECT_EQ(text(w), "    a\nb\n      c\nd");
  tab(w);
  EXPECT_EQ(text(w), "        a\n    b\n          c\nd");
  // One undo takes back the whole indent.
  w.run_command(ids::kEdUndo);
  EXPECT_EQ(text(w), "    a\nb\n      c\nd");
}

TEST_F(EditorTest, MemoryText_NoDownloadsNothingCancelStaysAndALaterYesWritesBack) {
  EditorRequest request{1, "SHOW.TXT", std::string("one\r\ntwo\r\n"), 0};
  {
    EditorWindow w(app_.editor_services(), request, nullptr);
    for (int id : {ids::kEdNew, ids::kEdOpen, ids::kEdSave, ids::kEdSaveAs})
      EXPECT_FALSE(w.command(id)->isEnabled()) << id;
    w.show();
    w.text_edit()->insertPlainText(QStringLiteral("zero "));
    ui_.answer({BoxAnswer::No});
    w.run_command(ids::kEdExit);
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(request.text);
  }
  request.text = "one\r\ntwo\r\n";
  {
    EditorWindow w(app_.editor_services(), request, nullptr);
    w.show();
    w.text_edit()->insertPlainText(QStringLiteral("zero "));
    ui_.answer({BoxAnswer::Cancel});
    w.reject();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(request.text, "one\r\ntwo\r\n");
    ui_.answer({BoxAnswer::Yes});
    w.reject();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(request.text, "zero one\r\ntwo\r\n");
  }
  EXPECT_EQ(ui_.calls().back(), "box: Sequence Edit|Save changes to file: \nSHOW.TXT");
  // Unchanged: nothing to download, and no question.
  ui_.clear();
  {
    EditorWindow w(app_.editor_services(), request, nullptr);
    w.show();
    w.reject();
  }
  EXPECT_FALSE(request.text);
  EXPECT_TRUE(ui_.calls().empty());
  // Without a text the editor does not open.
  EditorWindow none(app_.editor_services(), request, nullptr);
  EXPECT_TRUE(none.ended());
}

TEST_F(EditorTest, Line_TheRequestedLineIsSelectedAndGoToLinePutsTheCaretThere) {
  const fs::path path = write("lines.seq", "first\r\nsecond\r\nthird\r\n");
  EditorRequest request{0, path.string(), std::nullopt, 2};
  EditorWindow w(app_.editor_services(), request, nullptr);
  EXPECT_EQ(w.text_edit()->textCursor().selectedText(), "second");
  EXPECT_EQ(part(w, "rowPart"), " Row: 2");
  // Goto Line through its dialog.
  QTimer poll;
  poll.setInterval(10);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget* go_to = QApplication::activeModalWidget();
    if (go_to == nullptr || go_to == &w) return;
    go_to->findChild<QLineEdit*>(QStringLiteral("lineNumberField"))->setText(QStringLiteral("3"));
    go_to->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
  });
  poll.start();
  w.run_command(ids::kEdGotoLine);
  poll.stop();
  EXPECT_FALSE(w.text_edit()->textCursor().hasSelection());
  EXPECT_EQ(w.text_edit()->textCursor().blockNumber(), 2);
  EXPECT_EQ(w.text_edit()->textCursor().positionInBlock(), 0);
}

// The status parts keep their widths as minimums and widen to show their whole text in the
// font the editor runs with, however large.
TEST_F(EditorTest, StatusBar_PartsShowTheirWholeTextInALargeFont) {
  EditorRequest request{0, std::string(), std::nullopt, 0};
  EditorWindow w(app_.editor_services(), request, nullptr);
  auto* mode = w.findChild<QLabel*>(QStringLiteral("modePart"));
  EXPECT_GE(mode->minimumWidth(), 30);
  QFont large = mode->font();
  large.setPointSize(large.pointSize() * 2);
  mode->parentWidget()->setFont(large);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  QTest::keyClick(w.text_edit(), Qt::Key_Insert);
  EXPECT_EQ(part(w, "modePart"), " OVR");
  for (const char* name : {"modePart", "rowPart", "colPart"}) {
    auto* label = w.findChild<QLabel*>(QString::fromLatin1(name));
    const QFontMetrics metrics(label->font());
    // The text starts half an "x" in from the frame.
    const int needed =
        metrics.horizontalAdvance(label->text()) + metrics.horizontalAdvance(QLatin1Char('x')) / 2;
    EXPECT_TRUE(QTest::qWaitFor([&] { return label->contentsRect().width() >= needed; }, 2000))
        << name << ": " << label->contentsRect().width() << " < " << needed;
  }
}

// Print Preview and Export to PDF give paper or a file where no printer is installed; both lay
// out the same pages as Print.
TEST_F(EditorTest, PreviewAndExport_ShowAndWriteTheSamePages) {
  std::string lines;
  for (int i = 1; i <= 200; ++i)
    lines += "SEND " + std::to_string(i) + "\r\n";
  const fs::path path = write("long.seq", lines);
  EditorRequest request{0, path.string(), std::nullopt, 0};
  EditorWindow w(app_.editor_services(), request, nullptr);
  EXPECT_EQ(w.command(ids::kEdPreview)->text().remove('&'), "Print Preview");
  EXPECT_EQ(w.command(ids::kEdExportPdf)->text().remove('&'),
            QString::fromUtf8("Export to PDF\u2026"));

  int previewed = 0;
  QTimer::singleShot(0, [&] {
    auto* preview = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(preview, nullptr);
    auto* pages = preview->findChild<QPrintPreviewWidget*>();
    ASSERT_NE(pages, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return pages->pageCount() > 0; }, 5000));
    previewed = pages->pageCount();
    preview->reject();
  });
  w.run_command(ids::kEdPreview);

  // The file chooser suggests the text's name with ".pdf".
  QString suggested;
  QTimer::singleShot(0, [&] {
    auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(chooser, nullptr);
    suggested = chooser->selectedFiles().value(0);
    static_cast<QDialog*>(chooser)->accept();
  });
  w.run_command(ids::kEdExportPdf);
  EXPECT_EQ(QFileInfo(suggested).fileName(), "long.pdf");
  QFile pdf(QString::fromStdString((folder_ / "long.pdf").string()));
  ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
  const QByteArray bytes = pdf.readAll();
  EXPECT_TRUE(bytes.startsWith("%PDF"));
  const auto written = QString::fromLatin1(bytes).count(
      QRegularExpression(QStringLiteral("/Type\\s*/Page(?![a-zA-Z])")));
  EXPECT_GE(previewed, 2);
  EXPECT_EQ(written, previewed);
  EXPECT_TRUE(ui_.calls().empty());
}

TEST_F(EditorTest, MainWindow_OpensTheEditorAtTheLineAndRestoresTheCurrentFolder) {
  const fs::path path = write("err.seq", "one\r\ntwo\r\nthree\r\n");
  MainWindow main(Settings(folder_ / "Quadrimon", folder_ / "program"), false);
  const QString before = QDir::currentPath();
  QString selected;
  QString title;
  QTimer poll;
  poll.setInterval(10);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* editor = qobject_cast<EditorWindow*>(QApplication::activeModalWidget());
    if (editor == nullptr) return;
    selected = editor->text_edit()->textCursor().selectedText();
    title = editor->windowTitle();
    QDir::setCurrent(QString::fromStdString(folder_.string()));
    editor->reject();
  });
  poll.start();
  main.edit_sequence_file(path.string(), 3);
  poll.stop();
  EXPECT_EQ(selected, "three");
  EXPECT_EQ(title, QString::fromStdString("Edit: " + path.string()));
  EXPECT_EQ(QDir::currentPath(), before);
}

TEST_F(EditorTest, Screenshot_EditorWindow) {
  QM_SKIP_UNLESS_SCREENSHOTS();
  const fs::path path = write("show.seq",
                              "; Opening sequence\r\nINCLUDE \"std.inc\"\r\n\r\nLABEL start\r\n"
                              "    SELECT 1\r\n\tINPUT 2, 3\r\n    WAIT 0:00:02.10\r\n"
                              "    REPEAT 4\r\n        NEXT\r\n    GOTO start\r\n");
  EditorRequest request{0, path.string(), std::nullopt, 6};
  EditorWindow w(app_.editor_services(), request, nullptr);
  w.show();
  QTest::qWait(50);
  save_screenshot(w, "EditorWindow.png");
}

}  // namespace
}  // namespace qm::test
