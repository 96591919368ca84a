// File > Update: a unit's firmware replaced from a system file image (.bin) or a firmware
// package (.pak), with the checks and questions of the firmware model, the download through
// the progress dialog and the reset. Also dialog 183, where the operator names the FPGA major
// version of a unit that does not report it.
#pragma once

#include <QDialog>

class QComboBox;

namespace qm {

class App;

class SelectFpgaDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit SelectFpgaDialog(QWidget* parent);
  // The major version chosen (2..9) after OK.
  int major() const;

 private:
  QComboBox* list_ = nullptr;
};

// The FPGA major the operator chooses, or 0 for Cancel.
int select_fpga_version(QWidget* owner);

// The whole update of the selected unit; 1 when the download ran, 0 otherwise.
int update_firmware_flow(App& app, QWidget* owner);

}  // namespace qm
