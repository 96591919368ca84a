#include "shell/main_window.h"

#include <cstdio>

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QUrl>

#include "base/path_text.h"
#include "base/paths_widget.h"
#include "base/text_format.h"
#include "base/ui_helpers.h"
#include "base/ui_helpers_widget.h"
#include "compiler/decode_dialog.h"
#include "editor/editor_window.h"
#include "flash/flash_protocol.h"
#include "fontbuilder/font_dialog.h"
#include "ids.h"
#include "link/unit_selection.h"
#include "panels/alignment_dialog.h"
#include "panels/hardware_info_dialog.h"
#include "panels/setup_dialog.h"
#include "panels/video_panels_dialog.h"
#include "platform/paths.h"
#include "runner/run_dialog.h"
#include "shell/about_dialog.h"
#include "shell/buttons_dialog.h"
#include "shell/firmware_update_dialog.h"
#include "shell/options_dialog.h"
#include "shell/remote_directory_dialog.h"
#include "shell/startup.h"
#include "shell/transfer_flows_widget.h"
#include "sim/buses.h"
#include "sim/wall.h"

namespace qm {

namespace {

constexpr int kClientWidth = 640;
constexpr int kClientHeight = 480;
// Right edges of the status bar's parts: link, unit, indicators; the message takes the rest.
// The link and unit parts are at least this wide and widen for a longer text.
constexpr int kLinkPartWidth = 45;
constexpr int kUnitPartWidth = 80 - 45;
constexpr int kIndicatorPartWidth = 116 - 80;
constexpr const char* kEditTitle = " Edit";
constexpr const char* kFilenameError = "Error in filename: %s";
constexpr const char* kEditChooserTitle = "Edit sequence";
constexpr const char* kCompiledFormat = "Compiled %s: %zu bytes";
constexpr const char* kEditChooserFilters =
    "Sequence files (*.seq);;Include files (*.inc);;Text files (*.txt)";

// Whether the path names a sequence file: the extension ".seq" in any case.
bool is_sequence_file(const QString& path) {
  return is_sequence_file_name(path_text_from_qstring(path));
}

// Every menu command: id, text, the menu it stands in ("" for the menu bar itself), and
// whether its panel has landed (the others are shown disabled).
struct MenuCommand {
  int id;
  const char* text;
  const char* menu;
  bool available;
};
constexpr MenuCommand kMenu[] = {
    {ids::kCmdSetup, "&Setup", "&File", true},
    {ids::kCmdReset, "R&eset", "&File", true},
    {ids::kCmdUpdate, "&Update", "&File", true},
    {ids::kCmdOptions, "&Options", "&File", true},
    {ids::kCmdCreateFont, "Create &Font", "&File", true},
    {ids::kCmdHardwareInfo, "&Hardware Info", "&File", true},
    {ids::kCmdExit, "E&xit", "&File", true},
    {ids::kCmdVideoIn, "Video &In", "", true},
    {ids::kCmdVideoOut, "Video &Out", "", true},
    {ids::kCmdFlash, "&Flash", "", true},
    {ids::kCmdNew, "&New", "&Sequence", true},
    {ids::kCmdEdit, "&Edit", "&Sequence", true},
    {ids::kCmdRun, "&Run", "&Sequence", true},
    {ids::kCmdCompile, "&Compile", "&Sequence", true},
    {ids::kCmdDownload, "&Download", "&Sequence", true},
    {ids::kCmdDecode, "Decode", "&Sequence", true},
    {ids::kCmdButtons, "&Buttons", "", true},
    {ids::kCmdKeypad, "&Keypad", "", true},
    {ids::kCmdAlign, "&Align", "", true},
    {ids::kCmdHelp, "&Help", "&Help", true},
    {ids::kCmdAbout, "&About ...", "&Help", true},
};

// Commands that empty the status message before they act.
bool clears_status(int id) {
  return id != ids::kCmdOptions && id != ids::kCmdExit && id != ids::kCmdHelp;
}

// A new folder of the demo's own in the temporary folder, or none when none can be made.
std::unique_ptr<QTemporaryDir> make_demo_folder() {
  return std::make_unique<QTemporaryDir>(
      QDir::temp().filePath(QStringLiteral("quadrimon-demo-XXXXXX")));
}

// The demo's settings: its own folder in place of the operator's (none when it could not be
// made, so that nothing is read or written at all), the same program folder.
Settings demo_settings(const QTemporaryDir& folder, const Settings& operators) {
  return Settings(folder.isValid() ? std::optional(path_from_qstring(folder.path())) : std::nullopt,
                  operators.program_dir());
}

}  // namespace

MainWindow::MainWindow(Settings settings, bool demo)
    : demo_folder_(demo ? make_demo_folder() : nullptr),
      ui_(this),
      app_(ui_, demo_folder_ ? demo_settings(*demo_folder_, settings) : std::move(settings)) {
  setObjectName(QStringLiteral("mainWindow"));
  setWindowTitle(QString::fromLatin1(kWindowTitle));
  setWindowIcon(QIcon(QStringLiteral(":/images/icon32.png")));
  if (demo) start_demo();
  ui_.on_edit([this](const std::string& path, int line) { edit_sequence_file(path, line); });
  ui_.on_remote_link_dropped([this] {
    if (setup_) setup_->remote_link_dropped();
  });
  // The link thread's results run in this window's event loop.
  app_.worker.set_poster([this](std::function<void()> result) {
    QMetaObject::invokeMethod(this, std::move(result), Qt::QueuedConnection);
  });
  app_.idle.set_wake([this] { idle_timer_.start(); });
  idle_timer_.setInterval(0);
  connect(&idle_timer_, &QTimer::timeout, this, &MainWindow::idle_turn);
}

MainWindow::~MainWindow() {
  shutdown();
}

// --- Start-up ---------------------------------------------------------------------------

void MainWindow::start_demo() {
  // A wall of two units behind a gateway on a loopback port, for this run only.
  sim::WallConfig config;
  config.channels = {16, 16, 0, 0};
  wall_ = std::make_unique<sim::SimWall>(config);
  // Signals of every kind on the inputs, so that Video In shows each label.
  wall_->with_unit(0, [](sim::SimUnit& u) { u.set_signal_state(1, SignalState::kNoSignal); });
  wall_->with_unit(1, [](sim::SimUnit& u) {
    u.set_signal_state(0, SignalState::kSyncError);
    u.set_signal_state(1, SignalState::kNoColour);
  });
  gateway_ = std::make_unique<sim::Gateway>(*wall_, sim::GatewayOptions{});
  if (!gateway_->start()) {
    gateway_.reset();
    wall_.reset();
  }
  setWindowTitle(QString::fromLatin1(kWindowTitle) + QString::fromLatin1(kDemoTitleSuffix));
}

bool MainWindow::start(const QStringList& arguments) {
  // The demo never opens the configured link: without its wall (it could not listen) the
  // connection to port 0 fails and says so.
  open_from_settings(
      app_, demo() ? std::optional<std::uint16_t>(gateway_ ? gateway_->port() : 0) : std::nullopt);
  const SettingsValues& v = app_.settings.values;
  // The alignment starts from the factory layout of the installed units until Align reads
  // the units.
  app_.alignment.reset(v.units_array());

  build_menu();
  build_status_bar();
  background_ = QPixmap(QStringLiteral(":/images/background.png"));
  // The client area above the status bar is 640 x 480.
  resize(kClientWidth,
         kClientHeight + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());

  const std::vector<std::string> texts = path_texts_from_qstrings(arguments);
  const bool project_found = choose_start_project(texts, project_places(app_.settings), app_.ui);
  app_.link.show_link_status();
  ui_.show_unit_status(unit_status_text(v.id));
  setAcceptDrops(true);
  help_ = std::make_unique<HelpDesk>(platform::data_dir() / kHelpFolderName, app_.ui, this);
  help_->start();
  if (v.ip) app_.worker.post([](Link& link) { link.tcp_connect(); });
  // Without a project a ".seq" argument is ignored; with one it runs in place of the window.
  if (!project_found) return true;
  const auto sequence = enter_sequence_argument(texts);
  if (!sequence) return true;
  run_sequence_file(qstring_from_path(*sequence));
  return false;
}

void MainWindow::build_menu() {
  std::map<QString, QMenu*> menus;
  for (const MenuCommand& c : kMenu) {
    QAction* action = nullptr;
    const QString text = QString::fromLatin1(c.text);
    if (*c.menu == '\0') {
      action = menuBar()->addAction(text);
    } else {
      QMenu*& menu = menus[QString::fromLatin1(c.menu)];
      if (menu == nullptr) menu = menuBar()->addMenu(QString::fromLatin1(c.menu));
      if (c.id == ids::kCmdExit) menu->addSeparator();
      action = menu->addAction(text);
    }
    action->setObjectName(control_name(c.id));
    action->setEnabled(c.available);
    const int id = c.id;
    connect(action, &QAction::triggered, this, [this, id] { run_command(id); });
    commands_[c.id] = action;
  }
  // Alt+"/" shows About.
  auto* about = new QShortcut(QKeySequence(QStringLiteral("Alt+/")), this);
  connect(about, &QShortcut::activated, this, [this] { run_command(ids::kCmdAbout); });
}

void MainWindow::build_status_bar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(control_name(ids::kStatusBar));
  bar->setSizeGripEnabled(true);
  QtOperatorUi::StatusParts parts;
  parts.link = status_part(bar, QStringLiteral("linkPart"), kLinkPartWidth);
  parts.unit = status_part(bar, QStringLiteral("unitPart"), kUnitPartWidth);
  auto* indicators = new QWidget(bar);
  indicators->setObjectName(QStringLiteral("activityPart"));
  indicators->setFixedWidth(kIndicatorPartWidth);
  for (int i = 0; i < 2; ++i) {
    auto* indicator = new QLabel(indicators);
    indicator->setObjectName(i == 0 ? QStringLiteral("transmitIndicator")
                                    : QStringLiteral("receiveIndicator"));
    indicator->setGeometry(i * 16, 2, 16, 16);
    (i == 0 ? parts.transmit : parts.receive) = indicator;
  }
  parts.message = new QLabel(bar);
  parts.message->setObjectName(QStringLiteral("messagePart"));
  parts.message->setFrameShape(QFrame::Panel);
  parts.message->setFrameShadow(QFrame::Sunken);
  ui_.attach(parts, QPixmap(QStringLiteral(":/images/activity_lit.png")),
             QPixmap(QStringLiteral(":/images/activity_dark.png")));
  bar->addWidget(parts.link);
  bar->addWidget(parts.unit);
  bar->addWidget(indicators);
  bar->addWidget(parts.message, 1);
  bar->installEventFilter(this);
  for (QLabel* l : {parts.link, parts.unit, parts.message})
    l->installEventFilter(this);
}

