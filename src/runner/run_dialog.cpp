#include "runner/run_dialog.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

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

QLineEdit* field(QWidget* parent, int id, const char* text) {
  auto* edit = new QLineEdit(QString::fromLatin1(text), parent);
  edit->setObjectName(control_name(id));
  edit->setReadOnly(true);
  edit->setFocusPolicy(Qt::NoFocus);
  edit->setAlignment(Qt::AlignCenter);
  edit->setTextMargins(0, 0, 0, 0);
  edit->setAutoFillBackground(true);
  return edit;
}

QLabel* caption(QWidget* parent, const char* text, const QString& name) {
  auto* label = new QLabel(QString::fromLatin1(text), parent);
  label->setObjectName(name);
  label->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
  return label;
}

}  // namespace

RunDialog::RunDialog(RunnerServices services, const QString& path, QWidget* parent)
    : QDialog(parent), clock_(services.clock), runner_(services) {
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

  line_ = field(this, ids::kLineNumberField, kLineStopped);
  auto* line_column = new QVBoxLayout;
  line_column->addWidget(caption(this, kLineNumberText, QStringLiteral("lineNumberLabel")));
  line_column->addWidget(line_);

  static const char* const kCaptionNames[4] = {"hoursLabel", "minutesLabel", "secondsLabel",
                                               "frameLabel"};
  auto* times = new QGridLayout;
  times->setHorizontalSpacing(4);
  for (int i = 0; i < 4; ++i) {
    const auto n = static_cast<std::size_t>(i);
    time_[n] = field(this, ids::kHoursField + i, kTimeStopped);
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

  // The runner sets the idle job to the sequence run, which tells the other owners of the idle
  // dispatcher that a run is active; the steps themselves are driven here, by a single-shot
  // timer armed for the moment the runner asks to be called again.
  if (runner_.runner_start(*this, path.toStdString()) == 0) {
    ended_ = true;  // reported by the runner; its stop may have ended the dialog already
    if (result() == 0) setResult(QDialog::Rejected);
    return;
  }
  if (ended_) return;  // an empty file ends as it starts
  set_fields_active(true);
  show_run_time();
  time_timer_.start();
  pause_->setFocus();
  step_timer_.start(0);
}

RunDialog::~RunDialog() {
  destroying_ = true;
  step_timer_.stop();
  time_timer_.stop();
  if (runner_.state() != RunnerState::Stopped) runner_.runner_stop();
}

int RunDialog::exec() {
  return ended_ ? result() : QDialog::exec();
}

void RunDialog::done(int result) {
  if (ending_) return;
  ending_ = true;
  step_timer_.stop();
  time_timer_.stop();
  // Closing the dialog stops the run; a run that ended by itself is stopped already.
  if (runner_.state() != RunnerState::Stopped) runner_.runner_stop();
  ended_ = true;
  QDialog::done(result);
}

// Sizes the time font from the time fields and the pane font from the pane: both scale with
// the screen's vertical resolution.
void RunDialog::apply_fonts() {
  const int dpi = logicalDpiY();
  const QFont time_font = fixed_font(kTimeFieldHeight * dpi / 100);
  const QFontMetrics metrics(time_font);
  for (QLineEdit* edit : time_) {
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
  auto paint = [&](QLineEdit* edit) {
    QPalette p = edit->palette();
    p.setColor(QPalette::Base, active ? QColor(Qt::white) : palette().color(QPalette::Window));
    edit->setPalette(p);
  };
  paint(line_);
  for (QLineEdit* edit : time_)
    paint(edit);
}

void RunDialog::show_run_time() {
  // Only fields whose text changed are redrawn: most ticks change the frame alone.
  const auto texts = format_run_time(runner_.run_time());
  for (std::size_t i = 0; i < texts.size(); ++i)
    if (time_[i]->text() != texts[i].c_str()) time_[i]->setText(texts[i].c_str());
}

// Calls the runner, then arms the single-shot timer for when it wants to be called again:
// at once while lines remain, at the deadline while it waits, not at all when paused or over.
void RunDialog::drive() {
  step_timer_.stop();
  if (ended_ || runner_.state() == RunnerState::Stopped) return;
  const std::optional<std::uint32_t> next = runner_.runner_step();
  if (!next || ended_ || runner_.state() == RunnerState::Stopped) return;
  const auto ahead = static_cast<std::int32_t>(*next - clock_.tick_ms());
  step_timer_.start(std::max(ahead, 0));
}

void RunDialog::pause_clicked() {
  runner_.pause();
  drive();
}

void RunDialog::skip_clicked() {
  runner_.skip();
  drive();
}

void RunDialog::stop_clicked() {
  runner_.runner_stop();
}

void RunDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (placed_) return;
  placed_ = true;
  place_dialog(this, -1, -1);
}

// --- RunnerHost ---------------------------------------------------------------------------

void RunDialog::show_line_number(std::optional<int> line) {
  line_->setText(line ? QString::asprintf(kLineFormat, *line) : QString::fromLatin1(kLineStopped));
}

void RunDialog::show_output_line(const std::string& text) {
  QString shown = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  if (pane_->isHidden()) {
    // The first output of the run shows the pane, and the dialog grows to hold it.
    pane_->setEnabled(true);
    pane_->setPlainText(shown);
    pane_->show();
    if (isVisible()) resize(size().expandedTo(sizeHint()));
    return;
  }
  pane_->appendPlainText(shown);  // keeps the operator's selection
}

void RunDialog::run_stopped() {
  step_timer_.stop();
  time_timer_.stop();
  for (QLineEdit* edit : time_)
    edit->setText(QString::fromLatin1(kTimeStopped));
  line_->setText(QString::fromLatin1(kLineStopped));
  set_fields_active(false);
  pane_->hide();
  pane_->setEnabled(false);
  pane_->clear();
}

void RunDialog::buttons_changed(bool stop_pause_enabled, bool skip_enabled, bool paused) {
  stop_->setEnabled(stop_pause_enabled);
  pause_->setEnabled(stop_pause_enabled);
  skip_->setEnabled(skip_enabled);
  pause_->setText(with_mnemonic(paused ? kRunText : kPauseText, 0));
}

void RunDialog::run_ended() {
  ended_ = true;
  if (!destroying_) done(1);
}

}  // namespace qm
