// The fixture of the GUI tests: a whole App beside a simulated wall (WallRig), plus finding
// a dialog's controls by object name. Dialogs under test are built on this App directly; the
// results of its link thread come back through the event loop, as in the program.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QTest>
#include <QWidget>

#include "support/wall_rig.h"

namespace qm::test {

class GuiRig : public WallRig {
 protected:
  explicit GuiRig(std::array<std::uint8_t, 4> channels = {16, 16, 0, 0})
      : GuiRig(wall_of(channels)) {}
  explicit GuiRig(const sim::WallConfig& config) : WallRig(config) {
    app_.worker.set_poster([](std::function<void()> result) {
      QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(result),
                                Qt::QueuedConnection);
    });
  }
  // The link is the test's again once the jobs posted have run.
  ~GuiRig() override { app_.worker.wait_until_idle(); }

  // Runs the event loop until the condition holds (at most ms); its value.
  template <typename Condition>
  static bool settle(Condition condition, int ms = 10000) {
    return QTest::qWaitFor(condition, ms);
  }

  // The child of `parent` with the object name, or null.
  template <typename T>
  static T* child(QWidget* parent, const QString& name) {
    return parent->findChild<T*>(name);
  }
};

}  // namespace qm::test