// --- Commands ---------------------------------------------------------------------------

QAction* MainWindow::command(int id) const {
  auto it = commands_.find(id);
  return it == commands_.end() ? nullptr : it->second;
}

int MainWindow::exec_dialog(QDialog& dialog) {
  // The idle jobs run once per idle turn of the dialog's loop, on a zero timer.
  if (app_.idle.job() != kJobNone) idle_timer_.start();
  return dialog.exec();
}

void MainWindow::run_command(int id) {
  if (clears_status(id)) ui_.clear_status();
  switch (id) {
    case ids::kCmdSetup:
      open_setup();
      break;
    case ids::kCmdReset:
      open_dialog<ResetDialog>(app_.panel_services());
      break;
    case ids::kCmdOptions:
      open_dialog<OptionsDialog>(app_);
      break;
    case ids::kCmdHardwareInfo:
      open_dialog<VersionDialog>(app_.panel_services());
      break;
    case ids::kCmdExit:
      close();
      break;
    case ids::kCmdRun: {
      const QString path =
          QFileDialog::getOpenFileName(this, QString::fromLatin1(kRunSequenceTitle), QString(),
                                       QString::fromLatin1(kRunSequenceFilter));
      if (!path.isEmpty()) run_sequence_file(path);
      break;
    }
    case ids::kCmdCompile: {
      const QString path = QFileDialog::getOpenFileName(
          this, QString::fromLatin1(kCompileTitle), QString(), QString::fromLatin1(kCompileFilter));
      if (!path.isEmpty()) compile_file(path);
      break;
    }
    case ids::kCmdNew:
      edit_sequence_file(std::string(), 0);
      break;
    case ids::kCmdEdit: {
      // The operator may name a file that does not exist yet: the editor offers to create it.
      const QString path = QFileDialog::getSaveFileName(
          this, QString::fromLatin1(kEditChooserTitle), QString(),
          QString::fromLatin1(kEditChooserFilters), nullptr, QFileDialog::DontConfirmOverwrite);
      if (!path.isEmpty()) edit_sequence_file(path_text_from_qstring(path), 0);
      break;
    }
    case ids::kCmdUpdate:
      update_firmware_flow(app_, this);
      break;
    case ids::kCmdButtons:
      open_dialog<ButtonsDialog>(app_);
      break;
    case ids::kCmdAlign:
      open_dialog<AlignmentDialog>(app_.panel_services(), app_.alignment);
      break;
    case ids::kCmdCreateFont:
      create_font_file(app_.font_sizes, app_.ui, this);
      break;
    case ids::kCmdVideoIn:
      open_dialog<VideoInputDialog>(app_.panel_services(), app_.video_input);
      break;
    case ids::kCmdVideoOut:
      open_dialog<VideoOutputDialog>(app_.panel_services(), app_.video_output);
      break;
    case ids::kCmdKeypad:
      open_dialog<KeypadDialog>(app_.panel_services());
      break;
    case ids::kCmdFlash:
      open_dialog<RemoteDirectoryDialog>(app_);
      break;
    case ids::kCmdDownload:
      download_file_to_flash(app_, this, kDownloadSequenceTitle, kSequenceSector, std::string());
      break;
    case ids::kCmdDecode: {
      DecodeDialog dialog(app_.ui, app_.settings.values.field_rate == 60 ? 60 : 50, this);
      if (!dialog.ended()) exec_dialog(dialog);  // ended: the file chooser was cancelled
      break;
    }
    case ids::kCmdHelp:
      if (help_) help_->open();
      break;
    case ids::kCmdAbout:
      open_dialog<AboutDialog>();
      break;
    default:
      break;  // an id without a command of its own does nothing
  }
}

