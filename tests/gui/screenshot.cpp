#include "gui/screenshot.h"

#include <QDir>

namespace qm::test {

QString screenshot_folder() {
  return qEnvironmentVariable("QM_SCREENSHOT_DIR");
}

void save_screenshot(QWidget& window, const QString& file) {
  const QString folder = screenshot_folder();
  if (folder.isEmpty()) {
    ADD_FAILURE() << "a screenshot test must skip when QM_SCREENSHOT_DIR is not set";
    return;
  }
  ASSERT_TRUE(QDir().mkpath(folder)) << folder.toStdString();
  window.show();
  const QString path = QDir(folder).filePath(file);
  EXPECT_TRUE(window.grab().save(path)) << path.toStdString();
}

}  // namespace qm::test
