#include "runner/run_dialog.h"

#include <qdrawutil.h>
#include <QEventLoop>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStaticText>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

#include "base/paths_widget.h"
#include "base/ui_helpers_widget.h"
#include "ids.h"
#include "link/tick_clock.h"

namespace qm {

namespace {

constexpr const char* kRunTitle = " Sequence";
constexpr const char* kControlGroupText = "Sequence control";
constexpr const char* kPauseText = "Pause";
constexpr const char* kRunText = "Run";  // the Pause button while the run is paused
constexpr const char* kSkipText = "Skip";
constexpr const char* kStopText = "Stop";
constexpr const char* kLineNumberText = "Line number";
constexpr const char* kTimeTexts[4] = {"Hrs", "Min", "Sec", "Frame"};
constexpr const char* kTimeStopped = "--";
constexpr const char* kLineStopped = "-----";
constexpr const char* kLineFormat = "%d";

constexpr int kTimeDisplayMs = 20;    // the run-time display's refresh
constexpr int kTimeFieldHeight = 30;  // the time fonts are sized from this height
constexpr int kFieldPadding = 10;     // room for the frame around the digits
constexpr int kPaneMinHeight = 180;
constexpr int kPaneMinWidth = 420;

// The text with its keyboard mnemonic before the character at `at`.
QString with_mnemonic(const char* text, qsizetype at) {
  return QString::fromLatin1(text).insert(at, QLatin1Char('&'));
}

// A medium-weight fixed-pitch font `pixels` high.
QFont fixed_font(int pixels) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::TypeWriter, QFont::PreferQuality);
  font.setWeight(QFont::Medium);
  font.setPixelSize(std::max(pixels, 1));
  return font;
}

}  // namespace

// A field of the line number or the run time: a sunken panel of a fixed size with its text
// centred on the palette's Base colour. The run time changes 50 times a second, so a field
// costs as little as it can: its fixed size spares the dialog any new layout when the text
// changes, it repaints itself alone and only when its text changed, it paints opaque (nothing
// behind it is drawn first), and it lays out each text it has shown once only.
class RunField final : public QLabel {
 public:
  RunField(QWidget* parent, int id, const char* text) : QLabel(QString::fromLatin1(text), parent) {
    setObjectName(control_name(id));
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

  void show_text(const QString& text) {
    if (text != this->text()) setText(text);  // QLabel repaints the field alone
  }
  void show_text(QLatin1StringView text) {
    if (text != this->text()) setText(text);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    qDrawShadePanel(&painter, rect(), palette(), true, 1);
    auto it = laid_out_.find(text());
    if (it == laid_out_.end()) {
      QStaticText laid(text());
      laid.setTextFormat(Qt::PlainText);
      laid.prepare(QTransform(), font());
      it = laid_out_.insert(text(), laid);
    }
    const QSizeF size = it->size();
    painter.setPen(palette().color(QPalette::Text));
    painter.drawStaticText(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2),
                           *it);
  }
  void changeEvent(QEvent* event) override {
    if (event->type() == QEvent::FontChange) laid_out_.clear();
    QLabel::changeEvent(event);
  }

 private:
  QHash<QString, QStaticText> laid_out_;  // a hundred texts at most: "00" to "99"
};

namespace {

QLabel* caption(QWidget* parent, const char* text, const QString& name) {
  auto* label = new QLabel(QString::fromLatin1(text), parent);
  label->setObjectName(name);
  label->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
  return label;
}

}  // namespace

// A run and the host that relays what its runner shows to the dialog. The runner has idle
// jobs of its own: the App's, which tell others that a run is active, are the dialog's to set.
struct RunDialog::Session final : RunnerHost, std::enable_shared_from_this<Session> {
  Session(RunnerServices services, LinkWorker& link_worker, RunDialog* owner)
      : worker(link_worker),
        dialog(owner),
        runner({services.link, services.settings, services.options, services.ui, idle,
                services.clock}) {}

