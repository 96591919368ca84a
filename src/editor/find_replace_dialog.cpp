#include "editor/find_replace_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextCursor>
#include <QVBoxLayout>

#include "base/text_format.h"
#include "base/ui_helpers_widget.h"
#include "editor/editor_parts_dialog.h"
#include "editor/find_replace.h"
#include "ids.h"

namespace qm {

namespace {

constexpr const char* kFindLabel = "Find:";
constexpr const char* kReplaceLabel = "Replace:";
constexpr const char* kMatchCaseText = " Match case";
constexpr const char* kWholeWordText = " Match whole word";
constexpr const char* kReplaceInText = "Replace in";
constexpr const char* kSelectionOnlyText = "Selection only";
constexpr const char* kWholeDocumentText = "Whole document";
constexpr const char* kFindNextText = " Find next";
constexpr const char* kReplaceText = " Replace";
constexpr const char* kReplaceAllText = "Replace All";
constexpr const char* kCancelText = "Cancel";
constexpr const char* kCantFind = "Can't find %s\n";
constexpr const char* kFindTitle = " Find";

// A text with an '&' before the character at `at`, for keyboard access.
QString with_mnemonic(const char* text, qsizetype at) {
  QString s = QString::fromLatin1(text);
  s.insert(at, QLatin1Char('&'));
  return s;
}

// The editor's text one byte per character, so that positions in it are the document's
// positions. Characters beyond Latin-1 become a control character that no find text holds.
std::string editor_bytes(const QString& text) {
  std::string bytes(static_cast<std::size_t>(text.size()), '\x01');
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (c < 0x100) bytes[static_cast<std::size_t>(i)] = static_cast<char>(c);
  }
  return bytes;
}

QString latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string bytes_of(const QString& text) {
  return text.toLatin1().toStdString();
}

FindOptions options_of(const EditorServices& services) {
  return {services.state.match_case, services.state.whole_word};
}

void select_range(QPlainTextEdit* editor, std::size_t begin, std::size_t end) {
  QTextCursor cursor = editor->textCursor();
  cursor.setPosition(static_cast<int>(begin));
  cursor.setPosition(static_cast<int>(end), QTextCursor::KeepAnchor);
  editor->setTextCursor(cursor);
  editor->ensureCursorVisible();
}

}  // namespace

bool find_in_editor(const EditorServices& services, QPlainTextEdit* editor) {
  const std::string& what = services.state.find_text;
  if (!editor || what.empty()) return false;
  const std::string text = editor_bytes(editor->toPlainText());
  const auto from = static_cast<std::size_t>(editor->textCursor().selectionEnd());
  const auto at = find_forward(text, what, options_of(services), from);
  if (!at) {
    services.ui.message_box(kFindTitle, strprintf(kCantFind, what.c_str()), BoxButtons::Ok,
                            BoxIcon::Error);
    return false;
  }
  select_range(editor, *at, *at + what.size());
  return true;
}

