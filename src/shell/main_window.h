// The main window: the menu of every command, the background picture over a 640 x 480 client
// area, the four-part status bar with the activity indicators, and the program's start-up and
// shutdown order. Its status bar and message boxes are the core's operator interface
// (QtOperatorUi), and it drives the idle jobs while a modal dialog waits for input.
#pragma once

#include <QMainWindow>
#include <QPixmap>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <map>
#include <memory>
#include <utility>

#include "shell/app.h"
#include "shell/help_widget.h"
#include "shell/operator_ui_widget.h"

class QAction;
class QDialog;
class QLabel;
class QTemporaryDir;

namespace qm {

namespace sim {
class SimWall;
class Gateway;
}  // namespace sim

class SetupDialog;

inline constexpr const char* kWindowTitle = "Quadrimon Control";
inline constexpr const char* kDemoTitleSuffix = " - Demo wall";
inline constexpr const char* kCompileTitle = " Compile Sequence";
inline constexpr const char* kCompileFilter = "Sequence file (*.seq)";
inline constexpr const char* kRunSequenceTitle = " Run Sequence";
inline constexpr const char* kRunSequenceFilter = "Sequence files (*.seq)";
inline constexpr const char* kReadmeTitle = " Readme";

class MainWindow final : public QMainWindow {
 public:
  // settings: where the operator's settings live (Settings::for_this_user() in the program).
  // demo: run on an in-process simulated wall instead of the configured link, with the
  // settings, log and project in a temporary folder of its own that goes at the end.
  MainWindow(Settings settings, bool demo);
  ~MainWindow() override;

  // The start-up order: settings, remote-access rule, log, clock and serial port, window,
  // status bar, project choice, and the connection to the gateway once the loop runs. With a
  // project found and a ".seq" last argument, that file runs first and the result is false:
  // the program then ends without showing the window.
  bool start(const QStringList& arguments);

  App& app() { return app_; }
  // The action of a menu command id (resources/ids.h).
  QAction* command(int id) const;
  // Runs a menu command as the operator's choice would.
  void run_command(int id);
  // Compiles a sequence file as the Compile command does after its file chooser.
  void compile_file(const QString& path);
  // Runs a sequence file in the run dialog, modally, until the run ends.
  void run_sequence_file(const QString& path);
  bool demo() const { return demo_folder_ != nullptr; }
  // The operator interface the core reports through: the status bar and message boxes.
  QtOperatorUi& operator_ui() { return ui_; }
  // Opens the sequence editor on a file (a new one when the path is empty), at a line > 0.
  void edit_sequence_file(const std::string& path, int line);

 protected:
  void paintEvent(QPaintEvent* event) override;
  // The right mouse button in the window opens the sequence buttons.
  void mousePressEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void build_menu();
  void build_status_bar();
  void start_demo();
  // Opens a modal dialog owned by the main window; the idle jobs run while it waits.
  int exec_dialog(QDialog& dialog);
  // Makes a Dialog(args..., this) and runs it with exec_dialog.
  template <typename Dialog, typename... Args>
  void open_dialog(Args&&... args) {
    Dialog dialog(std::forward<Args>(args)..., this);
    exec_dialog(dialog);
  }
  void open_setup();
  void idle_turn();
  void shutdown();

  // The demo's own folder: made before the App, whose settings and log live in it, and
  // removed after it.
  std::unique_ptr<QTemporaryDir> demo_folder_;
  QtOperatorUi ui_;  // before the App, which reports through it
  App app_;
  std::unique_ptr<sim::SimWall> wall_;
  std::unique_ptr<sim::Gateway> gateway_;
  std::unique_ptr<HelpDesk> help_;  // from start-up on
  QPixmap background_;
  QTimer idle_timer_;
  std::map<int, QAction*> commands_;
  QPointer<SetupDialog> setup_;
  bool shut_down_ = false;
};

}  // namespace qm