  // Runs `show` on the dialog on the GUI thread, in order; nothing once it is gone. The
  // dialog's pointer is only ever read there.
  template <typename Show>
  void relay(Show show) {
    if (!worker.on_link_thread()) {
      if (dialog) show(*dialog);
      return;
    }
    // A session that is going away (its runner stops as it goes) has nobody to show it to.
    std::shared_ptr<Session> session = weak_from_this().lock();
    if (!session) return;
    worker.deliver([session, show] {
      if (session->dialog) show(*session->dialog);
    });
  }

  void show_line_number(std::optional<int> line) override {
    relay([line](RunDialog& d) { d.show_line_number(line); });
  }
  void show_output_line(const std::string& text) override {
    relay([text](RunDialog& d) { d.show_output_line(text); });
  }
  void run_stopped() override {
    relay([](RunDialog& d) { d.run_stopped(); });
  }
  void buttons_changed(bool stop_pause_enabled, bool skip_enabled, bool paused) override {
    relay([=](RunDialog& d) { d.buttons_changed(stop_pause_enabled, skip_enabled, paused); });
  }
  void run_ended() override {
    relay([](RunDialog& d) { d.run_ended(); });
  }

  LinkWorker& worker;
  QPointer<RunDialog> dialog;
  IdleJobs idle;
  Runner runner;
};

