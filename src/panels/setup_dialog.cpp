#include "panels/setup_dialog.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>

#include "base/path_text.h"
#include "base/paths_widget.h"
#include "base/ui_helpers_widget.h"
#include "ids.h"
#include "panels/link_ask_widget.h"

namespace qm {

namespace {

constexpr char kSetupTitle[] = " Setup";
constexpr char kSetupIpTitle[] = " Setup IP";
constexpr char kLinkGroup[] = "Link";
constexpr char kLocalText[] = "&Local (RS-232)";
constexpr char kRemoteText[] = "&Remote (TCP/IP)";
constexpr char kConfigureIpText[] = "&Configure IP";
constexpr char kPortLabel[] = "&COM: Port";
constexpr char kPortLabelIp[] = "&Port:";
constexpr int kPortBoxCharacters = 18;  // "COM1:  /dev/ttyS0" and a little more
constexpr char kPrimaryGroup[] = "Primary unit ID";
constexpr char kPrimaryUnitText[] = "Unit &%1";
constexpr char kSetUnitIdText[] = "Set Unit &ID";
constexpr char kInstalledGroup[] = "Installed units";
constexpr char kUnit0Text[] = "Unit 0";
constexpr const char* kUnitBoxTexts[] = {"", "Unit 1     ", "Unit 2", "Unit 3"};
constexpr int kChannelChoices[] = {9, 16, 25};
constexpr char kAutoText[] = "&Auto";
constexpr char kRateGroup[] = "Field rate";
constexpr char k50HzText[] = "&50Hz";
constexpr char k60HzText[] = "&60Hz";
constexpr char kSaveText[] = "Sa&ve settings";
constexpr char kOkText[] = "OK";

constexpr char kIpConfigTitle[] = "IP Configuration";
constexpr char kAddressLabel[] = "IP &Address";
constexpr char kTcpPortLabel[] = "TCP &Port";
constexpr char kSecretLabel[] = "Shared &secret";
constexpr char kCancelText[] = "Cancel";

QString object_name(const char* stem, int unit, int channels = 0) {
  QString name = QStringLiteral("unit%1%2").arg(unit).arg(QString::fromLatin1(stem));
  return channels ? name + QString::number(channels) : name;
}

}  // namespace

SetupDialog::SetupDialog(PanelServices services, bool remote_template, QWidget* parent)
    : QDialog(parent), services_(services), model_(std::make_shared<SetupPanel>(services)) {
  model_->open();
  build(remote_template);
  // Auto's idle steps: each unit is polled on the link thread, its reply taken here.
  services_.idle.set_step(kJobAutoInstall, kJobAutoInstall + 3,
                          [this](int job) { auto_step(job); });

  for (const PortEntry& e : model_->ports()) {
    // On platforms whose port names are not the device names, show the device beside it; an
    // adapter by its stable name alone (the whole path is its tooltip).
    QString text = QString::fromStdString(e.text);
    const QString device = qstring_from_path_text(e.device);
    if (e.adapter)
      text += QStringLiteral("  ") + qstring_from_path(path_from_utf8(e.device).filename());
    else if (!e.device.empty() && e.device != e.text)
      text += QStringLiteral("  ") + device;
    port_box_->addItem(text);
    if (e.adapter) port_box_->setItemData(port_box_->count() - 1, device, Qt::ToolTipRole);
  }
  port_box_->setCurrentIndex(model_->current_entry());
  // The list is as wide as its longest entry; the box itself stays narrow.
  port_box_->view()->setMinimumWidth(port_box_->view()->sizeHintForColumn(0) +
                                     port_box_->style()->pixelMetric(QStyle::PM_ScrollBarExtent));

  show_units();
  const int primary = model_->primary();
  if (primary >= 0 && primary <= 3) primary_[static_cast<std::size_t>(primary)]->setChecked(true);
  (model_->field_rate() == 60 ? rate60_ : rate50_)->setChecked(true);
  show_link();
  place_dialog(this, 2, 2);
}

SetupDialog::~SetupDialog() {
  services_.idle.clear_step(kJobAutoInstall);
  // A scan left behind would wait for a step forever and block every other idle job.
  if (services_.idle.job() >= kJobAutoInstall && services_.idle.job() <= kJobAutoInstall + 3) {
    services_.idle.set_job(kJobNone);
    services_.ui.clear_status();
  }
}

void SetupDialog::build(bool remote_template) {
  setWindowTitle(QString::fromLatin1(remote_template ? kSetupIpTitle : kSetupTitle));
  setObjectName(dialog_name(remote_template ? ids::kSetupIpDialog : ids::kSetupDialog));
  auto* layout = new QVBoxLayout(this);

  // The link: the port box, and in the remote form the link choice.
  port_box_ = new QComboBox;
  port_box_->setObjectName(QStringLiteral("portBox"));
  port_box_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  port_box_->setMinimumContentsLength(kPortBoxCharacters);
  auto* port_label = new QLabel(QString::fromLatin1(remote_template ? kPortLabelIp : kPortLabel));
  port_label->setBuddy(port_box_);
  if (remote_template) {
    auto* box = new QGroupBox(QString::fromLatin1(kLinkGroup));
    auto* grid = new QGridLayout(box);
    local_ = new QRadioButton(QString::fromLatin1(kLocalText));
    local_->setObjectName(QStringLiteral("localRadio"));
    remote_ = new QRadioButton(QString::fromLatin1(kRemoteText));
    remote_->setObjectName(QStringLiteral("remoteRadio"));
    auto* configure = new QPushButton(QString::fromLatin1(kConfigureIpText));
    configure->setObjectName(QStringLiteral("configureIpButton"));
    grid->addWidget(local_, 0, 0);
    grid->addWidget(port_label, 0, 1);
    grid->addWidget(port_box_, 0, 2);
    grid->addWidget(remote_, 1, 0);
    grid->addWidget(configure, 1, 1, 1, 2, Qt::AlignLeft);
    grid->setColumnStretch(3, 1);
    layout->addWidget(box);
    connect(local_, &QRadioButton::clicked, this, [this] {
      on_link([](SetupPanel& model, Link&) { model.set_remote(false); }, [this] { show_link(); });
    });
    connect(remote_, &QRadioButton::clicked, this, [this] {
      // A failed connection shows "Local (RS-232)" again.
      on_link([](SetupPanel& model, Link&) { model.set_remote(true); }, [this] { show_link(); });
    });
    connect(configure, &QPushButton::clicked, this, &SetupDialog::configure_ip);
    link_controls_ = {local_, remote_, configure};
  } else {
    auto* row = new QHBoxLayout;
    row->addWidget(port_label);
    row->addWidget(port_box_);
    row->addStretch(1);
    layout->addLayout(row);
  }
  connect(port_box_, &QComboBox::activated, this, [this](int entry) {
    on_link([entry](SetupPanel& model, Link&) { model.choose_port(entry); });
  });
  link_controls_.push_back(port_box_);

  // The primary unit and "Set Unit ID".
  {
    auto* box = new QGroupBox(QString::fromLatin1(kPrimaryGroup));
    auto* row = new QHBoxLayout(box);
    for (int u = 0; u < 4; ++u) {
      auto* radio = new QRadioButton(QString::fromLatin1(kPrimaryUnitText).arg(u));
      radio->setObjectName(control_name(ids::kUnitRadio0 + u));
      primary_[static_cast<std::size_t>(u)] = radio;
      row->addWidget(radio);
      connect(radio, &QRadioButton::clicked, this, [this, u] { model_->select_primary(u); });
    }
    row->addStretch(1);
    auto* set_id = new QPushButton(QString::fromLatin1(kSetUnitIdText));
    set_id->setObjectName(QStringLiteral("setUnitIdButton"));
    row->addWidget(set_id);
    layout->addWidget(box);
    connect(set_id, &QPushButton::clicked, this,
            [this] { on_link([](SetupPanel& model, Link&) { model.set_unit_id(); }); });
    link_controls_.push_back(set_id);
  }

  // The installed units: unit 0 always, units 1..3 by their boxes; channels per unit.
  {
    auto* box = new QGroupBox(QString::fromLatin1(kInstalledGroup));
    auto* grid = new QGridLayout(box);
    for (int u = 0; u < 4; ++u) {
      const auto uu = static_cast<std::size_t>(u);
      if (u == 0) {
        grid->addWidget(new QLabel(QString::fromLatin1(kUnit0Text)), u, 0);
      } else {
        auto* check = new QCheckBox(QString::fromLatin1(kUnitBoxTexts[u]));
        check->setObjectName(object_name("Check", u));
        installed_[uu] = check;
        grid->addWidget(check, u, 0);
        connect(check, &QCheckBox::clicked, this, [this, u](bool on) {
          model_->install_unit(u, on);
          show_units();
        });
      }
      channel_groups_[uu] = new QButtonGroup(this);
      for (std::size_t c = 0; c < 3; ++c) {
        const int channels = kChannelChoices[c];
        auto* radio = new QRadioButton(QString::number(channels));
        radio->setObjectName(object_name("Radio", u, channels));
        channels_[uu][c] = radio;
        channel_groups_[uu]->addButton(radio);
        grid->addWidget(radio, u, static_cast<int>(c) + 1);
        connect(radio, &QRadioButton::clicked, this,
                [this, u, channels] { model_->set_channels(u, channels); });
      }
    }
    grid->setColumnStretch(4, 1);
    auto* autodetect = new QPushButton(QString::fromLatin1(kAutoText));
    autodetect->setObjectName(QStringLiteral("autoButton"));
    grid->addWidget(autodetect, 3, 5);
    layout->addWidget(box);
    connect(autodetect, &QPushButton::clicked, this, &SetupDialog::start_auto);
    link_controls_.push_back(autodetect);
  }

  // The field rate.
  {
    auto* box = new QGroupBox(QString::fromLatin1(kRateGroup));
    auto* row = new QHBoxLayout(box);
    rate50_ = new QRadioButton(QString::fromLatin1(k50HzText));
    rate50_->setObjectName(QStringLiteral("rate50Radio"));
    rate60_ = new QRadioButton(QString::fromLatin1(k60HzText));
    rate60_->setObjectName(QStringLiteral("rate60Radio"));
    row->addWidget(rate50_);
    row->addWidget(rate60_);
    row->addStretch(1);
    layout->addWidget(box);
    connect(rate50_, &QRadioButton::clicked, this, [this] { model_->set_field_rate(50); });
    connect(rate60_, &QRadioButton::clicked, this, [this] { model_->set_field_rate(60); });
  }

  auto* buttons = new QHBoxLayout;
  auto* save = new QPushButton(QString::fromLatin1(kSaveText));
  save->setObjectName(QStringLiteral("saveButton"));
  save->setAutoDefault(false);
  auto* ok = new QPushButton(QString::fromLatin1(kOkText));
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);
  buttons->addWidget(save);
  buttons->addStretch(1);
  buttons->addWidget(ok);
  layout->addLayout(buttons);
  connect(save, &QPushButton::clicked, this, [this] { model_->save_settings(); });
  link_controls_.push_back(save);  // it writes what the link thread may be changing
  connect(ok, &QPushButton::clicked, this, &SetupDialog::ok);
}

