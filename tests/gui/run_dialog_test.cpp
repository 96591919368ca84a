// The run dialog " Sequence" running real sequence files against the simulated wall: the
// timing of waits, Pause, Skip and Stop, the output pane, the error box, the run-time texts;
// and the main window's ways into it (the Run command, dropped files, a ".seq" argument).
#include "runner/run_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <fstream>
#include <functional>

#include "base/ui_helpers_widget.h"
#include "gui/gui_rig.h"
#include "gui/screenshot.h"
#include "ids.h"
#include "shell/main_window.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

class RunDialogTest : public GuiRig {
 protected:
  RunDialogTest() : cwd_(QDir::currentPath()) { app_.options.skip_std = true; }
  ~RunDialogTest() override { QDir::setCurrent(cwd_); }

  // Writes a sequence file into the test folder; its path.
  QString write(const std::string& name, const std::string& text) const {
    std::ofstream(folder_ / name) << text;
    return QString::fromStdString((folder_ / name).string());
  }
  static QPushButton* button(RunDialog& d, int id) {
    return child<QPushButton>(&d, control_name(id));
  }
  static QString label(RunDialog& d, int id) { return button(d, id)->text().remove('&'); }
  static QString field(RunDialog& d, int id) {
    return child<QWidget>(&d, control_name(id))->property("text").toString();
  }
  static QStringList time_fields(RunDialog& d) {
    QStringList out;
    for (int i = 0; i < 4; ++i)
      out << field(d, ids::kHoursField + i);
    return out;
  }
  static bool reaches(RunDialog& d, RunnerState state) {
    return QTest::qWaitFor([&] { return d.state() == state; }, 3000);
  }
  static bool ends(RunDialog& d) {
    return QTest::qWaitFor([&] { return d.ended(); }, 5000);
  }
  bool units_received(std::size_t n) const {
    return QTest::qWaitFor([&] { return sent_to_units().size() >= n; }, 3000);
  }
  // When each unit message (not poll) reached the wall, in ms of the wall's clock.
  std::vector<std::uint64_t> sent_times() const {
    std::vector<std::uint64_t> out;
    for (const auto& e : wall_.transcript())
      if (e.direction == sim::Direction::ToUnits && !(e.message[0] & 0x40)) out.push_back(e.at_ms);
    return out;
  }
  bool has_call(const std::string& call) const {
    const auto calls = ui_.calls();
    return std::find(calls.begin(), calls.end(), call) != calls.end();
  }

  QString cwd_;
};

using Sent = std::vector<std::string>;
// Cases that bound the wall time they take: the suites named *Timing run one at a time, away
// from the other tests' load (CTest label "timing").
using RunDialogTiming = RunDialogTest;

TEST_F(RunDialogTest, FileThatCannotBeOpened_IsReportedAndTheDialogEnds) {
  const std::string missing = (folder_ / "missing.seq").string();
  RunDialog d(app_.runner_services(), app_.worker, QString::fromStdString(missing), nullptr);
  EXPECT_EQ(d.objectName(), "dialog168");
  EXPECT_EQ(d.windowTitle(), " Sequence");
  EXPECT_TRUE(d.ended());
  d.exec();  // returns at once
  EXPECT_FALSE(d.isVisible());
  const auto calls = ui_.calls();
  ASSERT_TRUE(std::any_of(calls.begin(), calls.end(), [&](const std::string& c) {
    return c.rfind("box: Sequence|", 0) == 0 &&
           c.find("Can't open file: " + missing) != std::string::npos;
  }));
  // It never showed a running state.
  EXPECT_EQ(field(d, ids::kLineNumberField), "-----");
  EXPECT_EQ(time_fields(d), QStringList({"--", "--", "--", "--"}));
  EXPECT_FALSE(button(d, ids::kPauseButton)->isEnabled());
  EXPECT_FALSE(button(d, ids::kSkipButton)->isEnabled());
  EXPECT_EQ(app_.idle.job(), kJobNone);
}

