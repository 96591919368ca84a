// Dialog 139 " File transfer progress": the status line, the progress bar and one button
// while a download or upload worker runs as a job on the link thread. The button cancels
// (the worker stops at its next check point) until the result is in; it then reads "OK" and
// closes. A quiet success closes the dialog by itself, an announced one shows its text first.
//
// The worker never touches a widget: what it reports reaches the dialog as queued calls on
// the GUI thread, and only the newest progress is kept while one is on its way.
#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>

#include "flash/transfer.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace qm {

class LinkWorker;

inline constexpr const char* kTransferTitle = " File transfer progress";

enum class TransferDirection { Download, Upload };

class TransferProgressDialog final : public QDialog {
  Q_OBJECT

 public:
  // The job is filled already; the worker starts when the dialog opens. exec() returns 1
  // only after an announced success (kTransferAnnounced), 0 otherwise.
  TransferProgressDialog(TransferJob& job, LinkWorker& worker, std::uint8_t address,
                         TransferDirection direction, QWidget* parent);
  ~TransferProgressDialog() override;

  // The worker's result code once it has reported, else -1.
  int result_code() const { return result_; }
  bool finished() const { return result_ >= 0; }
  // The button and the close box: a cancel request while the worker runs, else close.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  struct Relay;
  void start();
  void show_status(const QString& text);
  void show_progress(std::size_t done, std::size_t total);
  void transfer_result(int code);

  TransferJob& job_;
  LinkWorker& worker_;
  std::uint8_t address_;
  TransferDirection direction_;
  std::shared_ptr<Relay> relay_;
  bool started_ = false;
  int result_ = -1;
  QLabel* status_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QPushButton* button_ = nullptr;
};

// Runs the progress dialog modally over `owner` with the job as it is; the dialog's result.
int run_transfer_dialog(TransferJob& job, LinkWorker& worker, std::uint8_t address,
                        TransferDirection direction, QWidget* owner);

}  // namespace qm