void MainWindow::open_setup() {
  // " Setup IP" when remote access is enabled, else " Setup".
  SetupDialog dialog(app_.panel_services(), app_.settings.values.enable_ip, this);
  setup_ = &dialog;
  exec_dialog(dialog);
  setup_ = nullptr;
}

void MainWindow::compile_file(const QString& path) {
  const int failed = app_.compiler.compile_sequence(
      path_text_from_qstring(path), std::nullopt,
      program_compile_options(app_.options, app_.settings.values.id));
  // A failure has been shown in its box; a success says what was written.
  if (failed != 0) return;
  const std::string written = utf8_from_path(path_from_utf8(app_.compiler.output()).filename());
  ui_.show_status(strprintf(kCompiledFormat, written.c_str(), app_.compiler.image().size()));
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    run_command(ids::kCmdButtons);
    return;
  }
  QMainWindow::mousePressEvent(event);
}

void MainWindow::run_sequence_file(const QString& path) {
  RunDialog dialog(app_.runner_services(), app_.worker, path, this);
  if (!dialog.ended()) exec_dialog(dialog);  // ended: the run could not start
}

// --- Idle turns -------------------------------------------------------------------------

void MainWindow::idle_turn() {
  // A modal dialog waiting for input is the dialog idle source; an open menu the menu one.
  const bool dialog = QApplication::activeModalWidget() != nullptr;
  const bool menu = QApplication::activePopupWidget() != nullptr;
  // A sequence run is driven by its own dialog's timer; its job number only tells the
  // others that a run is active.
  // A job whose step is on the link thread waits for its result, which sets the next job.
  if (app_.idle.job() == kJobNone || app_.idle.job() == kJobRun || app_.idle.waiting() ||
      (!dialog && !menu)) {
    idle_timer_.stop();  // woken again when a job starts or a dialog opens
    return;
  }
  app_.idle.idle(dialog ? IdleSource::Dialog : IdleSource::Menu);
}