void SetupDialog::show_units() {
  const auto rows = model_->unit_rows();
  for (std::size_t u = 0; u < rows.size(); ++u) {
    if (installed_[u]) installed_[u]->setChecked(rows[u].installed);
    // An exclusive group keeps one radio checked: let go of it to show none.
    channel_groups_[u]->setExclusive(false);
    for (std::size_t c = 0; c < 3; ++c) {
      channels_[u][c]->setEnabled(rows[u].radios_enabled);
      channels_[u][c]->setChecked(rows[u].checked == kChannelChoices[c]);
    }
    channel_groups_[u]->setExclusive(true);
  }
}

void SetupDialog::show_link() {
  if (local_ == nullptr) return;
  (model_->remote() ? remote_ : local_)->setChecked(true);
}

void SetupDialog::remote_link_dropped() {
  if (local_) local_->setChecked(true);
}

void SetupDialog::configure_ip() {
  IpConfigDialog dialog(services_, this);
  dialog.exec();
  on_link([](SetupPanel&, Link& link) { link.show_link_status(); }, [this] { show_link(); });
}

void SetupDialog::ok() {
  // The port is applied on the link thread after whatever it is doing; the dialog closes now.
  services_.worker.post([model = model_, &ui = services_.ui](Link&) {
    model->apply_port();
    ui.clear_status();
  });
  accept();
}

