// Pictures of windows for people to look at (scripts/screenshots.sh), taken by the
// Screenshot_* tests when QM_SCREENSHOT_DIR names a folder for them. Without it those tests
// skip, so that a run of every test does not count them as passes.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QWidget>

namespace qm::test {

// The folder the pictures go to, or empty when none are asked for.
QString screenshot_folder();

// Shows the window and saves its picture as `file` (a PNG) in the screenshot folder, made if
// missing. Called by a test that did not skip without a folder, it fails that test.
void save_screenshot(QWidget& window, const QString& file);

}  // namespace qm::test

// The first statement of every Screenshot_* test: skips it when no pictures are asked for.
#define QM_SKIP_UNLESS_SCREENSHOTS()                \
  if (!::qm::test::screenshot_folder().isEmpty()) { \
  } else                                            \
    GTEST_SKIP() << "QM_SCREENSHOT_DIR not set"
