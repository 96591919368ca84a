// The fixture of the GUI tests: a whole App beside a simulated wall (WallRig), plus finding
// a dialog's controls by object name. Dialogs under test are built on this App directly; the
// results of its link thread come back through the event loop, as in the program.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QTest>
#include <QWidget>
#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

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

  // From now on, sent_since_mark() looks at what the wall receives (once the link thread has
  // done what was posted before).
  void mark_traffic() {
    app_.worker.wait_until_idle();
    QCoreApplication::processEvents();
    mark_ = wall_.transcript().size();
  }
  // The requests the wall received since mark_traffic() as hex lines, polls and the function
  // codes `skip` names left out; once at least `at_least` have come, or after 3 s.
  std::vector<std::string> sent_since_mark(std::size_t at_least,
                                           std::initializer_list<std::uint8_t> skip = {}) const {
    std::vector<std::string> out;
    settle(
        [&] {
          out.clear();
          const auto transcript = wall_.transcript();
          for (std::size_t i = mark_; i < transcript.size(); ++i) {
            const auto& e = transcript[i];
            if (e.direction != sim::Direction::ToUnits || e.message.size() < 3 ||
                (e.message[0] & kTypePoll) != 0 ||
                std::find(skip.begin(), skip.end(), e.message[2]) != skip.end())
              continue;
            out.push_back(to_hex(e.message));
          }
          return out.size() >= at_least;
        },
        3000);
    return out;
  }

  // The child of `parent` with the object name, or null.
  template <typename T>
  static T* child(QWidget* parent, const QString& name) {
    return parent->findChild<T*>(name);
  }

 private:
  std::size_t mark_ = 0;
};

}  // namespace qm::test