FindReplaceDialog::FindReplaceDialog(const EditorServices& services, QPlainTextEdit* editor,
                                     QWidget* parent)
    : QDialog(parent), services_(services), editor_(editor) {
  setObjectName(dialog_name(ids::kFindReplaceDialog));
  setWindowTitle(QString::fromLatin1(kFindReplaceTitle));
  setModal(false);
  setAttribute(Qt::WA_DeleteOnClose);

  find_field_ = new QLineEdit(latin1(services.state.find_text), this);
  find_field_->setObjectName(control_name(ids::kFindField));
  find_field_->setMaxLength(kMaxFindText);
  find_field_->setMinimumWidth(find_field_->fontMetrics().horizontalAdvance(QString(32, 'M')));
  replace_field_ = new QLineEdit(latin1(services.state.replace_text), this);
  replace_field_->setObjectName(control_name(ids::kReplaceField));
  replace_field_->setMaxLength(kMaxFindText);
  auto* find_label = new QLabel(with_mnemonic(kFindLabel, 0), this);
  find_label->setBuddy(find_field_);
  auto* replace_label = new QLabel(with_mnemonic(kReplaceLabel, 2), this);
  replace_label->setBuddy(replace_field_);

  match_case_ = new QCheckBox(with_mnemonic(kMatchCaseText, 7), this);
  match_case_->setObjectName(control_name(ids::kMatchCaseCheck));
  match_case_->setChecked(services.state.match_case);
  whole_word_ = new QCheckBox(with_mnemonic(kWholeWordText, 7), this);
  whole_word_->setObjectName(control_name(ids::kWholeWordCheck));
  whole_word_->setChecked(services.state.whole_word);

  auto* replace_in = new QGroupBox(QString::fromLatin1(kReplaceInText), this);
  replace_in->setObjectName(QStringLiteral("replaceInGroup"));
  selection_only_ = new QRadioButton(with_mnemonic(kSelectionOnlyText, 0), replace_in);
  selection_only_->setObjectName(control_name(ids::kSelectionOnlyRadio));
  whole_document_ = new QRadioButton(with_mnemonic(kWholeDocumentText, 6), replace_in);
  whole_document_->setObjectName(control_name(ids::kWholeDocumentRadio));
  (services.state.selection_only ? selection_only_ : whole_document_)->setChecked(true);
  auto* replace_in_layout = new QVBoxLayout(replace_in);
  replace_in_layout->addWidget(selection_only_);
  replace_in_layout->addWidget(whole_document_);

  auto* find_next_button = new QPushButton(with_mnemonic(kFindNextText, 6), this);
  find_next_button->setObjectName(control_name(ids::kFindNextButton));
  find_next_button->setDefault(true);
  auto* replace_button = new QPushButton(with_mnemonic(kReplaceText, 1), this);
  replace_button->setObjectName(control_name(ids::kReplaceButton));
  replace_button->setAutoDefault(false);
  auto* replace_all_button = new QPushButton(with_mnemonic(kReplaceAllText, 8), this);
  replace_all_button->setObjectName(control_name(ids::kReplaceAllButton));
  replace_all_button->setAutoDefault(false);
  auto* cancel_button = new QPushButton(QString::fromLatin1(kCancelText), this);
  cancel_button->setObjectName(control_name(ids::kDialogCancelButton));
  cancel_button->setAutoDefault(false);

  auto* fields = new QGridLayout;
  fields->addWidget(find_label, 0, 0);
  fields->addWidget(find_field_, 0, 1);
  fields->addWidget(replace_label, 1, 0);
  fields->addWidget(replace_field_, 1, 1);

  auto* options = new QVBoxLayout;
  options->addWidget(match_case_);
  options->addWidget(whole_word_);
  options->addStretch(1);
  auto* option_row = new QHBoxLayout;
  option_row->addLayout(options);
  option_row->addWidget(replace_in);

  auto* left = new QVBoxLayout;
  left->addLayout(fields);
  left->addLayout(option_row);
  left->addStretch(1);

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(find_next_button);
  buttons->addWidget(replace_button);
  buttons->addWidget(replace_all_button);
  buttons->addWidget(cancel_button);
  buttons->addStretch(1);

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 1);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  setTabOrder(find_field_, replace_field_);
  setTabOrder(replace_field_, match_case_);
  setTabOrder(match_case_, whole_word_);
  setTabOrder(whole_word_, selection_only_);
  setTabOrder(selection_only_, whole_document_);
  setTabOrder(whole_document_, find_next_button);
  setTabOrder(find_next_button, replace_button);
  setTabOrder(replace_button, replace_all_button);
  setTabOrder(replace_all_button, cancel_button);

  connect(match_case_, &QCheckBox::toggled, this,
          [this](bool on) { services_.state.match_case = on; });
  connect(whole_word_, &QCheckBox::toggled, this,
          [this](bool on) { services_.state.whole_word = on; });
  connect(selection_only_, &QRadioButton::toggled, this,
          [this](bool on) { services_.state.selection_only = on; });
  connect(find_next_button, &QPushButton::clicked, this, &FindReplaceDialog::find_next);
  connect(replace_button, &QPushButton::clicked, this, &FindReplaceDialog::replace);
  connect(replace_all_button, &QPushButton::clicked, this, &FindReplaceDialog::replace_all);
  connect(cancel_button, &QPushButton::clicked, this, &FindReplaceDialog::close);

  find_field_->selectAll();
  find_field_->setFocus();
}

