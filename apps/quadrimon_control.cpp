// QuadrimonControl: the operator's program. With --demo it runs on a simulated wall of two
// units in the same process, without touching the operator's settings.
#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <string_view>

#include "shell/main_window.h"

namespace {

constexpr const char* kProgramName = "QuadrimonControl";

constexpr const char* kUsage =
    "Usage: QuadrimonControl [--demo] [DIR/PROJECT.efx] [FILE.seq]\n"
    "\n"
    "The operator's program for the video wall.\n"
    "\n"
    "  --demo            run on a simulated wall of two units (0 and 1) inside the program;\n"
    "                    the operator's settings are neither read nor written\n"
    "  DIR/PROJECT.efx   a first argument with a folder and the extension .efx is the\n"
    "                    project; its path is remembered for the next start\n"
    "  FILE.seq          a sequence file as the last argument runs in the Sequence dialog,\n"
    "                    then the program ends\n"
    "  --help            show this text\n"
    "  --version         show the program's name and version\n";

}  // namespace

int main(int argc, char** argv) {
  // --help and --version answer before the application object exists, so that they work
  // without a display.
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version") {
      std::printf("%s %s\n", kProgramName, QM_VERSION);
      return 0;
    }
  }

  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(kProgramName));
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
