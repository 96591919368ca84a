// The fixture of the GUI tests: a whole App beside a simulated wall (WallRig), plus finding
// a dialog's controls by object name. Dialogs under test are built on this App directly.
#pragma once

#include <QString>
#include <QTest>
#include <QWidget>

#include "support/wall_rig.h"

namespace qm::test {

class GuiRig : public WallRig {
 protected:
  using WallRig::WallRig;

  // The child of `parent` with the object name, or null.
  template <typename T>
  static T* child(QWidget* parent, const QString& name) {
    return parent->findChild<T*>(name);
  }
};

}  // namespace qm::test
