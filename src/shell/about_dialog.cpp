#include "shell/about_dialog.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "base/text_format.h"
#include "base/ui_helpers_widget.h"
#include "ids.h"

namespace qm {

namespace {

constexpr const char* kAboutTitle = " About";
constexpr const char* kNoValue = "-";
constexpr const char* kVersionFormat = "Version %s";
constexpr const char* kOkText = "OK";

// The program's version record.
constexpr const char* kProductName = "QuadrimonControl";
constexpr const char* kCompanyName = "The QuadrimonControl developers";
constexpr const char* kProductVersion = QM_VERSION;
constexpr const char* kWebAddress = "https://quadrimon.example/";

QLabel* field(QWidget* parent, int id, const char* value) {
  auto* label = new QLabel(QString::fromLatin1(*value != '\0' ? value : kNoValue), parent);
  label->setObjectName(control_name(id));
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return label;
}

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(dialog_name(ids::kAboutDialog));
  setWindowTitle(QString::fromLatin1(kAboutTitle));

  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("iconLabel"));
  icon->setPixmap(QPixmap(QStringLiteral(":/images/icon32.png")));
  icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

  QLabel* product = field(this, ids::kProductField, kProductName);
  QFont bold = product->font();
  bold.setBold(true);
  product->setFont(bold);
  QLabel* maker = field(this, ids::kMakerField, kCompanyName);
  const std::string version =
      *kProductVersion != '\0' ? strprintf(kVersionFormat, kProductVersion) : kNoValue;
  QLabel* version_field = field(this, ids::kVersionField, version.c_str());

  auto* web = new QPushButton(QString::fromLatin1(kWebAddress), this);
  web->setObjectName(control_name(ids::kWebButton));
  web->setAutoDefault(false);
  auto* ok = new QPushButton(QString::fromLatin1(kOkText), this);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);

  auto* texts = new QVBoxLayout;
  texts->addWidget(product);
  texts->addWidget(maker);
  texts->addWidget(version_field);
  texts->addSpacing(6);
  texts->addWidget(web, 0, Qt::AlignLeft);

  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addSpacing(8);
  top->addLayout(texts, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addSpacing(8);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  setTabOrder(ok, web);
  connect(web, &QPushButton::clicked, this,
          [] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(kWebAddress))); });
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  ok->setFocus();
}

void AboutDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  place_dialog(this, 2, 2);
}

}  // namespace qm
