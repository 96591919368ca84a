#include "panels/hardware_info_dialog.h"

#include <QButtonGroup>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "base/idle_jobs.h"
#include "base/text_format.h"
#include "base/ui_helpers_widget.h"
#include "ids.h"
#include "panels/link_ask_widget.h"

namespace qm {
namespace {

constexpr char kVersionTitle[] = " Version Information";
constexpr char kResetTitle[] = " Reset";
constexpr char kResetGroup[] = "Reset ID";
constexpr const char* kResetUnits[] = {"Unit 0", "Unit 1", "Unit 2", "Unit 3"};
constexpr char kResetAllUnits[] = "All Units";
constexpr char kResetPrompt[] = "Select unit to reset and click on OK to initiate.";
constexpr char kOk[] = "OK";
constexpr char kCancel[] = "Cancel";
constexpr char kResetSentUnit[] = "Reset sent to unit %d";
constexpr char kResetSentAll[] = "Reset sent to all units";
constexpr char kResetNotSent[] = "Reset not sent: no link to the units";

constexpr int kLastScanJob = kJobVersionScan + 3;
constexpr int kUnits = kLastScanJob - kJobVersionScan + 1;

// The text with "\r\n" line ends, as the text box takes it.
QString box_text(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()))
      .replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

// The widest label in front of a tab in the version list's lines, in pixels.
int widest_label(const QFontMetrics& metrics) {
  int widest = 0;
  for (const char* format : {kVersionSoftware, kVersionHardware, kVersionSplitSwitch,
                             kVersionEffectSwitch, kVersionFpga}) {
    for (const QString& line : QString::fromLatin1(format).split(QLatin1String("\r\n"))) {
      const qsizetype tab = line.indexOf(QLatin1Char('\t'));
      if (tab > 0) widest = std::max(widest, metrics.horizontalAdvance(line.left(tab)));
    }
  }
  return widest;
}

// The lines of the longest version list: the heading, every unit with all its versions, and
// the closing line. The text box is that high, so the whole list is seen without scrolling.
int longest_list_lines() {
  auto lines = [](const char* text) {
    return static_cast<int>(QString::fromLatin1(text).count(QLatin1String("\r\n")));
  };
  int unit = 0;
  for (const char* format : {kVersionSoftware, kVersionHardware, kVersionSplitSwitch,
                             kVersionEffectSwitch, kVersionFpga, kVersionUnitEnd})
    unit += lines(format);
  return lines(kVersionHeading) + kUnits * unit + 1;
}

// The text with '&' before the character at `at`, so that Alt and that character selects it.
QString with_mnemonic(QString text, qsizetype at) {
  return text.insert(at, QLatin1Char('&'));
}

}  // namespace

// --- Version Information -------------------------------------------------------------------

VersionDialog::VersionDialog(PanelServices services, QWidget* parent)
    : QDialog(parent), services_(services) {
  setObjectName(dialog_name(ids::kVersionDialog));
  setWindowTitle(QString::fromLatin1(kVersionTitle));

  text_ = new QPlainTextEdit(this);
  text_->setObjectName(QStringLiteral("versionText"));
  text_->setReadOnly(true);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setFocusPolicy(Qt::ClickFocus);
  const QFontMetrics metrics(text_->font());
  const int space = metrics.horizontalAdvance(QLatin1Char(' '));
  const int tab = widest_label(metrics) + 2 * space;
  text_->setTabStopDistance(tab);
  // The box holds the longest list whole: its lines, the document's margin above and below
  // them, and the frame.
  const int margin = static_cast<int>(std::ceil(text_->document()->documentMargin()));
  text_->setMinimumSize(tab + metrics.horizontalAdvance(QStringLiteral(" 0x00")) + 12 * space,
                        longest_list_lines() * metrics.lineSpacing() + 2 * margin +
                            2 * text_->frameWidth() + metrics.descent());

  auto* ok = new QPushButton(QString::fromLatin1(kOk), this);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_);
  layout->addLayout(buttons);
  ok->setFocus();

  // The scan runs in the idle turns while this dialog waits, one unit per turn; each unit is
  // read on the link thread, so the dialog answers at once even when units are silent.
  services_.idle.set_job(kJobVersionScan);
  services_.idle.set_step(kJobVersionScan, kLastScanJob, [this](int job) { scan_step(job); });
}

