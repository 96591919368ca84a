#include "shell/options_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/ui_helpers_widget.h"
#include "ids.h"
#include "shell/app.h"
#include "shell/log_viewer_dialog.h"
#include "shell/options.h"

namespace qm {

namespace {

constexpr const char* kOptionsTitle = " Program Options";
constexpr const char* kSkipStdText = "Skip standard include file STD.INC";
constexpr const char* kFlashSector1Text = "Enable Flash sector 1 read/write";
constexpr const char* kLoggingText = "Logging enabled";
constexpr const char* kRemoteAccessText = "Enable Remote Access using TCP/IP";
constexpr const char* kViewLogText = "View log";
constexpr const char* kClearLogText = "Clear log";
constexpr const char* kOkText = "OK";

// The text with its keyboard mnemonic before the character at `at`.
QString with_mnemonic(const char* text, qsizetype at) {
  return QString::fromLatin1(text).insert(at, QLatin1Char('&'));
}

QCheckBox* check_box(QWidget* parent, const char* text, qsizetype mnemonic, int id, bool on) {
  auto* box = new QCheckBox(with_mnemonic(text, mnemonic), parent);
  box->setObjectName(control_name(id));
  box->setChecked(on);
  return box;
}

}  // namespace

OptionsDialog::OptionsDialog(App& app, QWidget* parent) : QDialog(parent), app_(app) {
  setObjectName(dialog_name(ids::kOptionsDialog));
  setWindowTitle(QString::fromLatin1(kOptionsTitle));

  const OptionChoices now = current_options(app_);
  skip_std_ = check_box(this, kSkipStdText, 0, ids::kSkipStdCheck, now.skip_std);
  flash_sector1_ =
      check_box(this, kFlashSector1Text, 7, ids::kFlashSector1Check, now.flash_sector1);
  remote_access_ =
      check_box(this, kRemoteAccessText, 7, ids::kRemoteAccessCheck, now.remote_access);
  logging_ = check_box(this, kLoggingText, 0, ids::kLoggingCheck, now.logging);

  view_log_ = new QPushButton(with_mnemonic(kViewLogText, 0), this);
  view_log_->setObjectName(control_name(ids::kViewLogButton));
  view_log_->setAutoDefault(false);
  clear_log_ = new QPushButton(with_mnemonic(kClearLogText, 0), this);
  clear_log_->setObjectName(control_name(ids::kClearLogButton));
  clear_log_->setAutoDefault(false);
  ok_ = new QPushButton(QString::fromLatin1(kOkText), this);
  ok_->setObjectName(QStringLiteral("okButton"));
  ok_->setDefault(true);

  auto* options = new QVBoxLayout;
  options->addWidget(skip_std_);
  options->addWidget(flash_sector1_);
  options->addWidget(remote_access_);

  auto* log_row = new QHBoxLayout;
  log_row->addWidget(logging_);
  log_row->addStretch(1);
  log_row->addWidget(view_log_);
  log_row->addWidget(clear_log_);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(options);
  layout->addSpacing(8);
  layout->addLayout(log_row);
  layout->addSpacing(8);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  setTabOrder(skip_std_, flash_sector1_);
  setTabOrder(flash_sector1_, remote_access_);
  setTabOrder(remote_access_, logging_);
  setTabOrder(logging_, view_log_);
  setTabOrder(view_log_, clear_log_);
  setTabOrder(clear_log_, ok_);

  connect(logging_, &QCheckBox::clicked, this, [this](bool on) { set_logging(app_, on); });
  connect(view_log_, &QPushButton::clicked, this, &OptionsDialog::view_log);
  connect(clear_log_, &QPushButton::clicked, this, [this] { clear_log(app_); });
  connect(ok_, &QPushButton::clicked, this, &OptionsDialog::ok);
}

void OptionsDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  place_dialog(this, 2, 2);
}

void OptionsDialog::view_log() {
  qm::view_log(app_, [this](const std::filesystem::path& path) {
    LogViewerDialog viewer(app_, path, this);
    viewer.exec();
  });
}

void OptionsDialog::ok() {
  apply_options(app_, {skip_std_->isChecked(), flash_sector1_->isChecked(), app_.options.logging,
                       remote_access_->isChecked()});
  accept();
}

}  // namespace qm
