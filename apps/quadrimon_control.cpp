// QuadrimonControl: the operator's program. With --demo it runs on a simulated wall of two
// units in the same process, without touching the operator's settings.
#include <QApplication>
#include <QStringList>

#include "shell/main_window.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("QuadrimonControl"));
  QApplication::setApplicationVersion(QStringLiteral(QM_VERSION));

  QStringList arguments = QApplication::arguments();
  arguments.removeFirst();
  const bool demo = arguments.removeAll(QStringLiteral("--demo")) > 0;

  qm::MainWindow window(qm::Settings::for_this_user(), demo);
  // A sequence file given to run ends the program after its run, without showing the window;
  // the window's destructor still records the settings.
  if (!window.start(arguments)) return 0;
  window.show();
  return QApplication::exec();
}
