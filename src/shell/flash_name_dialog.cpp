#include "shell/flash_name_dialog.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/ui_helpers_widget.h"
#include "ids.h"

namespace qm {

namespace {

constexpr const char* kFlashNameTitle = " Flash filename";
constexpr const char* kOkText = "OK";
constexpr const char* kCancelText = "Cancel";

}  // namespace

FlashNameDialog::FlashNameDialog(App& /*app*/, QWidget* parent, const QString& name)
    : QDialog(parent) {
  setObjectName(dialog_name(ids::kFlashNameDialog));
  setWindowTitle(QString::fromLatin1(kFlashNameTitle));

  edit_ = new QLineEdit(this);
  edit_->setObjectName(control_name(ids::kTextField));
  edit_->setMaxLength(kMaxFlashName);
  edit_->setText(name);
  edit_->selectAll();
  // Room for the longest name.
  edit_->setMinimumWidth(edit_->fontMetrics().horizontalAdvance(QString(kMaxFlashName + 4, 'W')));

  auto* ok = new QPushButton(QString::fromLatin1(kOkText), this);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QString::fromLatin1(kCancelText), this);
  cancel->setObjectName(QStringLiteral("cancelButton"));
  cancel->setAutoDefault(false);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(edit_);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(ok, &QPushButton::clicked, this, [this] { done(kFlashNameOk); });
  connect(cancel, &QPushButton::clicked, this, &FlashNameDialog::reject);
  edit_->setFocus();
}

QString FlashNameDialog::name() const {
  return edit_->text();
}

void FlashNameDialog::reject() {
  done(kFlashNameCancel);
}

int prompt_flash_name(App& app, QWidget* owner, std::string& name) {
  FlashNameDialog dialog(app, owner, QString::fromLatin1(name.c_str()));
  const int result = dialog.exec();
  if (result != kFlashNameOk) return kFlashNameCancel;
  name = dialog.name().toLatin1().toStdString();
  return kFlashNameOk;
}

}  // namespace qm