void SetupDialog::on_link(std::function<void(SetupPanel&, Link&)> action,
                          std::function<void()> then) {
  set_busy(+1);
  ask_link(
      services_.worker, this,
      [model = model_, action = std::move(action)](Link& link) { action(*model, link); },
      [this, then = std::move(then)] {
        set_busy(-1);
        if (then) then();
      });
}

void SetupDialog::set_busy(int change) {
  busy_ += change;
  for (QWidget* control : link_controls_)
    control->setEnabled(busy_ == 0);
}

void SetupDialog::start_auto() {
  // The link test runs on the link thread (a failure is reported there); the scan starts here.
  auto ready = std::make_shared<bool>(false);
  on_link([ready](SetupPanel& model, Link&) { *ready = model.link_ready(); },
          [this, ready] {
            if (*ready) model_->begin_auto();
          });
}

void SetupDialog::auto_step(int job) {
  services_.idle.set_waiting();
  set_busy(+1);
  ask_link(
      services_.worker, this,
      [model = model_, job](Link& link) { return model->poll_unit(link, job); },
      [this, job](const std::optional<UnitFrame>& reply) {
        set_busy(-1);
        // A scan ended meanwhile (the dialog is closing) takes no more replies.
        if (services_.idle.job() != job || !services_.idle.waiting()) return;
        model_->take_unit_reply(job, reply);
        if (services_.idle.job() == kJobNone) show_units();
      });
}