TEST_F(RunDialogTiming, SendWaitSend_FramesLeaveTheWaitApartAndTheDialogEnds) {
  connect_serial();
  RunDialog d(app_.runner_services(), app_.worker,
              write("two.seq", "SEND 7 1 40 5\nWAIT 00:00:00.2\nSEND 7 1 40 6\n"), nullptr);
  EXPECT_EQ(app_.idle.job(), kJobRun);  // tells the other idle owners that a run is active
  ASSERT_TRUE(ends(d));
  EXPECT_EQ(d.result(), 1);
  ASSERT_TRUE(units_received(2));
  EXPECT_EQ(sent_to_units(), (Sent{"07 01 28 05", "07 01 28 06"}));
  const auto at = sent_times();
  EXPECT_GE(at[1] - at[0], 180u);
  EXPECT_LT(at[1] - at[0], 800u);  // the wait of 0.2 s, not a whole second
  EXPECT_EQ(app_.idle.job(), kJobNone);
}

TEST_F(RunDialogTest, Pause_WhileLinesRunChangesNothing_DuringAWaitFreezesUntilRun) {
  connect_serial();
  RunDialog d(app_.runner_services(), app_.worker,
              write("pause.seq", "SEND 7 1 40 1\nWAIT 00:00:00.1\nSEND 7 1 40 2\n"), nullptr);
  ASSERT_EQ(d.state(), RunnerState::Running);
  ASSERT_TRUE(button(d, ids::kPauseButton)->isEnabled());
  EXPECT_FALSE(button(d, ids::kSkipButton)->isEnabled());
  button(d, ids::kPauseButton)->click();  // running lines: no pause
  EXPECT_NE(d.state(), RunnerState::Paused);
  EXPECT_EQ(label(d, ids::kPauseButton), "Pause");

  ASSERT_TRUE(reaches(d, RunnerState::Waiting));
  EXPECT_TRUE(button(d, ids::kSkipButton)->isEnabled());
  EXPECT_EQ(field(d, ids::kLineNumberField), "2");
  EXPECT_EQ(
      child<QWidget>(&d, control_name(ids::kLineNumberField))->palette().color(QPalette::Base),
      QColor(Qt::white));
  button(d, ids::kPauseButton)->click();
  ASSERT_TRUE(reaches(d, RunnerState::Paused));
  EXPECT_EQ(label(d, ids::kPauseButton), "Run");

  QTest::qWait(300);  // well past the deadline
  EXPECT_EQ(d.state(), RunnerState::Paused);
  EXPECT_FALSE(d.ended());
  EXPECT_EQ(sent_to_units(), (Sent{"07 01 28 01"}));

  button(d, ids::kPauseButton)->click();  // "Run"
  ASSERT_TRUE(QTest::qWaitFor([&] { return label(d, ids::kPauseButton) == "Pause"; }, 3000));
  ASSERT_TRUE(ends(d));
  ASSERT_TRUE(units_received(2));
  EXPECT_EQ(sent_to_units(), (Sent{"07 01 28 01", "07 01 28 02"}));
}

TEST_F(RunDialogTiming, Skip_EndsAWaitAtOnce) {
  connect_serial();
  RunDialog d(app_.runner_services(), app_.worker,
              write("skip.seq", "SEND 7 1 40 1\nWAIT 00:01:00\nSEND 7 1 40 2\n"), nullptr);
  ASSERT_TRUE(reaches(d, RunnerState::Waiting));
  QElapsedTimer clock;
  clock.start();
  button(d, ids::kSkipButton)->click();
  ASSERT_TRUE(ends(d));
  ASSERT_TRUE(units_received(2));
  EXPECT_LT(clock.elapsed(), 10000);  // of a wait of a minute
  EXPECT_EQ(sent_to_units(), (Sent{"07 01 28 01", "07 01 28 02"}));
}

