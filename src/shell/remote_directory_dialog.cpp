#include "shell/remote_directory_dialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "base/text_format.h"
#include "base/ui_helpers.h"
#include "base/ui_helpers_widget.h"
#include "flash/key_character_dialog.h"
#include "ids.h"
#include "link/unit_selection.h"
#include "panels/link_ask_widget.h"
#include "panels/unit_selector_widget.h"
#include "shell/app.h"
#include "shell/flash_name_dialog.h"
#include "shell/transfer_flows_widget.h"

namespace qm {

namespace {

constexpr int kSectorCount = 5;
constexpr int kOpeningPollTries = 3;
constexpr const char* kFilenameLabel = "Filename:";
constexpr const char* kUnitGroup = " Unit ID ";
constexpr const char* kDoneText = "Done";
constexpr const char* kOldNameLabel = "Old filename:";
constexpr const char* kNewNameLabel = "New filename:";

// The buttons in mask order, with their ids and texts.
struct ButtonSpec {
  int id;
  const char* text;
};
constexpr ButtonSpec kButtons[kDirectoryButtonCount] = {
    {ids::kRunFileButton, "Run"},
    {ids::kStopButton, "Stop"},
    {ids::kDeleteFileButton, "Delete"},
    {ids::kRenameFileButton, "Rename"},
    {ids::kUploadFileButton, "Upload"},
    {ids::kDownloadFileButton, "Download"},
    {ids::kEditFileButton, "Edit"},
    {ids::kRestoreSectorButton, "Restore"},
    {ids::kInitialSequenceButton, "Initial sequence"},
    {ids::kMapKeyButton, "Map"},
};

QString latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
std::string latin1(const QString& text) {
  return text.toLatin1().toStdString();
}

// Draws a listing entry "name\tsize" as two columns: the name, and the size at a tab stop
// wide enough for the longest name. Each entry is a third of the list wide, so the list
// shows three columns of files.
class ListingDelegate final : public QStyledItemDelegate {
 public:
  explicit ListingDelegate(QListWidget* list) : QStyledItemDelegate(list), list_(list) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QString text = item.text;
    item.text.clear();
    QWidget* view = list_;
    view->style()->drawControl(QStyle::CE_ItemViewItem, &item, painter, view);
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    const QRect area = item.rect.adjusted(margin(), 0, -margin(), 0);
    const QPalette::ColorRole role =
        (item.state & QStyle::State_Selected) != 0 ? QPalette::HighlightedText : QPalette::Text;
    painter->save();
    painter->setPen(item.palette.color(role));
    painter->drawText(area, Qt::AlignVCenter | Qt::AlignLeft, text.left(tab));
    if (tab >= 0)
      painter->drawText(area.adjusted(tab_stop(), 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
                        text.mid(tab + 1).trimmed());
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const QSize natural = QStyledItemDelegate::sizeHint(option, index);
    const int third = list_->viewport()->width() / 3 - 1;
    const int least =
        tab_stop() + list_->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 2 * margin();
    return {std::max(third, least), natural.height()};
  }

 private:
  int margin() const { return list_->fontMetrics().horizontalAdvance(QLatin1Char(' ')); }
  // Past the widest 12-character name.
  int tab_stop() const {
    return list_->fontMetrics().horizontalAdvance(QStringLiteral("WWWWWWWW.WWW")) * 3 / 4 +
           margin();
  }

