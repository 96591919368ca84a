// The editor's helper dialogs: Find / Replace, Go to, printing and the highlighter.
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>

#include "editor/editor_parts_dialog.h"
#include "editor/find_replace_dialog.h"
#include "editor/goto_dialog.h"
#include "editor/printing_dialog.h"
#include "editor/sequence_highlighter_widget.h"
#include "gui/gui_rig.h"
#include "gui/screenshot.h"
#include "shell/operator_ui_widget.h"

namespace qm {
namespace {

class EditorPartsGui : public test::GuiRig {
 protected:
  EditorPartsGui() { editor_.setPlainText(QStringLiteral("SEND 1\nsend 2\nWAIT 3\nsend 4\n")); }

  FindReplaceDialog* open_dialog() {
    auto* dialog = qobject_cast<FindReplaceDialog*>(
        open_find_replace(app_.editor_services(), &editor_, &owner_));
    EXPECT_NE(dialog, nullptr);
    return dialog;
  }
  void select(int begin, int end) {
    QTextCursor cursor = editor_.textCursor();
    cursor.setPosition(begin);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    editor_.setTextCursor(cursor);
  }

  QString path(const std::string& name) const {
    return QString::fromStdString((folder_ / name).string());
  }
  static QByteArray file_bytes(const QString& file) {
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
  }
  // The pages of a PDF file: its page objects ("/Type /Page", not the "/Type /Pages" tree).
  static int page_objects(const QByteArray& pdf) {
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![a-zA-Z])"));
    return static_cast<int>(QString::fromLatin1(pdf).count(page));
  }
  // The text of a PDF file as pdftotext reads it.
  static QString pdf_text(const QString& file) {
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {file, QStringLiteral("-")});
    EXPECT_TRUE(pdftotext.waitForFinished(30000));
    return QString::fromUtf8(pdftotext.readAllStandardOutput());
  }

  QWidget owner_;
  QPlainTextEdit editor_{&owner_};
};

TEST_F(EditorPartsGui, FindReplace_ShowsTheRememberedTextsAndOptions) {
  app_.editor.find_text = "WAIT";
  app_.editor.replace_text = "SEND";
  app_.editor.whole_word = true;
  app_.editor.selection_only = true;
  FindReplaceDialog* dialog = open_dialog();
  EXPECT_EQ(dialog->objectName(), "dialog172");
  EXPECT_EQ(dialog->windowTitle(), " Find / Replace");
  EXPECT_FALSE(dialog->isModal());
  EXPECT_EQ(child<QLineEdit>(dialog, "id1289")->text(), "WAIT");
  EXPECT_EQ(child<QLineEdit>(dialog, "id1289")->maxLength(), 79);
  EXPECT_EQ(child<QLineEdit>(dialog, "id1247")->text(), "SEND");
  EXPECT_FALSE(child<QCheckBox>(dialog, "id1287")->isChecked());
  EXPECT_TRUE(child<QCheckBox>(dialog, "id1286")->isChecked());
  EXPECT_TRUE(child<QRadioButton>(dialog, "id1290")->isChecked());
  EXPECT_EQ(child<QPushButton>(dialog, "id1330")->text().remove('&'), " Find next");
  EXPECT_EQ(child<QPushButton>(dialog, "id4")->text().remove('&'), "Replace All");
  // A second opening brings back the same dialog; the options change at once.
  EXPECT_EQ(open_find_replace(app_.editor_services(), &editor_, &owner_), dialog);
  child<QCheckBox>(dialog, "id1287")->click();
  child<QRadioButton>(dialog, "id1291")->click();
  EXPECT_TRUE(app_.editor.match_case);
  EXPECT_FALSE(app_.editor.selection_only);
}