// Skip disables itself while it has the focus, and the focus would move on to Stop, where the
// operator's next Enter or Space ends the run. Every change of state gives Pause the focus.
TEST_F(RunDialogTest, Skip_TheFocusGoesToPauseNotToStop) {
  connect_serial();
  RunDialog d(app_.runner_services(), app_.worker,
              write("focus.seq", "WAIT 00:01:00\nSEND 7 1 40 1\nWAIT EVENT\n"), nullptr);
  d.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
  ASSERT_TRUE(reaches(d, RunnerState::Waiting));
  QPushButton* pause = button(d, ids::kPauseButton);
  QPushButton* skip = button(d, ids::kSkipButton);
  EXPECT_EQ(d.focusWidget(), pause);
  skip->setFocus();
  QTest::keyClick(skip, Qt::Key_Space);
  ASSERT_TRUE(units_received(1));
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return d.state() == RunnerState::Waiting && skip->isEnabled(); }, 3000));
  EXPECT_EQ(d.focusWidget(), pause);
  // The next key pauses the run; it goes on.
  QTest::keyClick(d.focusWidget(), Qt::Key_Space);
  ASSERT_TRUE(reaches(d, RunnerState::Paused));
  EXPECT_FALSE(d.ended());
  EXPECT_EQ(d.focusWidget(), pause);
}

// The runner's fields hold their size whatever they show, so that the run time's 50 changes a
// second redraw the field that changed and lay out nothing.
TEST_F(RunDialogTest, RunTime_FieldsKeepTheirSizeAndTheDialogIsNotLaidOutAgain) {
  RunDialog d(app_.runner_services(), app_.worker, write("time.seq", "WAIT EVENT\n"), nullptr);
  d.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
  ASSERT_TRUE(reaches(d, RunnerState::Waiting));
  std::vector<QWidget*> fields;
  for (int i = 0; i < 4; ++i)
    fields.push_back(d.findChild<QWidget*>(control_name(ids::kHoursField + i)));
  fields.push_back(d.findChild<QWidget*>(control_name(ids::kLineNumberField)));
  for (QWidget* f : fields) {
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->minimumSize(), f->maximumSize()) << f->objectName().toStdString();
  }
  // Counts the layout requests the dialog gets while the frame count runs.
  struct LayoutRequests : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::LayoutRequest) ++count;
      return false;
    }
  } requests;
  QTest::qWait(100);
  d.installEventFilter(&requests);
  const QString frame_before = field(d, ids::kHoursField + 3);
  QTest::qWait(300);
  d.removeEventFilter(&requests);
  EXPECT_NE(field(d, ids::kHoursField + 3), frame_before);  // the run time went on
  EXPECT_EQ(requests.count, 0);
}

TEST_F(RunDialogTest, StopAndClose_EndTheRunWithoutTheRestOfTheFile) {
  connect_serial();
  const QString path = write("stop.seq", "SEND 7 1 40 1\nWAIT EVENT\nSEND 7 1 40 2\n");
  {
    RunDialog d(app_.runner_services(), app_.worker, path, nullptr);
    ASSERT_TRUE(reaches(d, RunnerState::Waiting));
    button(d, ids::kStopButton)->click();
    EXPECT_TRUE(d.ended());  // at once; the run stops behind it
    EXPECT_EQ(d.result(), 1);
    ASSERT_TRUE(reaches(d, RunnerState::Stopped));
    EXPECT_EQ(time_fields(d), QStringList({"--", "--", "--", "--"}));
    EXPECT_EQ(field(d, ids::kLineNumberField), "-----");
  }
  {
    RunDialog d(app_.runner_services(), app_.worker, path, nullptr);
    ASSERT_TRUE(reaches(d, RunnerState::Waiting));
    d.reject();  // the close box or Esc
    EXPECT_TRUE(d.ended());
    ASSERT_TRUE(reaches(d, RunnerState::Stopped));
  }
  EXPECT_EQ(app_.idle.job(), kJobNone);
  ASSERT_TRUE(units_received(2));
  QTest::qWait(50);
  EXPECT_EQ(sent_to_units(), (Sent{"07 01 28 01", "07 01 28 01"}));
}

