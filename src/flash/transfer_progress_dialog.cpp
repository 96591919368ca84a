#include "flash/transfer_progress_dialog.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>

#include "base/ui_helpers_widget.h"
#include "flash/flash_protocol.h"
#include "ids.h"
#include "link/link_worker.h"

namespace qm {

namespace {

constexpr const char* kCancelText = "Cancel";
constexpr const char* kOkText = "OK";
constexpr int kStatusWidth = 320;
constexpr int kAnnouncedHoldMs = 1500;

// Blocks of a transfer of `bytes`, the last one shorter.
int blocks_of(std::size_t bytes) {
  return static_cast<int>((bytes + kFlashBlockBytes - 1) / kFlashBlockBytes);
}

}  // namespace

// What the worker reports, carried to the dialog on the GUI thread. The worker's job keeps
// it alive; `dialog` is set and read on the GUI thread only.
struct TransferProgressDialog::Relay final : TransferObserver {
  explicit Relay(LinkWorker& link_worker) : worker(link_worker) {}

  void transfer_status(const std::string& text) override {
    worker.deliver([this, keep = self.lock(), text] {
      if (dialog) dialog->show_status(QString::fromLatin1(text.c_str()));
    });
  }
  // Keeps only the newest count while one is on its way, so a fast transfer does not fill
  // the GUI's queue with a call per block.
  void transfer_progress(std::size_t bytes_done, std::size_t bytes_total) override {
    done = bytes_done;
    total = bytes_total;
    if (pending.exchange(true)) return;
    worker.deliver([this, keep = self.lock()] {
      pending = false;
      if (dialog) dialog->show_progress(done, total);
    });
  }

  LinkWorker& worker;
  std::weak_ptr<Relay> self;
  QPointer<TransferProgressDialog> dialog;
  std::atomic<std::size_t> done{0};
  std::atomic<std::size_t> total{0};
  std::atomic<bool> pending{false};
};

TransferProgressDialog::TransferProgressDialog(TransferJob& job, LinkWorker& worker,
                                               std::uint8_t address, TransferDirection direction,
                                               QWidget* parent)
    : QDialog(parent),
      job_(job),
      worker_(worker),
      address_(address),
      direction_(direction),
      relay_(std::make_shared<Relay>(worker)) {
  relay_->self = relay_;
  relay_->dialog = this;
  setObjectName(dialog_name(ids::kTransferDialog));
  setWindowTitle(QString::fromLatin1(kTransferTitle));

  status_ = new QLabel(this);
  status_->setObjectName(control_name(ids::kTransferStatus));
  status_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  status_->setMinimumWidth(kStatusWidth);

  bar_ = new QProgressBar(this);
  bar_->setObjectName(control_name(ids::kTransferBar));
  bar_->setTextVisible(false);
  bar_->setRange(0, 1);
  bar_->setValue(0);

  button_ = new QPushButton(QString::fromLatin1(kCancelText), this);
  button_->setObjectName(control_name(ids::kDialogCancelButton));
  connect(button_, &QPushButton::clicked, this, &TransferProgressDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(button_);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(status_);
  layout->addWidget(bar_);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

TransferProgressDialog::~TransferProgressDialog() {
  relay_->dialog = nullptr;
}

void TransferProgressDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!started_) {
    started_ = true;
    place_dialog(this, -1, -1);
    start();
  }
}

void TransferProgressDialog::start() {
  job_.cancel_state = kCancelNone;
  result_ = -1;
  // The whole transfer is one job: nothing else the GUI posts reaches the link before it ends.
  worker_.post(
      [relay = relay_, &job = job_, address = address_, direction = direction_](Link& link) {
        const int code = direction == TransferDirection::Download
                             ? download_worker(job, link, address, *relay)
                             : upload_worker(job, link, address, *relay);
        relay->worker.deliver([relay, code] {
          if (relay->dialog) relay->dialog->transfer_result(code);
        });
      });
}

void TransferProgressDialog::reject() {
  if (!finished()) {
    job_.request_cancel();  // the worker stops at its next check point and reports it
    return;
  }
  done(result_ == kTransferAnnounced ? 1 : 0);
}

void TransferProgressDialog::show_status(const QString& text) {
  status_->setText(text);
}

void TransferProgressDialog::show_progress(std::size_t done, std::size_t total) {
  const int blocks = std::max(blocks_of(total), 1);
  if (bar_->maximum() != blocks) bar_->setRange(0, blocks);
  bar_->setValue(std::min(blocks_of(done), blocks));
}

void TransferProgressDialog::transfer_result(int code) {
  result_ = code;
  if (code == kTransferQuiet) {
    done(0);
    return;
  }
  if (const auto text = transfer_result_text(code, job_))
    status_->setText(QString::fromLatin1(text->c_str()));
  button_->setText(QString::fromLatin1(kOkText));
  if (code == kTransferAnnounced) {
    // The operator gets a moment to read the success before the dialog closes by itself (OK
    // closes it at once).
    bar_->setValue(bar_->maximum());
    QTimer::singleShot(kAnnouncedHoldMs, this, [this] { done(1); });
  }
}

int run_transfer_dialog(TransferJob& job, LinkWorker& worker, std::uint8_t address,
                        TransferDirection direction, QWidget* owner) {
  TransferProgressDialog dialog(job, worker, address, direction, owner);
  return dialog.exec();
}

}  // namespace qm
