#include "editor/editor_window.h"

#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTextBlock>
#include <QVBoxLayout>

#include "base/path_text.h"
#include "base/paths_widget.h"
#include "base/text_format.h"
#include "base/ui_helpers_widget.h"
#include "editor/editor_parts_dialog.h"
#include "ids.h"

namespace qm {

namespace {

constexpr const char* kFileTitleFormat = "Edit: %s";
constexpr const char* kInsertText = " INS";
constexpr const char* kOverwriteText = " OVR";
constexpr const char* kRowFormat = " Row: %d";
constexpr const char* kColFormat = " Col: %d";
constexpr const char* kFileDialogTitle = "Edit sequence";
constexpr const char* kFileFilters[] = {"Sequence files (*.seq)", "Include files (*.inc)",
                                        "Text files (*.txt)"};
constexpr const char* kDefaultSuffix = "seq";
constexpr const char* kPdfDialogTitle = "Export to PDF";
constexpr const char* kPdfFilter = "PDF files (*.pdf)";
constexpr const char* kFontFamily = "Courier New";
constexpr const char* kFontTwin = "Liberation Mono";  // the same metrics where Courier is missing
constexpr int kFontPoints = 10;
constexpr int kPositionRefreshMs = 1000;
// Right edges of the status bar's parts: mode, row, column; the last takes the rest. The first
// three are at least this wide and widen for a longer text.
constexpr int kStatusEdges[] = {30, 90, 150};
constexpr int kInitialWidth = 720;
constexpr int kInitialHeight = 520;
constexpr int kPrintSizes[] = {8, 10, 12};

// The editor's menu: id, text, shortcut, the menu it stands in.
struct EditorCommand {
  int id;
  const char* text;
  const char* shortcut;
  const char* menu;
};
constexpr EditorCommand kCommands[] = {
    {ids::kEdNew, "&New", "Ctrl+N", "&File"},
    {ids::kEdOpen, "&Open...", "Ctrl+O", "&File"},
    {ids::kEdSave, "&Save", "Ctrl+S", "&File"},
    {ids::kEdSaveAs, "Save &As...", "", "&File"},
    {ids::kEdPrint, "&Print...", "Ctrl+P", "&File"},
    {ids::kEdPreview, "Print Pre&view", "", "&File"},
    {ids::kEdExportPdf, "&Export to PDF\u2026", "", "&File"},
    {ids::kEdPrintSize8, "Print Text Size &8 Point", "", "&File"},
    {ids::kEdPrintSize8 + 1, "Print Text Size 1&0 Point", "", "&File"},
    {ids::kEdPrintSize8 + 2, "Print Text Size 1&2 Point", "", "&File"},
    {ids::kEdExit, "E&xit", "", "&File"},
    {ids::kEdUndo, "&Undo", "Ctrl+Z", "&Edit"},
    {ids::kEdCut, "Cu&t", "Ctrl+X", "&Edit"},
    {ids::kEdCopy, "&Copy", "Ctrl+C", "&Edit"},
    {ids::kEdPaste, "&Paste", "Ctrl+V", "&Edit"},
    {ids::kEdDelete, "De&lete", "Del", "&Edit"},
    {ids::kEdFindReplace, "&Find/Replace...", "Ctrl+F", "&Edit"},
    {ids::kEdGotoLine, "&Goto Line...", "Ctrl+G", "&Edit"},
    {ids::kEdSelectAll, "Select &All", "Ctrl+A", "&Edit"},
    {ids::kCmdAbout, "&About ...", "", "&Help"},
    {ids::kEdHelp, "&Editor Help", "F1", "&Help"},
};
// Commands after which the menu shows a separator.
bool separator_after(int id) {
  return id == ids::kEdSaveAs || id == ids::kEdPrintSize8 + 2 || id == ids::kEdUndo ||
         id == ids::kEdDelete || id == ids::kEdGotoLine;
}
// The file commands, greyed for a text held in memory.
bool file_command(int id) {
  return id == ids::kEdNew || id == ids::kEdOpen || id == ids::kEdSave || id == ids::kEdSaveAs;
}

QString file_filters() {
  QStringList filters;
  for (const char* f : kFileFilters)
    filters << QString::fromLatin1(f);
  return filters.join(QStringLiteral(";;"));
}

// Whether the file's text is coloured as a sequence: sequence and include files, and a new
// text (which is saved as a sequence file by default).
bool is_sequence_text(const std::string& name) {
  const QString suffix = QFileInfo(qstring_from_path_text(name)).suffix().toLower();
  return name.empty() || suffix == QLatin1String("seq") || suffix == QLatin1String("inc");
}

}  // namespace

EditorWindow::EditorWindow(EditorServices services, EditorRequest& request, QWidget* parent)
    : QDialog(parent), services_(std::move(services)), request_(request) {
  setObjectName(dialog_name(ids::kEditorDialog));
  setWindowTitle(QString::fromLatin1(kEditorTitle));
  setSizeGripEnabled(true);

  edit_ = new QPlainTextEdit(this);
  edit_->setObjectName(QStringLiteral("editText"));
  QFont font(QString::fromLatin1(kFontFamily), kFontPoints);
  font.setFamilies({QString::fromLatin1(kFontFamily), QString::fromLatin1(kFontTwin)});
  font.setStyleHint(QFont::TypeWriter);
  edit_->setFont(font);
  edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
  edit_->setTabChangesFocus(false);
  edit_->installEventFilter(this);
  edit_->setContextMenuPolicy(Qt::CustomContextMenu);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  build_menu();
  layout->addWidget(edit_, 1);
  build_status_bar();

  connect(edit_, &QPlainTextEdit::customContextMenuRequested, this,
          [this](const QPoint& at) { edit_menu_->exec(edit_->viewport()->mapToGlobal(at)); });
  connect(edit_, &QPlainTextEdit::cursorPositionChanged, this, &EditorWindow::update_position);
  connect(edit_, &QPlainTextEdit::selectionChanged, this, &EditorWindow::update_position);
  position_timer_.setInterval(kPositionRefreshMs);
  connect(&position_timer_, &QTimer::timeout, this, &EditorWindow::update_position);

  // The text: a text held in memory, a file, or a new empty text.
  if (request_.mode == 1) {
    if (!request_.text) {
      ended_ = true;
      return;
    }
    show_text(*request_.text);
  } else if (!request_.name.empty()) {
    const auto stored = load_text_file(services_.ui, path_from_utf8(request_.name));
    if (!stored) {
      ended_ = true;
      return;
    }
    show_text(*stored);
    set_file_title();
  }
  if (request_.mode == 0 && is_sequence_text(request_.name)) highlight_sequence(edit_);
  for (auto& [id, action] : commands_)
    if (file_command(id)) action->setEnabled(request_.mode == 0);
  if (request_.line > 0) select_line(request_.line);

  resize(kInitialWidth, kInitialHeight);
  edit_->setFocus();
  update_mode();
  update_position();
  position_timer_.start();
}

QAction* EditorWindow::command(int id) const {
  const auto it = commands_.find(id);
  return it == commands_.end() ? nullptr : it->second;
}

void EditorWindow::build_menu() {
  auto* bar = new QMenuBar(this);
  bar->setObjectName(QStringLiteral("menu%1").arg(ids::kEditorMenu));
  layout()->setMenuBar(bar);
  std::map<QString, QMenu*> menus;
  auto* sizes = new QActionGroup(this);
  for (const EditorCommand& c : kCommands) {
    QMenu*& menu = menus[QString::fromLatin1(c.menu)];
    if (menu == nullptr) menu = bar->addMenu(QString::fromLatin1(c.menu));
    if (c.id == ids::kEdExit) menu->addSeparator();
    QAction* action = menu->addAction(QString::fromUtf8(c.text));
    action->setObjectName(control_name(c.id));
    if (*c.shortcut != '\0') action->setShortcut(QKeySequence(QString::fromLatin1(c.shortcut)));
    if (separator_after(c.id)) menu->addSeparator();
    const int id = c.id;
    connect(action, &QAction::triggered, this, [this, id] { run_command(id); });
    commands_[c.id] = action;
  }
  for (int i = 0; i < 3; ++i) {
    QAction* size = command(ids::kEdPrintSize8 + i);
    size->setCheckable(true);
    size->setChecked(services_.state.print_points == kPrintSizes[i]);
    sizes->addAction(size);
  }
  command(ids::kEdHelp)->setEnabled(static_cast<bool>(services_.show_help));
  edit_menu_ = menus[QStringLiteral("&Edit")];
}

void EditorWindow::build_status_bar() {
  auto* bar = new QStatusBar(this);
  bar->setObjectName(control_name(ids::kStatusBar));
  bar->setSizeGripEnabled(false);
  QLabel* parts[4];
  const char* names[] = {"modePart", "rowPart", "colPart", "restPart"};
  for (int i = 0; i < 4; ++i) {
    const QString name = QString::fromLatin1(names[i]);
    if (i < 3) {
      parts[i] = status_part(bar, name, kStatusEdges[i] - (i == 0 ? 0 : kStatusEdges[i - 1]));
    } else {
      parts[i] = new QLabel(bar);
      parts[i]->setObjectName(name);
      parts[i]->setFrameShape(QFrame::Panel);
      parts[i]->setFrameShadow(QFrame::Sunken);
    }
    bar->addWidget(parts[i], i == 3 ? 1 : 0);
  }
  mode_part_ = parts[0];
  row_part_ = parts[1];
  col_part_ = parts[2];
  layout()->addWidget(bar);
}

// --- Text and status ---------------------------------------------------------------------

void EditorWindow::show_text(const std::string& stored) {
  // A text without any line end gets CR LF, as the system's files have.
  crlf_ = uses_crlf(stored) || stored.find('\n') == std::string::npos;
  const std::string shown = to_lf(expand_tabs(stored));
  edit_->setPlainText(QString::fromLatin1(shown.data(), static_cast<qsizetype>(shown.size())));
  edit_->document()->setModified(false);
}

std::string EditorWindow::stored_text() const {
  return with_line_ends(edit_->toPlainText().toLatin1().toStdString(), crlf_);
}

void EditorWindow::set_file_title() {
  setWindowTitle(QString::fromStdString(strprintf(kFileTitleFormat, request_.name.c_str())));
}

void EditorWindow::update_position() {
  const QTextCursor cursor = edit_->textCursor();
  const int start = cursor.selectionStart();
  const QTextBlock block = edit_->document()->findBlock(start);
  row_part_->setText(QString::fromStdString(strprintf(kRowFormat, block.blockNumber() + 1)));
  col_part_->setText(QString::fromStdString(strprintf(kColFormat, start - block.position() + 1)));
}

void EditorWindow::update_mode() {
  mode_part_->setText(QString::fromLatin1(edit_->overwriteMode() ? kOverwriteText : kInsertText));
}

void EditorWindow::select_line(int line) {
  const QTextBlock block = edit_->document()->findBlockByNumber(line - 1);
  if (!block.isValid()) return;
  QTextCursor cursor(block);
  cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
  edit_->setTextCursor(cursor);
  edit_->ensureCursorVisible();
  // Before the window is shown the view has no size yet; scroll again once it has.
  QTimer::singleShot(0, edit_, [edit = edit_] { edit->ensureCursorVisible(); });
}

void EditorWindow::go_to_line(int line) {
  const QTextBlock block = edit_->document()->findBlockByNumber(line - 1);
  if (!block.isValid()) return;
  edit_->setTextCursor(QTextCursor(block));
  edit_->ensureCursorVisible();
}

// --- Keys --------------------------------------------------------------------------------

bool EditorWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched != edit_ || event->type() != QEvent::KeyPress)
    return QDialog::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  switch (key->key()) {
    case Qt::Key_Insert:
      if (key->modifiers() != Qt::NoModifier) break;  // Ctrl+Insert, Shift+Insert: copy, paste
      edit_->setOverwriteMode(!edit_->overwriteMode());
      update_mode();
      return true;
    case Qt::Key_F3:
      if (!services_.state.find_text.empty()) find_next(services_, edit_);
      return true;
    case Qt::Key_Tab:
      tab_key((key->modifiers() & Qt::ShiftModifier) != 0);
      return true;
    case Qt::Key_Backtab:
      tab_key(true);
      return true;
    default:
      break;
  }
  return QDialog::eventFilter(watched, event);
}

