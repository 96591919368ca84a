// The Setup dialog (" Setup", or " Setup IP" with the link choice when remote access is
// enabled) and the "IP Configuration" dialog it opens. Both only map controls to the models
// of panels/setup.h.
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "panels/setup.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace qm {

class SetupDialog : public QDialog {
  Q_OBJECT

 public:
  // remote_template: the " Setup IP" form with "Local (RS-232)", "Remote (TCP/IP)" and
  // "Configure IP" (remote access enabled).
  SetupDialog(PanelServices services, bool remote_template, QWidget* parent = nullptr);
  ~SetupDialog() override;

  // The link's disconnect notice: the remote link was dropped, "Local (RS-232)" is shown.
  void remote_link_dropped();
  // "Configure IP": the IP Configuration dialog, then the link radios from the settings.
  void configure_ip();

 private:
  void build(bool remote_template);
  // Sets the installed-units controls from the settings.
  void show_units();
  void show_link();
  void ok();
  // Runs an action of the model on the link thread, then `then` here. The link's controls
  // are disabled until every such action has come back.
  void on_link(std::function<void(SetupPanel&, Link&)> action, std::function<void()> then = {});
  void set_busy(int change);
  void start_auto();
  // One step of Auto: unit job - 5 is polled on the link thread, its reply taken here.
  void auto_step(int job);

  PanelServices services_;
  std::shared_ptr<SetupPanel> model_;  // shared with the link thread's jobs
  int busy_ = 0;                       // actions on the link thread not yet back
  std::vector<QWidget*> link_controls_;
  QComboBox* port_box_ = nullptr;
  QRadioButton* local_ = nullptr;
  QRadioButton* remote_ = nullptr;
  std::array<QRadioButton*, 4> primary_{};
  std::array<QCheckBox*, 4> installed_{};  // unit 0 has none
  std::array<std::array<QRadioButton*, 3>, 4> channels_{};
  std::array<QButtonGroup*, 4> channel_groups_{};
  QRadioButton* rate50_ = nullptr;
  QRadioButton* rate60_ = nullptr;
};

class IpConfigDialog : public QDialog {
  Q_OBJECT

 public:
  IpConfigDialog(PanelServices services, QWidget* parent = nullptr);

 private:
  void ok();

  PanelServices services_;
  IpConfiguration model_;
  QLineEdit* address_ = nullptr;
  QLineEdit* port_ = nullptr;
  QLineEdit* secret_ = nullptr;
};

}  // namespace qm