TEST_F(EditorPartsGui, FindNext_SelectsEachMatchThenSaysItCannotFindMore) {
  FindReplaceDialog* dialog = open_dialog();
  child<QLineEdit>(dialog, "id1289")->setText("send");
  child<QCheckBox>(dialog, "id1287")->setChecked(true);
  auto* find = child<QPushButton>(dialog, "id1330");
  find->click();
  EXPECT_EQ(editor_.textCursor().selectionStart(), 7);
  find->click();
  EXPECT_EQ(editor_.textCursor().selectionStart(), 21);
  EXPECT_EQ(editor_.textCursor().selectedText(), "send");
  EXPECT_TRUE(ui_.calls().empty());
  find->click();
  EXPECT_EQ(ui_.calls(), std::vector<std::string>{"box: Find|Can't find send\n"});
  EXPECT_EQ(app_.editor.find_text, "send");
  // F3 searches again from the selection with the remembered text.
  select(0, 0);
  find_next(app_.editor_services(), &editor_);
  EXPECT_EQ(editor_.textCursor().selectionStart(), 7);
}

// Over the modal editor, the box that says nothing was found belongs to Find / Replace: when
// it closes the operator is back there, above the editor, and what is typed next goes to the
// find text instead of over the editor's text.
TEST_F(EditorPartsGui, FindNext_NothingFound_FindReplaceOwnsTheBoxAndKeepsTheKeys) {
  QtOperatorUi operator_ui(&owner_);
  const EditorServices services{operator_ui, app_.editor, {}, {}};
  owner_.setWindowModality(Qt::ApplicationModal);  // as the editor is
  owner_.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&owner_));
  auto* dialog = qobject_cast<FindReplaceDialog*>(open_find_replace(services, &editor_, &owner_));
  ASSERT_NE(dialog, nullptr);
  dialog->activateWindow();  // as the window system does with a new window
  ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == dialog; }));
  child<QLineEdit>(dialog, "id1289")->setText("missing");

  QWidget* box_owner = nullptr;
  QString said;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    box_owner = box->parentWidget();
    said = box->text();
    box->button(QMessageBox::Ok)->click();
  });
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);  // " Find next" is the default
  EXPECT_TRUE(said.startsWith("Can't find missing")) << said.toStdString();
  EXPECT_EQ(box_owner, dialog);

  ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == dialog; }));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(QApplication::focusWidget(), "WAIT");
  EXPECT_EQ(child<QLineEdit>(dialog, "id1289")->text(), "WAIT");
  EXPECT_EQ(editor_.toPlainText(), "SEND 1\nsend 2\nWAIT 3\nsend 4\n");
}

TEST_F(EditorPartsGui, Replace_ReplacesTheSelectionAndSelectsTheNextMatch) {
  app_.editor.find_text = "send";
  app_.editor.replace_text = "OUTPUT";
  FindReplaceDialog* dialog = open_dialog();
  select(7, 11);
  child<QPushButton>(dialog, "id3")->click();
  EXPECT_EQ(editor_.toPlainText(), "SEND 1\nOUTPUT 2\nWAIT 3\nsend 4\n");
  EXPECT_EQ(editor_.textCursor().selectionStart(), 23);
  editor_.undo();
  EXPECT_EQ(editor_.toPlainText(), "SEND 1\nsend 2\nWAIT 3\nsend 4\n");
}

TEST_F(EditorPartsGui, ReplaceAll_InTheSelectionOnlyOrTheWholeDocument) {
  FindReplaceDialog* dialog = open_dialog();
  child<QLineEdit>(dialog, "id1289")->setText("send");
  child<QLineEdit>(dialog, "id1247")->setText("GET");
  child<QRadioButton>(dialog, "id1290")->click();
  // Lines 1 and 2 only: the last "send" stays.
  select(0, 14);
  child<QPushButton>(dialog, "id4")->click();
  EXPECT_EQ(editor_.toPlainText(), "GET 1\nGET 2\nWAIT 3\nsend 4\n");
  // A selection no longer than the find text changes nothing.
  select(19, 23);
  child<QPushButton>(dialog, "id4")->click();
  EXPECT_EQ(editor_.toPlainText(), "GET 1\nGET 2\nWAIT 3\nsend 4\n");
  // One undo step takes back the whole replacement.
  editor_.undo();
  EXPECT_EQ(editor_.toPlainText(), "SEND 1\nsend 2\nWAIT 3\nsend 4\n");
  child<QRadioButton>(dialog, "id1291")->click();
  child<QPushButton>(dialog, "id4")->click();
  EXPECT_EQ(editor_.toPlainText(), "GET 1\nGET 2\nWAIT 3\nGET 4\n");
  EXPECT_EQ(app_.editor.replace_text, "GET");
}