void EditorWindow::tab_key(bool shift) {
  QTextDocument* doc = edit_->document();
  QTextCursor cursor = edit_->textCursor();
  const int start = cursor.selectionStart();
  const int end = cursor.selectionEnd();
  const QTextBlock first = doc->findBlock(start);
  const QTextBlock last = doc->findBlock(end);
  const LineRange lines =
      block_lines(first.blockNumber(), last.blockNumber(), end == last.position());

  if (lines.first < lines.last) {
    // A block of lines: indent or outdent each line, then select the whole lines.
    int blanks = 4;
    if (shift) {
      std::vector<std::string> texts;
      for (int n = lines.first; n <= lines.last; ++n)
        texts.push_back(doc->findBlockByNumber(n).text().toStdString());
      blanks = outdent_blanks(texts);
      if (blanks == 0) return;
    }
    QTextCursor editing(doc);
    editing.beginEditBlock();
    for (int n = lines.first; n <= lines.last; ++n) {
      editing.setPosition(doc->findBlockByNumber(n).position());
      if (shift) {
        editing.setPosition(editing.position() + blanks, QTextCursor::KeepAnchor);
        editing.removeSelectedText();
      } else {
        editing.insertText(QString(blanks, QLatin1Char(' ')));
      }
    }
    editing.endEditBlock();
    const QTextBlock after = doc->findBlockByNumber(lines.last + 1);
    QTextCursor selection(doc);
    selection.setPosition(doc->findBlockByNumber(lines.first).position());
    selection.setPosition(after.isValid() ? after.position() : doc->characterCount() - 1,
                          QTextCursor::KeepAnchor);
    edit_->setTextCursor(selection);
    return;
  }

  const int column = start - first.position();
  if (!shift && !edit_->overwriteMode()) {
    cursor.insertText(QString(tab_blanks(column), QLatin1Char(' ')));
    edit_->setTextCursor(cursor);
    return;
  }
  const int line_length = first.length() - 1;
  const int target = shift ? shift_tab_column(column) : tab_overwrite_column(column, line_length);
  cursor.setPosition(first.position() + target);
  edit_->setTextCursor(cursor);
}