VersionDialog::~VersionDialog() {
  services_.idle.clear_step(kJobVersionScan);
  stop_scan();
}

void VersionDialog::done(int result) {
  stop_scan();
  services_.ui.clear_status();
  QDialog::done(result);
}

void VersionDialog::scan_step(int job) {
  services_.idle.set_waiting();
  ask_link(
      services_.worker, this, [job](Link& link) { return VersionScan::read_unit(link, job); },
      [this, job](const std::string& block) { scan_read(job, block); });
}

void VersionDialog::scan_read(int job, const std::string& block) {
  // A scan ended meanwhile (the dialog is closing) takes no more units.
  if (services_.idle.job() != job || !services_.idle.waiting()) return;
  const int next = scan_.add_unit(job, block);
  text_->setPlainText(box_text(scan_.text()));
  services_.idle.set_job(next);
}

// A scan left behind without its dialog would hold the idle job with no step to run it and
// keep other work (Setup's automatic installation) from starting: it ends with the dialog.
void VersionDialog::stop_scan() {
  const int job = services_.idle.job();
  if (job >= kJobVersionScan && job <= kLastScanJob) services_.idle.set_job(kJobNone);
}

// --- Reset ----------------------------------------------------------------------------------

ResetDialog::ResetDialog(PanelServices services, QWidget* parent)
    : QDialog(parent), services_(services) {
  setObjectName(dialog_name(ids::kResetDialog));
  setWindowTitle(QString::fromLatin1(kResetTitle));

  auto* group = new QGroupBox(QString::fromLatin1(kResetGroup), this);
  group->setObjectName(QStringLiteral("resetGroup"));
  auto* choices = new QButtonGroup(this);
  auto* radios = new QVBoxLayout(group);
  for (int i = 0; i < 5; ++i) {
    const bool all = i == 4;
    // Alt+0..3 picks a unit, Alt+A all units.
    const QString text =
        all ? QString::fromLatin1(kResetAllUnits) : QString::fromLatin1(kResetUnits[i]);
    auto* radio = new QRadioButton(with_mnemonic(text, all ? 0 : text.size() - 1), group);
    radio->setObjectName(all ? QStringLiteral("allUnitsRadio")
                             : QStringLiteral("unit%1Radio").arg(i));
    choices->addButton(radio, i);
    radios->addWidget(radio);
    radios_[static_cast<std::size_t>(i)] = radio;
    connect(radio, &QRadioButton::toggled, this, [this, i, all](bool on) {
      if (on) target_ = all ? -1 : i;
    });
  }

  auto* ok = new QPushButton(QString::fromLatin1(kOk), this);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QString::fromLatin1(kCancel), this);
  cancel->setObjectName(QStringLiteral("cancelButton"));
  connect(ok, &QPushButton::clicked, this, &ResetDialog::send);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* prompt = new QLabel(QString::fromLatin1(kResetPrompt), this);
  prompt->setObjectName(QStringLiteral("resetPrompt"));

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  buttons->addStretch();
  auto* top = new QHBoxLayout;
  top->addWidget(group, 1);
  top->addLayout(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(prompt);

  // The selected unit's radio is checked; with all units selected none is.
  target_ = reset_target(services_.settings.values);
  if (target_ >= 0) radios_[static_cast<std::size_t>(target_)]->setChecked(true);
}

void ResetDialog::send() {
  // The status line says whether the request went out: a reset has no reply to show.
  OperatorUi& ui = services_.ui;
  LinkWorker& worker = services_.worker;
  worker.post([&ui, &worker, target = target_](Link& link) {
    const bool sent = send_reset(link, target);
    worker.deliver([&ui, sent, target] {
      if (!sent)
        ui.show_status(kResetNotSent);
      else if (target < 0)
        ui.show_status(kResetSentAll);
      else
        ui.show_status(strprintf(kResetSentUnit, target));
    });
  });
  accept();
}

}  // namespace qm