  QListWidget* list_;
};

}  // namespace

// --- the directory -------------------------------------------------------------------------

RemoteDirectoryDialog::RemoteDirectoryDialog(App& app, QWidget* parent)
    : QDialog(parent), app_(app) {
  setObjectName(dialog_name(ids::kRemoteDirectoryDialog));
  setWindowTitle(QString::fromLatin1(kTitleRemoteDirectory));

  tabs_ = new QTabBar(this);
  tabs_->setObjectName(control_name(ids::kSectorTabs));
  tabs_->setExpanding(false);
  for (int sector = 1; sector <= kSectorCount; ++sector)
    tabs_->addTab(latin1(strprintf(kTabText, sector)));

  sector_name_ = new QLabel(this);
  sector_name_->setObjectName(control_name(ids::kSectorNameText));
  space_ = new QLabel(this);
  space_->setObjectName(control_name(ids::kSpaceText));
  space_->setTextFormat(Qt::PlainText);

  list_ = new QListWidget(this);
  list_->setObjectName(control_name(ids::kFileList));
  list_->setFlow(QListView::TopToBottom);
  list_->setWrapping(true);
  list_->setResizeMode(QListView::Adjust);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setItemDelegate(new ListingDelegate(list_));
  list_->setMinimumSize(list_->fontMetrics().horizontalAdvance(QLatin1Char('W')) * 48,
                        list_->fontMetrics().lineSpacing() * 12);

  name_ = new QLineEdit(this);
  name_->setObjectName(control_name(ids::kFilenameField));
  name_->setMaxLength(kMaxFlashName);
  name_->setMinimumWidth(name_->fontMetrics().horizontalAdvance(QString(kMaxFlashName + 2, 'W')));

  auto* button_column = new QVBoxLayout;
  for (int i = 0; i < kDirectoryButtonCount; ++i) {
    auto* button = new QPushButton(QString::fromLatin1(kButtons[i].text), this);
    button->setObjectName(control_name(kButtons[i].id));
    button->setAutoDefault(false);
    buttons_[static_cast<std::size_t>(i)] = button;
    button_column->addWidget(button);
  }
  button_column->addStretch(1);

  QButtonGroup* unit_group = nullptr;
  QGroupBox* unit_box = unit_radio_box(this, kUnitGroup, false, unit_group);

  auto* done = new QPushButton(QString::fromLatin1(kDoneText), this);
  done->setObjectName(control_name(ids::kDoneButton));
  done->setDefault(true);
  connect(done, &QPushButton::clicked, this, &QDialog::accept);

  auto* heading = new QHBoxLayout;
  heading->addWidget(sector_name_);
  heading->addStretch(1);
  heading->addWidget(space_);
  auto* name_row = new QFormLayout;
  name_row->addRow(QString::fromLatin1(kFilenameLabel), name_);
  auto* page = new QVBoxLayout;
  page->addLayout(heading);
  page->addWidget(list_, 1);
  page->addLayout(name_row);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(unit_box);
  bottom->addStretch(1);
  bottom->addWidget(done, 0, Qt::AlignBottom);

  auto* grid = new QGridLayout(this);
  grid->addWidget(tabs_, 0, 0);
  grid->addLayout(page, 1, 0);
  grid->addLayout(button_column, 0, 1, 2, 1);
  grid->addLayout(bottom, 2, 0, 1, 2);
  grid->setRowStretch(1, 1);
  grid->setColumnStretch(0, 1);

  // Opening: the units polled (what they answer does not matter here), the unit chosen (unit
  // 0 in place of all units), an empty name, the Sequence sector listed.
  // The unit the panel reads (unit 0 when all are selected): a poll of every unit at
  // once is never answered and would hold the first reading up by its whole time-out.
  app_.worker.post([address = read_address(app_.settings.values)](Link& link) {
    link.unit_poll_unit(address, kOpeningPollTries);
  });
  init_unit_selector(app_.settings.values, app_.ui, this, false);
  tabs_->setCurrentIndex(kOpeningTab);
  show_sector_listing();
  apply_mask(kMaskNoFile);
  setAcceptDrops(true);

  connect(tabs_, &QTabBar::currentChanged, this, [this] { tab_changed(); });
  connect(unit_group, &QButtonGroup::idClicked, this, [this](int unit) { unit_chosen(unit); });
  connect(list_, &QListWidget::itemSelectionChanged, this, [this] { selection_changed(); });
  connect(list_, &QListWidget::itemDoubleClicked, this, [this] { double_clicked(); });
  connect(name_, &QLineEdit::textChanged, this, [this](const QString& t) { name_edited(t); });
  const std::array<void (RemoteDirectoryDialog::*)(), kDirectoryButtonCount> actions = {
      &RemoteDirectoryDialog::run_file,         &RemoteDirectoryDialog::stop_sequence,
      &RemoteDirectoryDialog::delete_file,      &RemoteDirectoryDialog::rename_file,
      &RemoteDirectoryDialog::upload_file,      &RemoteDirectoryDialog::download_file,
      &RemoteDirectoryDialog::edit_file,        &RemoteDirectoryDialog::restore_sector,
      &RemoteDirectoryDialog::initial_sequence, &RemoteDirectoryDialog::map_key};
  for (std::size_t i = 0; i < actions.size(); ++i)
    connect(buttons_[i], &QPushButton::clicked, this, actions[i]);
  name_->setFocus();
}

RemoteDirectoryDialog::~RemoteDirectoryDialog() {
  if (pending_ > 0) QApplication::restoreOverrideCursor();
}

int RemoteDirectoryDialog::tab() const {
  return tabs_->currentIndex();
}

std::string RemoteDirectoryDialog::named_file() const {
  return latin1(name_->text());
}

void RemoteDirectoryDialog::exchange(std::function<std::function<void()>(FlashFiles&)> work) {
  if (pending_++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
  const auto address = static_cast<std::uint8_t>(app_.settings.values.id);
  ask_link(
      app_.worker, this,
      [address, work = std::move(work)](Link& link) {
        FlashFiles flash(link, address);
        return work(flash);
      },
      [this](const std::function<void()>& then) {
        exchange_done();
        if (then) then();
      });
}

void RemoteDirectoryDialog::exchange_done() {
  if (--pending_ == 0) QApplication::restoreOverrideCursor();
}

void RemoteDirectoryDialog::show_sector_listing() {
  const int request = ++listing_request_;
  const int shown_tab = tab();
  filling_ = true;
  list_->clear();
  filling_ = false;
  exchange([this, request, shown_tab](FlashFiles& flash) -> std::function<void()> {
    auto listing = read_sector_listing(flash, shown_tab);
    return [this, request, listing = std::move(listing)] { show_listing(request, listing); };
  });
}

void RemoteDirectoryDialog::show_listing(int request, const std::optional<SectorListing>& listing) {
  // A listing asked for before another one (a tab or unit changed meanwhile) is stale.
  if (request != listing_request_) return;
  if (!listing) {
    show_remote_read_failure(app_.ui);
    return;
  }
  app_.ui.clear_status();
  sector_name_->setText(latin1(listing->sector_name));
  space_->setText(latin1(listing->space));
  filling_ = true;
  list_->clear();
  for (const std::string& entry : listing->entries)
    list_->addItem(latin1(entry));
  filling_ = false;
}

void RemoteDirectoryDialog::apply_mask(unsigned mask) {
  mask_ = mask;
  for (int i = 0; i < kDirectoryButtonCount; ++i)
    buttons_[static_cast<std::size_t>(i)]->setEnabled(
        button_enabled(mask, static_cast<DirectoryButton>(i)));
}

void RemoteDirectoryDialog::clear_name() {
  name_->clear();
  apply_mask(kMaskNoFile);
}

bool RemoteDirectoryDialog::write_allowed(DirectoryAction action) {
  if (action_allowed(action, tab(), app_.options)) return true;
  app_.ui.message_box(kTitleWriteProtected, kWriteProtected, BoxButtons::Ok, BoxIcon::Error);
  return false;
}

void RemoteDirectoryDialog::tab_changed() {
  show_sector_listing();
  clear_name();
}

void RemoteDirectoryDialog::unit_chosen(int unit) {
  select_unit(app_.settings.values, app_.ui, unit);
  show_sector_listing();
}

void RemoteDirectoryDialog::selection_changed() {
  if (filling_) return;
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  if (selected.isEmpty()) {
    clear_name();
    return;
  }
  name_->setText(latin1(entry_name(latin1(selected.front()->text()))));
  apply_mask(buttons_for_name(named_file(), tab()));
}

void RemoteDirectoryDialog::double_clicked() {
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  if (selected.isEmpty()) return;
  const std::string name = entry_name(latin1(selected.front()->text()));
  name_->setText(latin1(name));
  switch (double_click_action(name)) {
    case DoubleClick::kRun:
      run_sequence(name);
      break;
    case DoubleClick::kUploadAndSave:
      upload_and_save(app_, this, sector(), name);
      break;
    case DoubleClick::kNothing:
      break;
  }
}

void RemoteDirectoryDialog::name_edited(const QString& text) {
  apply_mask(text.isEmpty() ? kMaskNoFile : buttons_for_name(latin1(text), tab()));
}

void RemoteDirectoryDialog::run_file() {
  // The named file: the selected entry's name, or the one the operator typed.
  const std::string name = named_file();
  if (name.empty() || double_click_action(name) != DoubleClick::kRun) return;
  run_sequence(name);
}

void RemoteDirectoryDialog::run_sequence(const std::string& name) {
  const std::uint8_t in = sector();
  exchange([in, name](FlashFiles& flash) -> std::function<void()> {
    flash.flash_run(in, name);
    return {};
  });
}

void RemoteDirectoryDialog::stop_sequence() {
  exchange([](FlashFiles& flash) -> std::function<void()> {
    flash.flash_stop();
    return {};
  });
}

void RemoteDirectoryDialog::delete_file() {
  const std::string name = named_file();
  if (name.empty() || !write_allowed(DirectoryAction::kDelete)) return;
  const std::uint8_t in = sector();
  if (app_.ui.message_box(kTitleDelete, delete_question(in, name), BoxButtons::YesNoDefaultNo,
                          BoxIcon::Question) != BoxAnswer::Yes)
    return;
  exchange([this, in, name](FlashFiles& flash) -> std::function<void()> {
    if (!delete_flash_file(flash, in, name)) return {};  // already gone: nothing changes
    return [this] {
      show_sector_listing();
      clear_name();
    };
  });
}

void RemoteDirectoryDialog::rename_file() {
  if (!write_allowed(DirectoryAction::kRename)) return;
  const std::string name = named_file();
  if (!name.empty()) {
    FlashRenameDialog dialog(latin1(name), this);
    if (dialog.exec() == kRenameOk) {
      const std::uint8_t in = sector();
      exchange([this, in, old_name = dialog.old_name(),
                new_name = dialog.new_name()](FlashFiles& flash) -> std::function<void()> {
        rename_flash_file(flash, in, old_name, new_name);
        return [this] { show_sector_listing(); };
      });
    }
  }
  clear_name();
}

void RemoteDirectoryDialog::upload_file() {
  const std::string name = named_file();
  if (!name.empty()) upload_and_save(app_, this, sector(), name);
}

void RemoteDirectoryDialog::download_file() {
  if (!write_allowed(DirectoryAction::kDownload)) return;
  if (download_file_to_flash(app_, this, std::string(), sector(), std::string()) == 1)
    show_sector_listing();
}

void RemoteDirectoryDialog::edit_file() {
  const std::string name = named_file();
  if (name.empty() || !write_allowed(DirectoryAction::kEdit)) return;
  if (edit_flash_file(app_, this, sector(), name)) show_sector_listing();
}

void RemoteDirectoryDialog::restore_sector() {
  const std::uint8_t in = sector();
  exchange([this, in](FlashFiles& flash) -> std::function<void()> {
    flash.flash_compact(in);
    return [this] { show_sector_listing(); };
  });
}

void RemoteDirectoryDialog::initial_sequence() {
  const std::string name = named_file();
  if (name.empty()) return;
  const FlashCopy copy = initial_sequence_copy(sector(), name);
  exchange([this, copy](FlashFiles& flash) -> std::function<void()> {
    const bool exists = flash.start_file_exists();
    return [this, copy, exists] {
      if (exists && app_.ui.message_box(kTitleStartUp, kReplaceStartFile, BoxButtons::YesNo,
                                        BoxIcon::Question) != BoxAnswer::Yes)
        return;
      copy_flash_file(app_, this, copy.sector, copy.name, copy.target_sector, copy.target_name);
    };
  });
}

void RemoteDirectoryDialog::map_key() {
  const std::string name = named_file();
  if (name.empty()) return;
  const int key = prompt_key_character(app_.key_entry_mode, this);
  if (key != 0) map_key_to_sequence(app_, this, key, name);
}

void RemoteDirectoryDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  place_dialog(this, 2, 2);  // a panel: at the top left of the main window's client area
}

void RemoteDirectoryDialog::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void RemoteDirectoryDialog::dropEvent(QDropEvent* event) {
  bool any = false;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (!url.isLocalFile()) continue;
    drops_.append(url.toLocalFile());
    any = true;
  }
  if (!any) return;
  event->acceptProposedAction();
  // The downloads ask questions and show progress: they run once the drop is over.
  QTimer::singleShot(0, this, [this] { download_dropped(); });
}

