#include "shell/buttons_dialog.h"

#include <QButtonGroup>
#include <QContextMenuEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "base/path_text.h"
#include "base/paths_widget.h"
#include "base/text_format.h"
#include "base/ui_helpers.h"
#include "base/ui_helpers_widget.h"
#include "flash/flash_protocol.h"
#include "ids.h"
#include "link/unit_selection.h"
#include "panels/unit_selector_widget.h"
#include "runner/run_dialog.h"
#include "shell/app.h"
#include "shell/project.h"
#include "shell/transfer_flows_widget.h"

namespace qm {

namespace {

constexpr int kFirstSlotId = 1010;
constexpr int kProjectButton = 1068;
constexpr int kTabControl = 1266;
constexpr int kLegendField = 1056;
constexpr int kFileField = 1239;
constexpr int kBrowseButton = 1274;
constexpr int kSlotColumns = 4;
constexpr const char* kButtonFileTitle = " Button File";
constexpr const char* kSequenceFilter = "Sequence file (*.seq)";
constexpr const char* kProjectChooserTitle = " Project";
constexpr const char* kProjectFilter = "Project file (*.efx)";
constexpr const char* kMenuSeparator = "    -";

// The action buttons: text, id and mode.
struct ActionSpec {
  const char* text;
  int id;
  ActionMode mode;
};
constexpr ActionSpec kActions[] = {
    {"New", 1268, ActionMode::kNew},       {"Install", 1269, ActionMode::kInstall},
    {"Delete", 1270, ActionMode::kDelete}, {"Cut", 1271, ActionMode::kCut},
    {"Paste", 1272, ActionMode::kPaste},   {"Rename", 1273, ActionMode::kRename},
    {"Edit", 1274, ActionMode::kEdit},     {"Run", 1275, ActionMode::kRun},
};

QString text_of(const std::string& text) {
  return QString::fromStdString(text);
}
std::string text_of(const QString& text) {
  return text.toStdString();
}

}  // namespace

// --- dialog 167 --------------------------------------------------------------------------

ButtonFileDialog::ButtonFileDialog(const QString& title, const QString& legend, const QString& file,
                                   QWidget* parent)
    : QDialog(parent) {
  setObjectName(dialog_name(167));
  setWindowTitle(title);
  legend_ = new QLineEdit(legend, this);
  legend_->setObjectName(control_name(kLegendField));
  file_ = new QLineEdit(file, this);
  file_->setObjectName(control_name(kFileField));
  file_->setMinimumWidth(file_->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 48);
  auto* browse = new QPushButton(QStringLiteral("Browse"), this);
  browse->setObjectName(control_name(kBrowseButton));
  browse->setAutoDefault(false);
  connect(browse, &QPushButton::clicked, this, [this] {
    QFileDialog chooser(this, QString::fromLatin1(kButtonFileTitle));
    chooser.setFileMode(QFileDialog::ExistingFile);
    chooser.setNameFilter(QString::fromLatin1(kSequenceFilter));
    chooser.setDefaultSuffix(QStringLiteral("seq"));
    if (chooser.exec() == QDialog::Accepted && !chooser.selectedFiles().isEmpty())
      file_->setText(QDir::toNativeSeparators(chooser.selectedFiles().front()));
  });
  const DialogButtons buttons = ok_cancel_buttons(this);
  connect(buttons.ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(buttons.cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* file_row = new QHBoxLayout;
  file_row->addWidget(file_, 1);
  file_row->addWidget(browse);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Legend:"), legend_);
  form->addRow(QStringLiteral("File:"), file_row);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(buttons.row);
  legend_->setFocus();
}

std::string ButtonFileDialog::legend() const {
  return text_of(legend_->text());
}
std::string ButtonFileDialog::file() const {
  return text_of(file_->text());
}

// --- the panel ---------------------------------------------------------------------------

ButtonsDialog::ButtonsDialog(App& app, QWidget* parent)
    : QDialog(parent), app_(app), model_(app.buttons) {
  setObjectName(dialog_name(ids::kButtonsDialog));

  auto* project = new QPushButton(QStringLiteral("Project"), this);
  project->setObjectName(control_name(kProjectButton));
  project->setAutoDefault(false);
  auto* done_button = new QPushButton(QStringLiteral("Done"), this);
  done_button->setObjectName(control_name(ids::kDoneButton));
  done_button->setAutoDefault(false);

  auto* action_box = new QGroupBox(QStringLiteral("Action"), this);
  action_box->setObjectName(control_name(1301));
  auto* action_grid = new QGridLayout(action_box);
  actions_ = new QButtonGroup(this);
  actions_->setExclusive(true);
  int index = 0;
  for (const ActionSpec& a : kActions) {
    auto* b = new QPushButton(QString::fromLatin1(a.text), action_box);
    b->setObjectName(control_name(a.id));
    b->setCheckable(true);
    b->setAutoDefault(false);
    actions_->addButton(b, static_cast<int>(a.mode));
    action_grid->addWidget(b, index / 4, index % 4);
    if (a.mode == ActionMode::kPaste) paste_ = b;
    ++index;
  }

  tabs_ = new QTabBar(this);
  tabs_->setObjectName(control_name(kTabControl));
  for (int page = 1; page <= kButtonPages; ++page)
    tabs_->addTab(QString::asprintf("  %d", page));
  auto* slot_grid = new QGridLayout;
  for (int s = 0; s < kButtonsPerPage; ++s) {
    auto* b = new QPushButton(this);
    b->setObjectName(control_name(kFirstSlotId + s));
    b->setAutoDefault(false);
    b->setMinimumSize(120, 30);
    // A hidden slot keeps its place: the pop-up menu and drops find empty slots there.
    QSizePolicy policy = b->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    b->setSizePolicy(policy);
    slot_grid->addWidget(b, s / kSlotColumns, s % kSlotColumns);
    slots_[static_cast<std::size_t>(s)] = b;
    connect(b, &QPushButton::clicked, this, [this, s] { slot_clicked(s); });
  }

  QButtonGroup* units = nullptr;
  QGroupBox* unit_box = unit_radio_box(this, " Unit ID ", true, units);
  unit_box->setObjectName(control_name(1331));

  auto* top = new QHBoxLayout;
  top->addWidget(project);
  top->addWidget(action_box, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(unit_box);
  bottom->addStretch(1);
  bottom->addWidget(done_button);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(tabs_);
  layout->addLayout(slot_grid, 1);
  layout->addLayout(bottom);

  connect(project, &QPushButton::clicked, this, [this] { choose_project(); });
  connect(done_button, &QPushButton::clicked, this, [this] { done(QDialog::Accepted); });
  connect(actions_, &QButtonGroup::idClicked, this,
          [this](int mode) { set_mode(static_cast<ActionMode>(mode)); });
  connect(units, &QButtonGroup::idClicked, this,
          [this](int id) { select_unit(app_.settings.values, app_.ui, id == 4 ? -1 : id); });

  // Opening: the cut buffer emptied, the project loaded (the operator is told once, at the
  // panel's next idle moment, when there is none), the kept page, mode Run, drops accepted.
  model_.cut.reset();
  if (!load_project())
    QTimer::singleShot(0, this, [this] {
      app_.ui.message_box(kTitleProjectBox, kNoValidProject, BoxButtons::Ok, BoxIcon::Warning);
    });
  tabs_->setCurrentIndex(model_.page);
  connect(tabs_, &QTabBar::currentChanged, this, [this](int page) {
    model_.page = page;
    redraw();
  });
  set_mode(ActionMode::kRun);
  setAcceptDrops(true);
  unit_at_open_ = init_unit_selector(app_.settings.values, app_.ui, this, true);
}

ButtonsDialog::~ButtonsDialog() = default;

bool ButtonsDialog::load_project() {
  project_ = find_project(app_.settings.user_folder());
  if (!project_) return false;
  setWindowTitle(text_of(strprintf(kPanelTitle, utf8_from_path(*project_).c_str())));
  model_.clear();
  std::string error;
  const auto table = load_project_file(*project_, error);
  if (!table) return false;
  model_.table = *table;
  return true;
}

BoxAnswer ButtonsDialog::save_project() {
  const BoxAnswer answer = app_.ui.message_box(kTitleSaveChanges, kSaveChangesQuestion,
                                               BoxButtons::YesNoCancelDefaultNo, BoxIcon::Question);
  if (answer != BoxAnswer::Yes || !project_) return answer;
  if (const auto error = save_project_file(*project_, model_.table)) {
    // Nothing is lost: the table stays as it is, still marked modified.
    show_error_box(app_.ui, *error);
    return BoxAnswer::Cancel;
  }
  model_.modified = false;
  return answer;
}

void ButtonsDialog::redraw() {
  const bool spare = spare_view(model_.mode);
  for (int s = 0; s < kButtonsPerPage; ++s) {
    QPushButton* b = slots_[static_cast<std::size_t>(s)];
    const SlotLook look = slot_look(model_.at(s), spare);
    b->setText(text_of(look.text));
    b->setEnabled(look.enabled);
    b->setFlat(look.flat);
    b->setVisible(look.shown);
  }
  paste_->setEnabled(model_.cut && model_.cut->legend);
}

void ButtonsDialog::set_mode(ActionMode mode) {
  model_.mode = mode;
  if (QAbstractButton* b = actions_->button(static_cast<int>(mode))) b->setChecked(true);
  redraw();
}

void ButtonsDialog::slot_clicked(int slot) {
  QWidget* focus = focusWidget();
  const SequenceButton button = model_.at(slot);
  switch (model_.click(slot)) {
    case ClickAction::kNothing:
      break;
    case ClickAction::kNoFile:
      app_.ui.message_box(model_.no_file_title(), kNoSequenceFile, BoxButtons::Ok, BoxIcon::Error);
      break;
    case ClickAction::kRunFile: {
      RunDialog run(app_.runner_services(), app_.worker, text_of(*button.file), this);
      if (!run.ended()) run.exec();
      break;
    }
    case ClickAction::kEditFile:
      edit(*button.file);
      set_mode(ActionMode::kRun);
      break;
    case ClickAction::kAskNew:
      new_button(slot);
      set_mode(ActionMode::kRun);
      break;
    case ClickAction::kAskRename:
      rename_button(slot);
      set_mode(ActionMode::kRun);
      break;
    case ClickAction::kAskDelete:
      if (ask_delete()) {
        model_.erase_slot(slot);
        set_mode(ActionMode::kRun);
      }
      break;
    case ClickAction::kInstallFile:
      install(*button.file);
      set_mode(ActionMode::kRun);
      break;
    case ClickAction::kDone:
      set_mode(model_.mode);
      break;
  }
  redraw();
  if (focus != nullptr) focus->setFocus();
}

bool ButtonsDialog::ask_delete() {
  return app_.ui.message_box(kTitleDeleteButton, kDeleteButtonQuestion,
                             BoxButtons::OkCancelDefaultCancel, BoxIcon::Question) == BoxAnswer::Ok;
}

void ButtonsDialog::install(const std::string& file) {
  const std::filesystem::path source = path_from_utf8(file);
  const std::filesystem::path target = SequenceButtons::install_target(source);
  const int failed = app_.compiler.compile_sequence(
      utf8_from_path(source), utf8_from_path(target),
      program_compile_options(app_.options, app_.settings.values.id));
  if (failed != 0) return;  // the compiler has shown the error
  download_dropped_file(app_, this, kSequenceSector, text_of(utf8_from_path(target)));
}

void ButtonsDialog::edit(const std::string& file) {
  app_.ui.edit_sequence_file(file, 0);
}

void ButtonsDialog::new_button(int slot) {
  ButtonFileDialog dialog(QString::fromLatin1(kTitleAddButton), {}, {}, this);
  if (dialog.exec() == QDialog::Accepted) model_.add_button(slot, dialog.legend(), dialog.file());
}

void ButtonsDialog::rename_button(int slot) {
  const SequenceButton& b = model_.at(slot);
  ButtonFileDialog dialog(QString::fromLatin1(kTitleRenameButton), text_of(b.legend.value_or("")),
                          text_of(b.file.value_or("")), this);
  if (dialog.exec() == QDialog::Accepted)
    model_.rename_button(slot, dialog.legend(), dialog.file());
}

void ButtonsDialog::choose_project() {
  QFileDialog chooser(this, QString::fromLatin1(kProjectChooserTitle));
  chooser.setAcceptMode(QFileDialog::AcceptSave);
  chooser.setOption(QFileDialog::DontConfirmOverwrite, true);
  chooser.setNameFilter(QString::fromLatin1(kProjectFilter));
  chooser.setDefaultSuffix(QStringLiteral("efx"));
  if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return;
  if (model_.modified) save_project();
  model_.clear();
  remember_project(app_.settings.user_folder(),
                   path_text_from_qstring(chooser.selectedFiles().front()), app_.ui);
  if (!load_project())
    app_.ui.message_box(kTitleProjectBox, kNoValidProject, BoxButtons::Ok, BoxIcon::Warning);
  set_mode(ActionMode::kRun);
}

int ButtonsDialog::slot_at(const QPoint& pos) const {
  for (int s = 0; s < kButtonsPerPage; ++s)
    if (slots_[static_cast<std::size_t>(s)]->geometry().contains(pos)) return s;
  return -1;
}

void ButtonsDialog::contextMenuEvent(QContextMenuEvent* event) {
  // A disabled or hidden slot gets no events of its own: the panel finds it by its place.
  QWidget* child = childAt(event->pos());
  int slot = -1;
  for (int s = 0; s < kButtonsPerPage; ++s)
    if (child == slots_[static_cast<std::size_t>(s)]) slot = s;
  if (slot < 0) slot = slot_at(event->pos());
  if (slot < 0) return;
  QMenu menu(this);
  const SequenceButton button = model_.at(slot);
  if (button.in_use()) {
    QAction* cut = menu.addAction(QStringLiteral("Cut"));
    QAction* edit_action = menu.addAction(QStringLiteral("Edit"));
    QAction* rename = menu.addAction(QStringLiteral("Rename"));
    QAction* erase = menu.addAction(QStringLiteral("Delete"));
    QAction* install_action = menu.addAction(QStringLiteral("Install"));
    menu.addAction(QString::fromLatin1(kMenuSeparator));
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == cut) {
      model_.cut_slot(slot);
    } else if (chosen == edit_action && button.file) {
      edit(*button.file);
    } else if (chosen == rename) {
      rename_button(slot);
    } else if (chosen == erase && ask_delete()) {
      model_.erase_slot(slot);
      model_.mode = ActionMode::kRun;
    } else if (chosen == install_action && button.file) {
      install(*button.file);
    }
  } else {
    QAction* add = menu.addAction(QStringLiteral("New"));
    QAction* paste = menu.addAction(QStringLiteral("Paste"));
    paste->setEnabled(model_.cut && model_.cut->legend);
    menu.addAction(QString::fromLatin1(kMenuSeparator));
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == add)
      new_button(slot);
    else if (chosen == paste)
      model_.paste_slot(slot);
  }
  set_mode(model_.mode);
}

void ButtonsDialog::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void ButtonsDialog::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() != 1 || !urls.front().isLocalFile()) return;
  const QString path = urls.front().toLocalFile();
  const auto legend = SequenceButtons::dropped_legend(path_from_qstring(path));
  const int slot = slot_at(event->position().toPoint());
  if (!legend || slot < 0 || model_.at(slot).in_use() || spare_view(model_.mode)) return;
  event->acceptProposedAction();
  // The question runs once the drop is over.
  QTimer::singleShot(0, this, [this, slot, path, legend = *legend] {
    ButtonFileDialog dialog(QString::fromLatin1(kTitleAddButton), text_of(legend),
                            QDir::toNativeSeparators(path), this);
    if (dialog.exec() != QDialog::Accepted) return;
    const std::string new_legend = dialog.legend();
    const std::string new_file = dialog.file();
    if (new_legend.empty() || new_file.empty()) return;
    SequenceButton& b = model_.at(slot);
    b.file = new_file;
    b.legend = new_legend;
    model_.modified = true;
    set_mode(ActionMode::kRun);
  });
}

void ButtonsDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (placed_) return;
  placed_ = true;
  place_dialog(this, -1, -1);
}

void ButtonsDialog::done(int result) {
  // The unit at open decides whether all units stay allowed: with unit 0 at open a selection
  // of all units falls back to unit 0.
  init_unit_selector(app_.settings.values, app_.ui, this, unit_at_open_ != 0);
  if (model_.modified && save_project() == BoxAnswer::Cancel) return;
  if (project_) remember_project(app_.settings.user_folder(), utf8_from_path(*project_), app_.ui);
  model_.cut.reset();
  QDialog::done(result);
}

}  // namespace qm