void FindReplaceDialog::take_texts() {
  services_.state.find_text = bytes_of(find_field_->text());
  services_.state.replace_text = bytes_of(replace_field_->text());
}

void FindReplaceDialog::find_next() {
  take_texts();
  if (!editor_ || services_.state.find_text.empty()) return;
  if (find_in_editor(services_, editor_)) {
    editor_->activateWindow();
    editor_->setFocus();
    return;
  }
  // Nothing found: the operator goes on in this dialog, which stays above the editor, with
  // its find text ready to be changed (and the editor's text out of reach of the keys).
  raise();
  activateWindow();
  find_field_->setFocus();
}

void FindReplaceDialog::replace() {
  if (!editor_) return;
  const std::string& what = services_.state.find_text;
  QTextCursor cursor = editor_->textCursor();
  const ReplaceOneResult result = replace_one(editor_bytes(editor_->toPlainText()),
                                              static_cast<std::size_t>(cursor.selectionStart()),
                                              static_cast<std::size_t>(cursor.selectionEnd()), what,
                                              services_.state.replace_text, options_of(services_));
  // The same edit through the control, as one undo step.
  cursor.insertText(latin1(services_.state.replace_text));
  editor_->setTextCursor(cursor);
  if (result.next) select_range(editor_, *result.next, *result.next + what.size());
}

void FindReplaceDialog::replace_all() {
  take_texts();
  const std::string& what = services_.state.find_text;
  if (!editor_ || what.empty()) return;
  const std::string text = editor_bytes(editor_->toPlainText());
  std::size_t begin = 0;
  std::size_t end = text.size();
  if (services_.state.selection_only) {
    const QTextCursor selection = editor_->textCursor();
    begin = static_cast<std::size_t>(selection.selectionStart());
    end = static_cast<std::size_t>(selection.selectionEnd());
    if (end - begin <= what.size()) return;
  }
  const ReplaceAllResult result =
      qm::replace_all(text, what, services_.state.replace_text, options_of(services_), begin, end);
  if (result.count == 0) return;
  // The same edits through the control, in order, as one undo step.
  const QString replacement = latin1(services_.state.replace_text);
  QTextCursor cursor = editor_->textCursor();
  cursor.beginEditBlock();
  for (const std::size_t at : result.at) {
    cursor.setPosition(static_cast<int>(at));
    cursor.setPosition(static_cast<int>(at + what.size()), QTextCursor::KeepAnchor);
    cursor.insertText(replacement);
  }
  cursor.endEditBlock();
  editor_->setTextCursor(cursor);
  editor_->ensureCursorVisible();
}

QWidget* open_find_replace(const EditorServices& services, QPlainTextEdit* editor,
                           QWidget* parent) {
  if (parent)
    if (auto* open = parent->findChild<FindReplaceDialog*>(dialog_name(ids::kFindReplaceDialog),
                                                           Qt::FindDirectChildrenOnly)) {
      open->raise();
      open->activateWindow();
      return open;
    }
  auto* dialog = new FindReplaceDialog(services, editor, parent);
  dialog->show();
  return dialog;
}

void find_next(const EditorServices& services, QPlainTextEdit* editor) {
  find_in_editor(services, editor);
}

}  // namespace qm
