// The program stays responsive while every unit is silent: the link thread waits for the units,
// the GUI thread never does. A 20 ms timer in the event loop measures the longest gap while
// Hardware Info scans, Setup's Auto polls and a run waits on a GET, each behind a gateway
// whose units never answer; OK and Stop close their dialogs at once.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "base/ui_helpers_widget.h"
#include "ids.h"
#include "platform/socket.h"
#include "shell/main_window.h"
#include "sim/buses.h"
#include "sim/wall.h"
#include "support/temp_folder.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

constexpr int kTickMs = 20;
constexpr qint64 kLongestGapMs = 100;  // what an operator still takes for "at once"
constexpr int kBusyMs = 1500;          // how long each dialog is used while units are silent

class ResponsivenessTiming : public ::testing::Test {
 protected:
  ResponsivenessTiming() : folder_("responsive"), gateway_(wall_, sim::GatewayOptions{}) {
    fs::create_directories(folder_ / "Quadrimon");
    sim::Faults faults;
    faults.silent = {true, true, true, true};
    wall_.set_faults(faults);
    started_ = gateway_.start();
  }
  // Measures the gaps between the ticks of a 20 ms timer from now on.
  void start_ticks() {
    ticks_.setInterval(kTickMs);
    QObject::connect(&ticks_, &QTimer::timeout, [this] {
      if (since_tick_.isValid()) longest_gap_ = std::max(longest_gap_, since_tick_.elapsed());
      since_tick_.restart();
    });
    ticks_.start();
  }

  // Runs `open` (which opens a modal dialog and returns once it is over); after kBusyMs clicks
  // the button of the dialog then open, and returns how long the dialog took to close.
  qint64 use_and_close(const std::function<void()>& open, const QString& button,
                       const std::function<void(QWidget*)>& meanwhile = nullptr) {
    QElapsedTimer closing;
    qint64 closed_after = -1;
    QTimer::singleShot(0, [&] {
      if (meanwhile) meanwhile(QApplication::activeModalWidget());
    });
    QTimer::singleShot(kBusyMs, [&] {
      QWidget* dialog = QApplication::activeModalWidget();
      ASSERT_NE(dialog, nullptr);
      auto* b = dialog->findChild<QAbstractButton*>(button);
      ASSERT_NE(b, nullptr) << button.toStdString();
      auto* d = qobject_cast<QDialog*>(dialog);
      ASSERT_NE(d, nullptr);
      QObject::connect(d, &QDialog::finished, [&] { closed_after = closing.elapsed(); });
      closing.start();
      b->click();
    });
    open();
    return closed_after;
  }

  TempFolder folder_;
  sim::SimWall wall_;
  sim::Gateway gateway_;
  bool started_ = false;
  QTimer ticks_;
  QElapsedTimer since_tick_;
  qint64 longest_gap_ = 0;
};

TEST_F(ResponsivenessTiming, SilentUnits_NeverHoldTheEventLoop) {
  ASSERT_TRUE(started_);
  const fs::path show = folder_ / "ask.seq";
  std::ofstream(show) << "GET 7 0 4\nGET 7 1 4\n";

  MainWindow w(Settings(folder_ / "Quadrimon", folder_.path()), false);
  SettingsValues& v = w.app().settings.values;
  v.enable_ip = true;
  v.ip = true;
  v.address = *platform::parse_ipv4("127.0.0.1");
  v.tcp_port = gateway_.port();
  for (auto& channels : v.units)
    channels = 16;
  w.app().options.skip_std = true;
  ASSERT_TRUE(w.start({}));
  w.show();
  // The connection is made on the link thread once the loop runs.
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return w.findChild<QLabel*>("linkPart")->text() == " TCP/IP"; }, 5000));
  start_ticks();

  const qint64 info = use_and_close([&] { w.run_command(ids::kCmdHardwareInfo); }, "okButton");
  const qint64 setup = use_and_close([&] { w.run_command(ids::kCmdSetup); }, "okButton",
                                     [](QWidget* dialog) {
                                       ASSERT_NE(dialog, nullptr);
                                       dialog->findChild<QAbstractButton*>("autoButton")->click();
                                     });
  const qint64 run =
      use_and_close([&] { w.run_sequence_file(QString::fromStdString(show.string())); },
                    control_name(ids::kStopButton));
  ticks_.stop();
  std::printf("longest gap %lld ms; closing: Hardware Info %lld ms, Setup %lld ms, run %lld ms\n",
              static_cast<long long>(longest_gap_), static_cast<long long>(info),
              static_cast<long long>(setup), static_cast<long long>(run));

  EXPECT_GE(info, 0);
  EXPECT_LT(info, kLongestGapMs);
  EXPECT_GE(setup, 0);
  EXPECT_LT(setup, kLongestGapMs);
  EXPECT_GE(run, 0);
  EXPECT_LT(run, kLongestGapMs);
  EXPECT_LT(longest_gap_, kLongestGapMs);
  // The units were asked all along: the waits happened, on the link thread.
  EXPECT_GE(wall_.transcript().size(), 3u);
}

}  // namespace
}  // namespace qm::test