// --- Commands ----------------------------------------------------------------------------

void EditorWindow::run_command(int id) {
  switch (id) {
    case ids::kEdNew:
      new_text();
      break;
    case ids::kEdOpen:
      open_file();
      break;
    case ids::kEdSave:
      save_file();
      break;
    case ids::kEdSaveAs:
      save_file_as();
      break;
    case ids::kEdPrint:
      if (!request_.name.empty())
        print_text(services_, this, qstring_from_path_text(request_.name), edit_->toPlainText());
      break;
    case ids::kEdPreview:
      preview_text(services_, this, qstring_from_path_text(request_.name), edit_->toPlainText());
      break;
    case ids::kEdExportPdf:
      export_to_pdf();
      break;
    case ids::kEdPrintSize8:
    case ids::kEdPrintSize8 + 1:
    case ids::kEdPrintSize8 + 2:
      services_.state.print_points = kPrintSizes[id - ids::kEdPrintSize8];
      command(id)->setChecked(true);
      break;
    case ids::kEdExit:
      reject();
      break;
    case ids::kEdUndo:
      edit_->undo();
      break;
    case ids::kEdCut:
      edit_->cut();
      break;
    case ids::kEdCopy:
      edit_->copy();
      break;
    case ids::kEdPaste:
      edit_->paste();  // the plain-text control takes only the text of the clipboard
      break;
    case ids::kEdDelete:
      edit_->textCursor().removeSelectedText();
      break;
    case ids::kEdFindReplace:
      if (find_replace_) {
        find_replace_->raise();
        find_replace_->activateWindow();
      } else {
        find_replace_ = open_find_replace(services_, edit_, this);
      }
      break;
    case ids::kEdGotoLine: {
      const int current = edit_->textCursor().blockNumber() + 1;
      const auto line = ask_line_number(this, current, edit_->document()->blockCount());
      if (line && *line > 0) go_to_line(*line);
      break;
    }
    case ids::kEdSelectAll:
      edit_->selectAll();
      break;
    case ids::kCmdAbout: {
      if (services_.show_about) services_.show_about(this);
      break;
    }
    case ids::kEdHelp:
      if (services_.show_help) services_.show_help();
      break;
    default:
      break;
  }
  edit_->setFocus();
}

