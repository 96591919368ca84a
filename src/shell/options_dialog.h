// Dialog 173 " Program Options": the four program options, and the traffic log's switch,
// viewer and clearing.
#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;

namespace qm {

class App;

class OptionsDialog : public QDialog {
  Q_OBJECT

 public:
  OptionsDialog(App& app, QWidget* parent);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void view_log();
  void ok();

  App& app_;
  QCheckBox* skip_std_;
  QCheckBox* flash_sector1_;
  QCheckBox* logging_;
  QCheckBox* remote_access_;
  QPushButton* view_log_;
  QPushButton* clear_log_;
  QPushButton* ok_;
};

}  // namespace qm