// --- The editor -------------------------------------------------------------------------

void MainWindow::edit_sequence_file(const std::string& path, int line) {
  EditorRequest request;
  request.line = line;
  if (!path.empty()) {
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(path_from_utf8(path), error);
    if (error) {
      app_.ui.message_box(kEditTitle, strprintf(kFilenameError, path.c_str()), BoxButtons::Ok,
                          BoxIcon::Error);
      return;
    }
    request.name = utf8_from_path(full);
  }
  // The editor's file choosers may change the current directory; the program's stays.
  const QString current = QDir::currentPath();
  {
    EditorServices services = app_.editor_services();
    services.show_about = [](QWidget* parent) {
      AboutDialog about(parent);
      about.exec();
    };
    services.show_help = [this] {
      if (help_) help_->open(kEditorHelpTopic);
    };
    EditorWindow editor(services, request, this);
    if (!editor.ended()) exec_dialog(editor);
  }
  QDir::setCurrent(current);
}

// --- Painting and the status bar's clicks -----------------------------------------------

void MainWindow::paintEvent(QPaintEvent* event) {
  QMainWindow::paintEvent(event);
  if (background_.isNull()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  const int top = menuBar()->isVisible() ? menuBar()->height() : 0;
  const int bottom = statusBar()->isVisible() ? statusBar()->height() : 0;
  painter.drawPixmap(QRect(0, top, width(), height() - top - bottom), background_);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // Any click on the status bar empties the message; a double click opens Setup.
  if (event->type() == QEvent::MouseButtonPress) ui_.clear_status();
  if (event->type() == QEvent::MouseButtonDblClick) {
    QTimer::singleShot(0, this, [this] { run_command(ids::kCmdSetup); });
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

// --- Dropped files -----------------------------------------------------------------------

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  // Every dropped sequence file runs, in the order given, one after the other; the others are
  // ignored. The runs start once the drop is over, so the dragging program is not held up.
  QStringList files;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile() && is_sequence_file(url.toLocalFile())) files << url.toLocalFile();
  event->acceptProposedAction();
  if (files.isEmpty()) return;
  QTimer::singleShot(0, this, [this, files] {
    for (const QString& file : files)
      run_sequence_file(file);
  });
}

// --- Shutdown ---------------------------------------------------------------------------

void MainWindow::shutdown() {
  if (shut_down_) return;
  shut_down_ = true;
  if (help_) help_->stop();
  ui_.close_for_other_threads();
  if (!demo() && !app_.settings.remote_access_save()) {
    const auto& record = app_.settings.remote_access_files().record;
    std::fprintf(stderr, "QuadrimonControl: the remote-access switch could not be recorded %s\n",
                 record ? ("in " + utf8_from_path(*record)).c_str() : "(no folder to write it to)");
  }
  background_ = QPixmap();
  // The link thread finishes what it does (a silent unit's request ends within seconds),
  // skips what was still to come, and closes the port; the window waits for that only here.
  app_.worker.drop_pending();
  app_.worker.post([](Link& link) { link.com_release(); });
  app_.worker.wait_until_idle();
  app_.worker.set_poster(nullptr);
  // Results still queued for this window go now, while what they hold (a run that never
  // stopped) can still reach the App and the status bar.
  QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
  app_.log.log_enable(false);
  idle_timer_.stop();
  app_.idle.set_wake(nullptr);
  // The demo's folder goes with the window: leave it, so that it can be removed everywhere.
  if (demo()) QDir::setCurrent(QDir::tempPath());
}

}  // namespace qm