TEST_F(EditorPartsGui, GoTo_ReturnsTheLineOrNothingForCancel) {
  GotoDialog dialog(nullptr, 3);
  EXPECT_EQ(dialog.objectName(), "dialog171");
  EXPECT_EQ(dialog.windowTitle(), " Go to");
  auto* field = child<QLineEdit>(&dialog, "lineNumberField");
  EXPECT_EQ(field->text(), "3");
  EXPECT_EQ(field->maxLength(), 5);
  field->setText("0");
  EXPECT_EQ(dialog.line(), std::nullopt);

  // Through the modal dialog: type a number and press OK, or Cancel.
  const auto answer = [](const QString& text, const char* button) {
    QTimer::singleShot(0, [text, button] {
      QWidget* modal = QApplication::activeModalWidget();
      ASSERT_NE(modal, nullptr);
      child<QLineEdit>(modal, "lineNumberField")->setText(text);
      child<QPushButton>(modal, button)->click();
    });
  };
  answer("12", "okButton");
  EXPECT_EQ(ask_line_number(nullptr, 1, 40), 12);
  answer("99999", "okButton");
  EXPECT_EQ(ask_line_number(nullptr, 1, 40), 40);
  answer("12", "cancelButton");
  EXPECT_EQ(ask_line_number(nullptr, 1, 40), std::nullopt);
}

// --- Printing ---------------------------------------------------------------------------

TEST_F(EditorPartsGui, ExportPdf_WritesNamedNumberedPagesAtTheChosenSize) {
  QString text;
  for (int i = 1; i <= 150; ++i)
    text += QStringLiteral("SEND %1 ; line %1\n").arg(i);
  const QString pdf = path("out.pdf");
  app_.editor.print_points = 12;
  EXPECT_EQ(export_pdf(app_.editor_services(), &owner_, QStringLiteral("/shows/long_show.seq"),
                       text, pdf),
            kPrintDone);
  EXPECT_TRUE(owner_.isEnabled());
  EXPECT_TRUE(ui_.calls().empty());

  const QByteArray bytes = file_bytes(pdf);
  EXPECT_TRUE(bytes.startsWith("%PDF"));
  const int pages_at_12 = page_objects(bytes);
  EXPECT_GE(pages_at_12, 3);
  // Every page carries the name and its number; the text runs to its last line.
  const QString printed = pdf_text(pdf);
  EXPECT_EQ(printed.count("/shows/long_show.seq"), pages_at_12);
  EXPECT_TRUE(printed.contains(QStringLiteral("Page %1").arg(pages_at_12)));
  EXPECT_FALSE(printed.contains(QStringLiteral("Page %1").arg(pages_at_12 + 1)));
  EXPECT_TRUE(printed.contains("SEND 150 ; line 150"));

  // The same text at 8 points needs fewer pages; a single line one page.
  app_.editor.print_points = 8;
  EXPECT_EQ(export_pdf(app_.editor_services(), &owner_, QStringLiteral("/shows/long_show.seq"),
                       text, pdf),
            kPrintDone);
  EXPECT_LT(page_objects(file_bytes(pdf)), pages_at_12);
  EXPECT_EQ(export_pdf(app_.editor_services(), &owner_, QStringLiteral("a.seq"),
                       QStringLiteral("SEND 1\n"), pdf),
            kPrintDone);
  EXPECT_EQ(page_objects(file_bytes(pdf)), 1);
}