TEST_F(RunDialogTest, OutputPane_AppearsAtTheFirstOutputAndGoesAtTheEnd) {
  RunDialog d(app_.runner_services(), app_.worker,
              write("rem.seq", "REM first line\nREM second line\nWAIT EVENT\n"), nullptr);
  auto* pane = child<QPlainTextEdit>(&d, control_name(ids::kOutputPane));
  ASSERT_NE(pane, nullptr);
  EXPECT_TRUE(pane->isHidden());
  ASSERT_TRUE(reaches(d, RunnerState::Waiting));
  EXPECT_FALSE(pane->isHidden());
  EXPECT_TRUE(pane->isReadOnly());
  EXPECT_EQ(pane->toPlainText(), "first line\nsecond line");
  button(d, ids::kSkipButton)->click();
  ASSERT_TRUE(ends(d));
  EXPECT_TRUE(pane->isHidden());
  EXPECT_TRUE(pane->toPlainText().isEmpty());
}

TEST_F(RunDialogTest, RunnerError_EndsTheDialogAndOffersTheEdit) {
  const QString path = write("bad.seq", "REM before\n\nBOGUS 1\n");
  ui_.answer({BoxAnswer::Yes});
  RunDialog d(app_.runner_services(), app_.worker, path, nullptr);
  ASSERT_TRUE(ends(d));
  const std::string p = path.toStdString();
  EXPECT_TRUE(has_call("box: Sequence|ERROR: 'BOGUS' is not a valid command.\n\nSequence: " + p +
                       "\nLine: 3\n\nEdit sequence file ?\n"));
  EXPECT_TRUE(has_call("edit:" + p + ":3"));
}

// --- The main window's ways into the run dialog ------------------------------------------

class MainWindowRunTest : public RunDialogTest {
 protected:
  // A main window whose settings name COM1, the wall's pseudo-terminal.
  std::unique_ptr<MainWindow> window() {
    fs::create_directories(folder_ / "Quadrimon");
    std::ofstream(folder_ / "Quadrimon" / "Orvik.ini") << "ComPort = COM1:\n";
    serial_ = std::make_unique<sim::SerialBus>(wall_, false);
    EXPECT_TRUE(serial_->start());
    auto w = std::make_unique<MainWindow>(Settings(folder_ / "Quadrimon", folder_), false);
    w->app().link.set_port_device(1, serial_->device());
    w->app().options.skip_std = true;
    return w;
  }
};

TEST_F(MainWindowRunTest, RunCommand_AsksForASequenceFileAndRunsIt) {
  const QString path = write("menu.seq", "SEND 7 1 40 9\n");
  auto w = window();
  ASSERT_TRUE(w->start({}));
  ASSERT_TRUE(w->command(ids::kCmdRun)->isEnabled());
  QString title;
  QStringList filters;
  QTimer::singleShot(0, [&] {
    auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(chooser, nullptr);
    title = chooser->windowTitle();
    filters = chooser->nameFilters();
    chooser->selectFile(path);
    static_cast<QDialog*>(chooser)->accept();  // QFileDialog::accept through the public base
  });
  w->run_command(ids::kCmdRun);
  EXPECT_EQ(title, " Run Sequence");
  EXPECT_EQ(filters, QStringList({"Sequence files (*.seq)"}));
  ASSERT_TRUE(units_received(1));
  EXPECT_EQ(sent_to_units(), (Sent{"07 01 28 09"}));
}

// An error found by a step on the link thread is asked on the window's thread, and the step
// waits for the answer: the run stops and its dialog ends first, then the " Sequence" box
// stands over the main window, before the run is over for the caller.
TEST_F(MainWindowRunTest, ErrorInAStep_IsAskedOnTheWindowAfterTheRunStopped) {
  const QString path = write("late.seq", "SEND 7 1 40 1\nWAIT 00:00:00.05\nBOGUS\n");
  auto w = window();
  ASSERT_TRUE(w->start({}));
  QString title, text, owner;
  std::function<void()> answer = [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) {
      QTimer::singleShot(10, answer);  // the run has not reached the error yet
      return;
    }
    title = box->windowTitle();
    text = box->text();
    owner = box->parentWidget() ? box->parentWidget()->objectName() : QString();
    box->button(QMessageBox::No)->click();
  };
  QTimer::singleShot(0, answer);
  // It returns once the question is answered too: a run named on the command line ends the
  // program right after, and its error must have been seen.
  w->run_sequence_file(path);
  EXPECT_EQ(title, " Sequence");
  EXPECT_TRUE(text.startsWith("ERROR: 'BOGUS' is not a valid command.")) << text.toStdString();
  EXPECT_EQ(owner, "mainWindow");
  EXPECT_EQ(sent_to_units(), (Sent{"07 01 28 01"}));
}