void RemoteDirectoryDialog::download_dropped() {
  while (!drops_.isEmpty()) {
    const QString path = drops_.takeFirst();
    if (!write_allowed(DirectoryAction::kDrop)) continue;
    if (download_dropped_file(app_, this, sector(), path) == 1) show_sector_listing();
  }
}

// --- rename ----------------------------------------------------------------------------------

FlashRenameDialog::FlashRenameDialog(const QString& old_name, QWidget* parent) : QDialog(parent) {
  setObjectName(dialog_name(ids::kFlashRenameDialog));
  setWindowTitle(QString::fromLatin1(kTitleRename));
  const int width = fontMetrics().horizontalAdvance(QString(kMaxFlashName + 4, 'W'));
  old_ = new QLineEdit(this);
  old_->setObjectName(control_name(ids::kOldFilenameField));
  old_->setMaxLength(kMaxFlashName);
  old_->setText(old_name);
  old_->setMinimumWidth(width);
  new_ = new QLineEdit(this);
  new_->setObjectName(control_name(ids::kNewFilenameField));
  new_->setMaxLength(kMaxFlashName);
  new_->setMinimumWidth(width);

  const DialogButtons buttons = ok_cancel_buttons(this);
  connect(buttons.ok, &QPushButton::clicked, this, [this] {
    done(old_->text().isEmpty() || new_->text().isEmpty() ? kRenameCancel : kRenameOk);
  });
  connect(buttons.cancel, &QPushButton::clicked, this, &FlashRenameDialog::reject);

  auto* form = new QFormLayout;
  form->addRow(QString::fromLatin1(kOldNameLabel), old_);
  form->addRow(QString::fromLatin1(kNewNameLabel), new_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(buttons.row);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  new_->setFocus();
}

std::string FlashRenameDialog::old_name() const {
  return latin1(old_->text());
}

std::string FlashRenameDialog::new_name() const {
  return latin1(new_->text());
}

void FlashRenameDialog::reject() {
  done(kRenameCancel);
}

}  // namespace qm