TEST_F(EditorPartsGui, ExportPdf_ReportsAFileThatCannotBeWritten) {
  EXPECT_EQ(export_pdf(app_.editor_services(), &owner_, QStringLiteral("a.seq"),
                       QStringLiteral("SEND 1\n"), path("missing/out.pdf")),
            kPrintFailed);
  EXPECT_EQ(ui_.calls(), std::vector<std::string>{"box: Print|Print error at start of document"});
  EXPECT_TRUE(owner_.isEnabled());
}

// " Printing" belongs to the window that prints, even when that window is modal: it stands
// above it, and its Cancel answers the mouse and stops after the page being printed.
TEST_F(EditorPartsGui, Printing_StandsOverTheModalEditorAndItsCancelStops) {
  QString text;
  for (int i = 1; i <= 1000; ++i)
    text += QStringLiteral("SEND %1\n").arg(i);
  owner_.setWindowModality(Qt::ApplicationModal);  // as the editor is
  owner_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner_));
  QWidget* progress_owner = nullptr;
  QTimer::singleShot(0, [&] {
    auto* printing = qobject_cast<PrintingDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(printing, nullptr);
    EXPECT_EQ(printing->windowTitle(), " Printing");
    progress_owner = printing->parentWidget();
    QTest::mouseClick(child<QPushButton>(printing, "id2"), Qt::LeftButton);
  });
  EXPECT_EQ(export_pdf(app_.editor_services(), &owner_, QStringLiteral("a.seq"), text,
                       path("cancelled.pdf")),
            kPrintCancelled);
  EXPECT_EQ(progress_owner, &owner_);
  EXPECT_TRUE(owner_.findChildren<PrintingDialog*>().isEmpty());  // gone with the printing
}

TEST_F(EditorPartsGui, Highlighter_ColoursCommandsNumbersStringsAndComments) {
  editor_.setPlainText(QStringLiteral("send 0x1F \"; no comment\" ?2 00:00:10 SENDER ; a note"));
  highlight_sequence(&editor_);
  highlight_sequence(&editor_);  // once is enough
  EXPECT_EQ(editor_.document()->findChildren<SequenceHighlighter*>().size(), 1);

  const QTextBlock block = editor_.document()->firstBlock();
  const auto formats = block.layout()->formats();
  const auto colour_at = [&](int position) {
    for (const auto& range : formats)
      if (position >= range.start && position < range.start + range.length)
        return range.format.foreground().color();
    return QColor();
  };
  const QString line = block.text();
  EXPECT_EQ(colour_at(0), SequenceHighlighter::command_format().foreground().color());
  EXPECT_EQ(colour_at(6), SequenceHighlighter::number_format().foreground().color());
  EXPECT_EQ(colour_at(static_cast<int>(line.indexOf("; no"))),
            SequenceHighlighter::string_format().foreground().color());
  EXPECT_EQ(colour_at(static_cast<int>(line.indexOf("?2"))),
            SequenceHighlighter::parameter_format().foreground().color());
  EXPECT_EQ(colour_at(static_cast<int>(line.indexOf("00:00:10") + 6)),
            SequenceHighlighter::number_format().foreground().color());
  EXPECT_FALSE(colour_at(static_cast<int>(line.indexOf("SENDER"))).isValid());
  EXPECT_EQ(colour_at(static_cast<int>(line.indexOf("; a note") + 3)),
            SequenceHighlighter::comment_format().foreground().color());
}

TEST_F(EditorPartsGui, Screenshot_FindReplaceDialog) {
  QM_SKIP_UNLESS_SCREENSHOTS();
  app_.editor.find_text = "WAIT";
  FindReplaceDialog* dialog = open_dialog();
  ASSERT_NE(dialog, nullptr);
  test::save_screenshot(*dialog, "FindReplaceDialog.png");
}

TEST_F(EditorPartsGui, Screenshot_GotoDialog) {
  QM_SKIP_UNLESS_SCREENSHOTS();
  GotoDialog dialog(nullptr, 12);
  test::save_screenshot(dialog, "GotoDialog.png");
}

}  // namespace
}  // namespace qm