// --- IP Configuration -------------------------------------------------------------------

IpConfigDialog::IpConfigDialog(PanelServices services, QWidget* parent)
    : QDialog(parent), services_(services), model_(services) {
  setWindowTitle(QString::fromLatin1(kIpConfigTitle));
  setObjectName(QStringLiteral("ipConfigDialog"));
  const IpFields fields = model_.fields();

  address_ = new QLineEdit(QString::fromStdString(fields.address));
  address_->setObjectName(QStringLiteral("addressEdit"));
  address_->setMaxLength(15);
  address_->setValidator(new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("[0-9]{0,3}(\\.[0-9]{0,3}){0,3}")), address_));
  port_ = new QLineEdit(QString::fromStdString(fields.port));
  port_->setObjectName(QStringLiteral("portEdit"));
  port_->setMaxLength(static_cast<int>(kMaxPortDigits));
  port_->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), port_));
  secret_ = new QLineEdit(QString::fromStdString(fields.secret));
  secret_->setObjectName(QStringLiteral("secretEdit"));
  secret_->setMaxLength(static_cast<int>(kMaxSecretLength));

  auto* form = new QFormLayout;
  auto* address_label = new QLabel(QString::fromLatin1(kAddressLabel));
  address_label->setBuddy(address_);
  auto* port_label = new QLabel(QString::fromLatin1(kTcpPortLabel));
  port_label->setBuddy(port_);
  auto* secret_label = new QLabel(QString::fromLatin1(kSecretLabel));
  secret_label->setBuddy(secret_);
  form->addRow(address_label, address_);
  form->addRow(port_label, port_);
  form->addRow(secret_label, secret_);

  auto* ok = new QPushButton(QString::fromLatin1(kOkText));
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QString::fromLatin1(kCancelText));
  cancel->setObjectName(QStringLiteral("cancelButton"));
  cancel->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(buttons);
  address_->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("000.000.000.000 ")));

  connect(ok, &QPushButton::clicked, this, &IpConfigDialog::ok);
  connect(cancel, &QPushButton::clicked, this, &IpConfigDialog::reject);
}

void IpConfigDialog::ok() {
  if (!model_.take({address_->text().toStdString(), port_->text().toStdString(),
                    secret_->text().toStdString()}))
    return;
  // A changed gateway is reconnected on the link thread; the dialog closes now.
  if (model_.gateway_changed()) services_.worker.post(&IpConfiguration::reconnect);
  accept();
}

}  // namespace qm