SaveResult EditorWindow::save(bool ask) {
  return save_text(services_.ui, request_, stored_text(), edit_->document()->isModified(), ask,
                   [this] { return choose_save_name(); });
}

std::optional<std::string> EditorWindow::choose_save_name() {
  QFileDialog dialog(this, QString::fromLatin1(kFileDialogTitle));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilter(file_filters());
  dialog.setDefaultSuffix(QString::fromLatin1(kDefaultSuffix));
  if (!request_.name.empty()) dialog.selectFile(qstring_from_path_text(request_.name));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return path_text_from_qstring(QDir::toNativeSeparators(dialog.selectedFiles().first()));
}

// Writes the printed pages to a PDF file the operator names: paper without a printer.
void EditorWindow::export_to_pdf() {
  QString suggested;
  if (!request_.name.empty()) {
    const QFileInfo source(qstring_from_path_text(request_.name));
    suggested = source.dir().filePath(source.completeBaseName() + QStringLiteral(".pdf"));
  }
  const QString path = QFileDialog::getSaveFileName(this, QString::fromLatin1(kPdfDialogTitle),
                                                    suggested, QString::fromLatin1(kPdfFilter));
  if (path.isEmpty()) return;
  export_pdf(services_, this, qstring_from_path_text(request_.name), edit_->toPlainText(), path);
}

