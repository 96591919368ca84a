#include "editor/goto_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <algorithm>

#include "base/ui_helpers_widget.h"
#include "editor/editor_parts_dialog.h"
#include "ids.h"

namespace qm {

namespace {

constexpr const char* kLineNumberLabel = "Line number:";
constexpr const char* kOkText = "OK";
constexpr const char* kCancelText = "Cancel";

}  // namespace

GotoDialog::GotoDialog(QWidget* parent, int current_line) : QDialog(parent) {
  setObjectName(dialog_name(ids::kGotoDialog));
  setWindowTitle(QString::fromLatin1(kGotoTitle));

  field_ = new QLineEdit(QString::number(current_line), this);
  field_->setObjectName(QStringLiteral("lineNumberField"));
  field_->setMaxLength(kMaxLineDigits);
  field_->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), field_));
  field_->setMinimumWidth(
      field_->fontMetrics().horizontalAdvance(QString(kMaxLineDigits + 3, '0')));
  field_->selectAll();
  auto* label = new QLabel(QLatin1Char('&') + QString::fromLatin1(kLineNumberLabel), this);
  label->setBuddy(field_);

  auto* ok = new QPushButton(QString::fromLatin1(kOkText), this);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QString::fromLatin1(kCancelText), this);
  cancel->setObjectName(QStringLiteral("cancelButton"));
  cancel->setAutoDefault(false);

  auto* row = new QHBoxLayout;
  row->addWidget(label);
  row->addWidget(field_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(ok, &QPushButton::clicked, this, &GotoDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &GotoDialog::reject);
  field_->setFocus();
}

std::optional<int> GotoDialog::line() const {
  const int value = field_->text().toInt();
  if (value <= 0) return std::nullopt;
  return value;
}

std::optional<int> ask_line_number(QWidget* parent, int current_line, int line_count) {
  GotoDialog dialog(parent, current_line);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const auto line = dialog.line();
  // A number past the end goes to the last line.
  if (line && line_count > 0) return std::min(*line, line_count);
  return line;
}

}  // namespace qm
