#include "flash/key_character_dialog.h"

#include <QButtonGroup>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "base/ui_helpers_widget.h"
#include "ids.h"

namespace qm {

namespace {

constexpr const char* kFieldLabel = "Key character:";
constexpr const char* kAsciiText = "ASCII character";
constexpr const char* kKeyCodeText = "Key code ";

std::string latin1(const QString& text) {
  return text.toLatin1().toStdString();
}

}  // namespace

KeyCharacterDialog::KeyCharacterDialog(KeyEntryMode& mode, QWidget* parent)
    : QDialog(parent), mode_(mode) {
  setObjectName(dialog_name(ids::kKeyCharacterDialog));
  setWindowTitle(QString::fromLatin1(kTitleKeyCharacter));

  field_ = new QLineEdit(this);
  field_->setObjectName(control_name(ids::kKeyCharacterField));
  field_->setMaxLength(static_cast<int>(key_field_limit(mode_)));
  field_->setMinimumWidth(field_->fontMetrics().horizontalAdvance(QStringLiteral("WWWWWW")));

  ascii_ = new QRadioButton(QString::fromLatin1(kAsciiText), this);
  ascii_->setObjectName(control_name(ids::kAsciiCharacterRadio));
  code_ = new QRadioButton(QString::fromLatin1(kKeyCodeText), this);
  code_->setObjectName(control_name(ids::kKeyCodeRadio));
  (mode_ == KeyEntryMode::kAscii ? ascii_ : code_)->setChecked(true);
  auto* group = new QButtonGroup(this);
  group->addButton(ascii_);
  group->addButton(code_);
  connect(ascii_, &QRadioButton::clicked, this, [this] { switch_mode(KeyEntryMode::kAscii); });
  connect(code_, &QRadioButton::clicked, this, [this] { switch_mode(KeyEntryMode::kKeyCode); });

  const DialogButtons buttons = ok_cancel_buttons(this);
  connect(buttons.ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(buttons.cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* form = new QFormLayout;
  form->addRow(QString::fromLatin1(kFieldLabel), field_);
  auto* modes = new QVBoxLayout;
  modes->addWidget(ascii_);
  modes->addWidget(code_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(modes);
  layout->addLayout(buttons.row);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  field_->setFocus();
}

void KeyCharacterDialog::switch_mode(KeyEntryMode to) {
  if (to == mode_) return;
  const std::string shown = key_field_after_switch(latin1(field_->text()), mode_, to);
  mode_ = to;
  // The limit first: a key code would not fit a one-character field.
  field_->setMaxLength(static_cast<int>(key_field_limit(to)));
  field_->setText(QString::fromLatin1(shown.c_str()));
  field_->setFocus();
}

int KeyCharacterDialog::key_code() const {
  return key_code_from_entry(latin1(field_->text()), mode_);
}

int prompt_key_character(KeyEntryMode& mode, QWidget* owner) {
  KeyCharacterDialog dialog(mode, owner);
  if (dialog.exec() != QDialog::Accepted) return 0;
  return dialog.key_code();
}

}  // namespace qm