void EditorWindow::new_text() {
  const SaveResult result = save(true);
  if (result == SaveResult::Cancelled || result == SaveResult::Failed) return;
  request_.name.clear();
  show_text(std::string());
  setWindowTitle(QString::fromLatin1(kEditorTitle));
}

void EditorWindow::open_file() {
  const SaveResult result = save(true);
  if (result == SaveResult::Cancelled || result == SaveResult::Failed) return;
  request_.name.clear();
  const QString path = QFileDialog::getOpenFileName(this, QString::fromLatin1(kFileDialogTitle),
                                                    QString(), file_filters());
  if (path.isEmpty()) return;
  const std::string name = path_text_from_qstring(QFileInfo(path).absoluteFilePath());
  const auto stored = load_text_file(services_.ui, path_from_utf8(name));
  if (!stored) return;
  request_.name = name;
  show_text(*stored);
  set_file_title();
}

void EditorWindow::save_file() {
  const SaveResult result = save(true);
  if (result == SaveResult::Cancelled || result == SaveResult::Failed) return;
  edit_->document()->setModified(false);
  if (!request_.name.empty()) set_file_title();
}

void EditorWindow::save_file_as() {
  const auto name = choose_save_name();
  if (!name) return;
  const std::string previous = request_.name;
  request_.name = *name;
  if (save_text(services_.ui, request_, stored_text(), true, false, nullptr) != SaveResult::Saved) {
    request_.name = previous;
    return;
  }
  set_file_title();
  edit_->document()->setModified(false);
}

void EditorWindow::reject() {
  // A failed save keeps the editor open, so the operator's text is not lost.
  const SaveResult result = save(true);
  if (result == SaveResult::Cancelled || result == SaveResult::Failed) return;
  if (request_.mode == 1 && !edit_->document()->isModified()) request_.text.reset();
  position_timer_.stop();
  QDialog::reject();
}

}  // namespace qm