RunDialog::RunDialog(RunnerServices services, LinkWorker& worker, const QString& path,
                     QWidget* parent)
    : QDialog(parent),
      clock_(services.clock),
      idle_(services.idle),
      session_(std::make_shared<Session>(services, worker, this)) {
  setObjectName(dialog_name(ids::kRunDialog));
  setWindowTitle(QString::fromLatin1(kRunTitle));

  pause_ = new QPushButton(with_mnemonic(kPauseText, 0), this);
  pause_->setObjectName(control_name(ids::kPauseButton));
  skip_ = new QPushButton(with_mnemonic(kSkipText, 1), this);
  skip_->setObjectName(control_name(ids::kSkipButton));
  stop_ = new QPushButton(with_mnemonic(kStopText, 0), this);
  stop_->setObjectName(control_name(ids::kStopButton));
  // The buttons follow the runner's states; until the run starts only Stop is available.
  pause_->setEnabled(false);
  skip_->setEnabled(false);

  auto* control = new QGroupBox(QString::fromLatin1(kControlGroupText), this);
  control->setObjectName(QStringLiteral("controlGroup"));
  auto* buttons = new QHBoxLayout(control);
  buttons->addWidget(pause_);
  buttons->addWidget(skip_);
  buttons->addWidget(stop_);

  line_ = new RunField(this, ids::kLineNumberField, kLineStopped);
  auto* line_column = new QVBoxLayout;
  line_column->addWidget(caption(this, kLineNumberText, QStringLiteral("lineNumberLabel")));
  line_column->addWidget(line_);

  static const char* const kCaptionNames[4] = {"hoursLabel", "minutesLabel", "secondsLabel",
                                               "frameLabel"};
  auto* times = new QGridLayout;
  times->setHorizontalSpacing(4);
  for (int i = 0; i < 4; ++i) {
    const auto n = static_cast<std::size_t>(i);
    time_[n] = new RunField(this, ids::kHoursField + i, kTimeStopped);
    times->addWidget(caption(this, kTimeTexts[n], QString::fromLatin1(kCaptionNames[n])), 0, i);
    times->addWidget(time_[n], 1, i);
  }

  pane_ = new QPlainTextEdit(this);
  pane_->setObjectName(control_name(ids::kOutputPane));
  pane_->setReadOnly(true);
  pane_->setMinimumSize(kPaneMinWidth, kPaneMinHeight);
  pane_->hide();  // until the run's first output

  auto* top = new QHBoxLayout;
  top->addWidget(control);
  top->addSpacing(12);
  top->addLayout(line_column);
  top->addSpacing(12);
  top->addLayout(times);
  top->addStretch(1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(pane_, 1);

  setTabOrder(pause_, skip_);
  setTabOrder(skip_, stop_);
  setTabOrder(stop_, pane_);
  apply_fonts();
  set_fields_active(false);

  connect(pause_, &QPushButton::clicked, this, &RunDialog::pause_clicked);
  connect(skip_, &QPushButton::clicked, this, &RunDialog::skip_clicked);
  connect(stop_, &QPushButton::clicked, this, &RunDialog::stop_clicked);
  step_timer_.setSingleShot(true);
  connect(&step_timer_, &QTimer::timeout, this, &RunDialog::drive);
  time_timer_.setInterval(kTimeDisplayMs);
  connect(&time_timer_, &QTimer::timeout, this, &RunDialog::show_run_time);

  // The idle job of the sequence run tells the other owners of the idle dispatcher that a run
  // is active; the steps themselves are driven here, by a single-shot timer armed for the
  // moment the runner asks to be called again. The start reads files only: it runs here, before
  // the link thread has any part of the run.
  if (session_->runner.runner_start(*session_, path_text_from_qstring(path)) == 0) {
    ended_ = true;  // reported by the runner; its stop may have ended the dialog already
    if (result() == 0) setResult(QDialog::Rejected);
    return;
  }
  if (ended_) return;  // an empty file ends as it starts
  idle_.set_job(kJobRun);
  set_fields_active(true);
  show_run_time();
  time_timer_.start();
  pause_->setFocus();
  step_timer_.start(0);
}

RunDialog::~RunDialog() {
  destroying_ = true;
  done(QDialog::Rejected);
}

int RunDialog::exec() {
  const int ended_with = ended_ ? result() : QDialog::exec();
  // The dialog has gone at once; what the link thread still does for the run (a step that
  // waits for a silent unit, the stop, an error's question to the operator) ends before the
  // caller goes on, so that runs follow each other and no question is lost at the end of the
  // program. The window keeps painting meanwhile; the operator's input waits.
  QEventLoop behind;
  session_->worker.post([&behind](Link&) {
    QMetaObject::invokeMethod(&behind, &QEventLoop::quit, Qt::QueuedConnection);
  });
  behind.exec(QEventLoop::ExcludeUserInputEvents);
  return ended_with;
}

void RunDialog::done(int result) {
  if (ending_) return;
  ending_ = true;
  step_timer_.stop();
  time_timer_.stop();
  // Closing the dialog stops the run, behind a step that may still wait for a unit; a run
  // that ended by itself is stopped already.
  if (state_ != RunnerState::Stopped)
    session_->worker.post([session = session_](Link&) { session->runner.runner_stop(); });
  if (idle_.job() == kJobRun) idle_.set_job(kJobNone);
  ended_ = true;
  if (!destroying_) QDialog::done(result);
}

// Sizes the time font from the time fields and the pane font from the pane: both scale with
// the screen's vertical resolution.
void RunDialog::apply_fonts() {
  const int dpi = logicalDpiY();
  const QFont time_font = fixed_font(kTimeFieldHeight * dpi / 100);
  const QFontMetrics metrics(time_font);
  for (RunField* edit : time_) {
    edit->setFont(time_font);
    edit->setFixedSize(
        std::max(metrics.horizontalAdvance(QStringLiteral("00")) + kFieldPadding, kTimeFieldHeight),
        kTimeFieldHeight);
  }
  line_->setFont(time_font);
  line_->setFixedSize(metrics.horizontalAdvance(QStringLiteral("00000")) + kFieldPadding,
                      kTimeFieldHeight);
  // The pane font follows the pane's height, never smaller than the dialog's own font.
  const int pane_pixels = std::max(kPaneMinHeight * dpi / 3000, QFontInfo(font()).pixelSize());
  pane_->setFont(fixed_font(pane_pixels));
}

// White behind the line and time fields while a run is active, the dialog's colour otherwise.
void RunDialog::set_fields_active(bool active) {
  auto paint = [&](RunField* edit) {
    QPalette p = edit->palette();
    p.setColor(QPalette::Base, active ? QColor(Qt::white) : palette().color(QPalette::Window));
    edit->setPalette(p);
  };
  paint(line_);
  for (RunField* edit : time_)
    paint(edit);
}

void RunDialog::show_run_time() {
  // Only fields whose text changed are redrawn: most ticks change the frame alone.
  // The run's clock restarted at its start.
  const auto texts = format_run_time(state_ == RunnerState::Stopped ? 0 : clock_.tick_ms());
  for (std::size_t i = 0; i < texts.size(); ++i)
    time_[i]->show_text(
        QLatin1StringView(texts[i].data(), static_cast<qsizetype>(texts[i].size())));
}

// Calls the runner, then arms the single-shot timer for when it wants to be called again:
// at once while lines remain, at the deadline while it waits, not at all when paused or over.
void RunDialog::drive() {
  step_timer_.stop();
  if (ended_ || state_ == RunnerState::Stopped) return;
  post_step(nullptr);
}

void RunDialog::post_step(std::function<void(Runner&)> first) {
  ++steps_posted_;
  session_->worker.post([session = session_, first = std::move(first)](Link&) {
    if (first) first(session->runner);
    const std::optional<std::uint32_t> next = session->runner.runner_step();
    session->relay([next](RunDialog& d) { d.stepped(next); });
  });
}

void RunDialog::stepped(std::optional<std::uint32_t> next) {
  if (--steps_posted_ > 0) return;  // a later step, posted meanwhile, tells when to go on
  if (!next || ended_ || state_ == RunnerState::Stopped) return;
  const auto ahead = static_cast<std::int32_t>(*next - clock_.tick_ms());
  step_timer_.start(std::max(ahead, 0));
}

void RunDialog::pause_clicked() {
  if (ended_) return;
  step_timer_.stop();
  post_step([](Runner& runner) { runner.pause(); });
}

void RunDialog::skip_clicked() {
  if (ended_) return;
  // The focus leaves Skip at once: the run may reach its next wait before any change of the
  // buttons is reported, and the next Enter or Space is then Pause's, as in every state.
  pause_->setFocus();
  step_timer_.stop();
  post_step([](Runner& runner) { runner.skip(); });
}

void RunDialog::stop_clicked() {
  done(1);  // the run stops behind the dialog
}

void RunDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (placed_) return;
  placed_ = true;
  place_dialog(this, -1, -1);
}