// The dialog grows when its output pane appears; it is placed again then, so that it stays in
// the main window's client area instead of reaching over the status bar.
TEST_F(MainWindowRunTest, OutputPane_TheGrownDialogIsPlacedAgainInTheClientArea) {
  auto w = window();
  ASSERT_TRUE(w->start({}));
  w->move(50, 50);
  w->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
  RunDialog d(w->app().runner_services(), w->app().worker,
              write("grow.seq", "REM the show begins\nWAIT EVENT\n"), w.get());
  d.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
  auto* pane = child<QPlainTextEdit>(&d, control_name(ids::kOutputPane));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !pane->isHidden(); }, 3000));
  QTest::qWait(50);
  const QRect placed = d.frameGeometry();
  const int client_top = w->menuBar()->mapToGlobal(QPoint(0, w->menuBar()->height())).y();
  const int client_bottom = w->statusBar()->mapToGlobal(QPoint(0, 0)).y();
  EXPECT_GE(placed.height(), pane->minimumHeight());
  EXPECT_GE(placed.top(), client_top);
  EXPECT_LE(placed.bottom(), client_bottom);
  // Centred in the client area.
  EXPECT_NEAR(placed.center().y(), (client_top + client_bottom) / 2, 10);
  d.reject();
}

TEST_F(MainWindowRunTest, DroppedFiles_SequenceFilesRunInOrderOthersAreIgnored) {
  auto w = window();
  ASSERT_TRUE(w->start({}));
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(write("a.seq", "SEND 7 1 40 1\n")),
                QUrl::fromLocalFile(write("b.txt", "SEND 7 1 40 2\n")),
                QUrl::fromLocalFile(write("c.SEQ", "SEND 7 1 40 3\n"))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w.get(), &drop);
  EXPECT_TRUE(drop.isAccepted());
  ASSERT_TRUE(units_received(2));
  QTest::qWait(50);
  EXPECT_EQ(sent_to_units(), (Sent{"07 01 28 01", "07 01 28 03"}));
}

TEST_F(MainWindowRunTest, SequenceArgument_RunsInItsFolderAndEndsWithoutTheWindow) {
  fs::create_directories(folder_ / "show");
  const QString path = write("show/run.seq", "SEND 7 1 40 4\n");
  {
    auto w = window();
    EXPECT_FALSE(w->start({path}));
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(QDir::current(), QDir(QString::fromStdString((folder_ / "show").string())));
    ASSERT_TRUE(units_received(1));
    EXPECT_EQ(sent_to_units(), (Sent{"07 01 28 04"}));
  }
  EXPECT_TRUE(fs::exists(folder_ / "orvik.ini"));  // the settings recorded on the way out

  // A folder that cannot be entered: the window opens and nothing runs.
  auto w = window();
  EXPECT_TRUE(w->start({QString::fromStdString((folder_ / "nowhere" / "run.seq").string())}));
  QTest::qWait(50);
  EXPECT_EQ(sent_to_units().size(), 1u);
}

TEST_F(RunDialogTest, Screenshot_RunDialog) {
  QM_SKIP_UNLESS_SCREENSHOTS();
  connect_serial();
  RunDialog d(app_.runner_services(), app_.worker,
              write("show.seq",
                    "REM Opening the show\nSEND 7 1 40 5\nREM Scene 1: fade in\nWAIT 00:01:00\n"),
              nullptr);
  d.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
  ASSERT_TRUE(reaches(d, RunnerState::Waiting));
  QTest::qWait(300);
  button(d, ids::kPauseButton)->click();
  QTest::qWait(60);
  save_screenshot(d, "run_dialog.png");
}

}  // namespace
}  // namespace qm::test
