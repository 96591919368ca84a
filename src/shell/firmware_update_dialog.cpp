#include "shell/firmware_update_dialog.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <memory>

#include "base/path_text.h"
#include "base/paths_widget.h"
#include "base/text_format.h"
#include "base/ui_helpers.h"
#include "base/ui_helpers_widget.h"
#include "flash/firmware_package.h"
#include "flash/transfer.h"
#include "flash/transfer_progress_dialog.h"
#include "ids.h"
#include "shell/app.h"
#include "shell/transfer_flows_widget.h"

namespace qm {

namespace {

constexpr const char* kFirmwareFilter = "Firmware (*.bin *.pak)";
constexpr const char* kFirmwareSuffix = "pak";
constexpr const char* kOneUnitAtATime =
    "Firmware is updated one unit at a time: select unit 0, 1, 2 or 3 first.";

BoxAnswer ask(OperatorUi& ui, const FirmwareQuestion& q) {
  return ui.message_box(q.title, q.text, q.buttons, q.icon);
}

}  // namespace

SelectFpgaDialog::SelectFpgaDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(dialog_name(ids::kSelectFpgaDialog));
  setWindowTitle(QString::fromLatin1(kSelectFpgaTitle));
  auto* icon = new QLabel(this);
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
  auto* text = new QLabel(QString::fromLatin1(kSelectFpgaText), this);
  text->setWordWrap(true);
  text->setMinimumWidth(text->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 48);
  list_ = new QComboBox(this);
  list_->setObjectName(control_name(ids::kFpgaList));
  for (int major = kSelectFpgaFirst; major <= kSelectFpgaLast; ++major)
    list_->addItem(QString::fromLatin1(strprintf(kSelectFpgaEntry, major).c_str()));
  list_->setCurrentIndex(0);
  const DialogButtons buttons = ok_cancel_buttons(this);
  connect(buttons.ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(buttons.cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addWidget(text, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(list_);
  layout->addLayout(buttons.row);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

int SelectFpgaDialog::major() const {
  return list_->currentIndex() + kSelectFpgaFirst;
}

int select_fpga_version(QWidget* owner) {
  SelectFpgaDialog dialog(owner);
  return dialog.exec() == QDialog::Accepted ? dialog.major() : 0;
}

int update_firmware_flow(App& app, QWidget* owner) {
  const int unit = app.settings.values.id;
  if (unit < 0) {
    // One download reaches one unit: with every unit selected there is none to update.
    app.ui.message_box(kFirmwareTitle, kOneUnitAtATime, BoxButtons::Ok, BoxIcon::Warning);
    return 0;
  }
  QFileDialog chooser(owner, QString::fromLatin1(kFirmwareFileDialogTitle));
  chooser.setAcceptMode(QFileDialog::AcceptOpen);
  chooser.setFileMode(QFileDialog::ExistingFile);
  chooser.setNameFilter(QString::fromLatin1(kFirmwareFilter));
  chooser.setDefaultSuffix(QString::fromLatin1(kFirmwareSuffix));
  chooser.setOption(QFileDialog::ReadOnly, true);
  if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return 0;
  const QString path = chooser.selectedFiles().front();
  const std::string shown = path_text_from_qstring(QDir::toNativeSeparators(path));

  auto fpga = std::make_shared<UnitFpga>();
  run_on_link_now(
      app, [fpga](Link& link, std::uint8_t address) { *fpga = read_unit_fpga(link, address); });
  if (!fpga->answered) {
    app.ui.message_box(kFirmwareTitle, kFirmwareLinkFailure, BoxButtons::Ok, BoxIcon::Error);
    return 0;
  }
  const FirmwareFile file = read_firmware_file(path_from_qstring(path), shown);
  if (file.error) {
    show_error_box(app.ui, *file.error);
    return 0;
  }
  FirmwarePlan plan = plan_firmware_update(file.bytes, shown, unit, fpga->version);
  if (plan.step == FirmwarePlan::Step::ChooseFpga) {
    const int major = select_fpga_version(owner);
    if (major == 0) {
      app.ui.message_box(kFirmwareTitle, kFirmwareCancelled, BoxButtons::Ok, BoxIcon::Warning);
      return 0;
    }
    plan = plan_firmware_update(file.bytes, shown, unit, fpga->version, major);
  }
  if (plan.step != FirmwarePlan::Step::Ready) {
    show_error_box(app.ui, plan.error);
    return 0;
  }
  if (!ask_firmware_questions(app.ui, plan)) return 0;
  if (!load_firmware_image(app.transfer, plan)) return 0;
  const auto address = static_cast<std::uint8_t>(unit);
  const int shown_result =
      run_transfer_dialog(app.transfer, app.worker, address, TransferDirection::Download, owner);
  app.transfer.clear_data();
  if (shown_result == 1 && ask(app.ui, reset_question(unit)) == BoxAnswer::Yes)
    app.worker.post([address](Link& link) { send_firmware_reset(link, address); });
  return 1;
}

}  // namespace qm