// --- RunnerHost ---------------------------------------------------------------------------

void RunDialog::show_line_number(std::optional<int> line) {
  line_->show_text(line ? QString::asprintf(kLineFormat, *line)
                        : QString::fromLatin1(kLineStopped));
}

void RunDialog::show_output_line(const std::string& text) {
  QString shown = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  if (pane_->isHidden()) {
    // The first output of the run shows the pane, and the dialog grows to hold it.
    pane_->setEnabled(true);
    pane_->setPlainText(shown);
    pane_->show();
    if (isVisible()) {
      resize(size().expandedTo(sizeHint()));
      // Placed once more with its new size, so that it stays in the main window's client area.
      if (!replaced_) {
        replaced_ = true;
        place_dialog(this, -1, -1);
      }
    }
    return;
  }
  pane_->appendPlainText(shown);  // keeps the operator's selection
}

void RunDialog::run_stopped() {
  step_timer_.stop();
  time_timer_.stop();
  for (RunField* edit : time_)
    edit->show_text(QString::fromLatin1(kTimeStopped));
  line_->show_text(QString::fromLatin1(kLineStopped));
  set_fields_active(false);
  pane_->hide();
  pane_->setEnabled(false);
  pane_->clear();
}

void RunDialog::buttons_changed(bool stop_pause_enabled, bool skip_enabled, bool paused) {
  // The buttons follow the runner's state: Stop and Pause while a run is active, Skip while it
  // waits, "Run" while paused.
  state_ = !stop_pause_enabled ? RunnerState::Stopped
           : paused            ? RunnerState::Paused
           : skip_enabled      ? RunnerState::Waiting
                               : RunnerState::Running;
  stop_->setEnabled(stop_pause_enabled);
  pause_->setEnabled(stop_pause_enabled);
  skip_->setEnabled(skip_enabled);
  pause_->setText(with_mnemonic(paused ? kRunText : kPauseText, 0));
  // Pause has the focus in every state: Skip disables itself while focused once a wait ends,
  // and the focus Qt hands on would land on Stop, where the next Enter or Space ends the run.
  if (stop_pause_enabled) pause_->setFocus();
}

void RunDialog::run_ended() {
  state_ = RunnerState::Stopped;
  done(1);
}

}  // namespace qm
