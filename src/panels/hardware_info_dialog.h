// The " Version Information" dialog, which shows the version scan as it runs in the idle
// turns, and the " Reset" dialog, which resets one unit or all.
#pragma once

#include <QDialog>
#include <array>
#include <string>

#include "panels/hardware_info.h"
#include "panels/panel_services.h"

class QPlainTextEdit;
class QRadioButton;

namespace qm {

class VersionDialog final : public QDialog {
 public:
  // Starts the scan (idle job 1) and registers its step for as long as the dialog exists.
  VersionDialog(PanelServices services, QWidget* parent);
  ~VersionDialog() override;

  // Closing by "OK", the close box or Escape clears the status line and ends a scan still
  // running.
  void done(int result) override;

 private:
  // Posts the reading of unit job - 1 to the link thread.
  void scan_step(int job);
  // The unit's block has been read: shown, and the scan moves on.
  void scan_read(int job, const std::string& block);
  void stop_scan();

  PanelServices services_;
  VersionScan scan_;
  QPlainTextEdit* text_ = nullptr;
};

class ResetDialog final : public QDialog {
 public:
  ResetDialog(PanelServices services, QWidget* parent);

  // The unit to reset, 0..3, or -1 for all units.
  int target() const { return target_; }

 private:
  void send();

  PanelServices services_;
  int target_ = -1;
  std::array<QRadioButton*, 5> radios_{};  // units 0..3, then all units
};

}  // namespace qm
