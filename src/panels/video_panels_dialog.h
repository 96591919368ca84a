// The wall's everyday panels: " Video Input Settings" (the two digitisers of a unit with their
// live signal state), " Video Output Settings" (the encoder) and " Sequence Keypad" (keys
// for the sequences the units run). Each maps its controls onto its model; every read and
// send runs on the link thread, so a panel answers at once even when the unit is silent.
#pragma once

#include <QDialog>
#include <QTimer>
#include <array>

#include "base/ui_helpers.h"
#include "panels/panel_services.h"
#include "panels/video_input.h"
#include "panels/video_output.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QPushButton;
class QScrollBar;

namespace qm {

class VideoInputDialog final : public QDialog {
  Q_OBJECT

 public:
  VideoInputDialog(PanelServices services, VideoInputPanel& panel, QWidget* parent);
  ~VideoInputDialog() override;

  // OK, Escape and the close box: the status line cleared, the timer stopped, the unit at
  // open selected again when all units are selected.
  void done(int result) override;
  // No read of the dialog is under way.
  bool idle() const { return pending_ == 0; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void read_settings();
  void settings_read(const std::optional<UnitFrame>& reply);
  void refresh_signal();
  void signal_read(const SignalReading& reading);
  void check_restore_file();
  void show_mirror();
  void show_signal(int channel);
  void send(PanelMessage message);
  void unit_chosen(int unit);
  void gang();
  void restore_from_flash();
  // Posts a job whose result comes back here while the dialog lives.
  template <typename Result>
  void ask(std::function<Result(Link&, std::uint8_t)> work, std::function<void(Result)> then);

  PanelServices services_;
  VideoInputPanel& panel_;
  int unit_at_open_ = 0;
  int pending_ = 0;
  bool refreshing_ = false;
  QTimer timer_;
  std::array<std::array<ScrollBinding, kPictureControls>, kInputChannels> bindings_{};
  std::array<std::array<QScrollBar*, kPictureControls>, kInputChannels> bars_{};
  std::array<QButtonGroup*, kInputChannels> inputs_{};
  std::array<QButtonGroup*, kInputChannels> systems_{};
  std::array<QCheckBox*, kInputChannels> vcr_{};
  std::array<QAbstractButton*, kInputChannels> show_{};
  std::array<QLabel*, kInputChannels> signal_{};
  QCheckBox* auto_ = nullptr;
  QPushButton* restore_ = nullptr;
  QButtonGroup* units_ = nullptr;
};

class VideoOutputDialog final : public QDialog {
  Q_OBJECT

 public:
  VideoOutputDialog(PanelServices services, VideoOutputSettings& settings, QWidget* parent);

  void done(int result) override;
  bool idle() const { return pending_ == 0; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void read_settings();
  void show_mirror();
  void send(PanelMessage message);

  PanelServices services_;
  VideoOutputSettings& settings_;
  int unit_at_open_ = 0;
  int pending_ = 0;
  QCheckBox* svideo_ = nullptr;
  QCheckBox* interlace_ = nullptr;
  QCheckBox* vcr_ = nullptr;
  QButtonGroup* filters_ = nullptr;
  QButtonGroup* systems_ = nullptr;
};

class KeypadDialog final : public QDialog {
  Q_OBJECT

 public:
  KeypadDialog(PanelServices services, QWidget* parent);
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  PanelServices services_;
  int unit_at_open_ = 0;
};

}  // namespace qm
