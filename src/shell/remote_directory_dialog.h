// Dialog 160 " Remote Directory": one unit's flash, a sector at a time, with the sector's
// space, its files, and the buttons that run, stop, delete, rename, upload, download, edit,
// compact, make the start-up sequence and map keys; files dropped on it are downloaded into
// the sector shown. The decisions are the model's (remote_directory.h); the exchanges run on
// the link thread and their results come back to the dialog, so it answers at once even when
// the unit is silent. Also dialog 162 " Flash file rename".
#pragma once

#include <QDialog>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>
#include <string>

#include "flash/flash_protocol.h"
#include "flash/remote_directory.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabBar;

namespace qm {

class App;

class RemoteDirectoryDialog final : public QDialog {
  Q_OBJECT

 public:
  // Polls the units, selects unit 0 when all units were selected, and lists sector 3.
  RemoteDirectoryDialog(App& app, QWidget* parent);
  ~RemoteDirectoryDialog() override;

  // The buttons enabled now.
  unsigned button_mask() const { return mask_; }
  // No exchange of the dialog is under way.
  bool idle() const { return pending_ == 0; }

 protected:
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  int tab() const;
  std::uint8_t sector() const { return static_cast<std::uint8_t>(sector_of_tab(tab())); }
  std::string named_file() const;

  // Runs `work` on the link thread with the selected unit's flash; then, if the dialog is
  // still there, `then` here. The wait cursor shows while exchanges are under way.
  void exchange(std::function<std::function<void()>(FlashFiles&)> work);
  void exchange_done();

  // Reads the current sector's space and files; the newest request wins.
  void show_sector_listing();
  void show_listing(int request, const std::optional<SectorListing>& listing);
  void apply_mask(unsigned mask);
  void clear_name();
  // The operator is told when the action may not write the current sector.
  bool write_allowed(DirectoryAction action);

  void tab_changed();
  void unit_chosen(int unit);
  void selection_changed();
  void double_clicked();
  void name_edited(const QString& text);

  void run_file();
  // Runs the sequence file `name` of the sector shown.
  void run_sequence(const std::string& name);
  void stop_sequence();
  void delete_file();
  void rename_file();
  void upload_file();
  void download_file();
  void edit_file();
  void restore_sector();
  void initial_sequence();
  void map_key();
  void download_dropped();

  App& app_;
  QTabBar* tabs_ = nullptr;
  QLabel* sector_name_ = nullptr;
  QLabel* space_ = nullptr;
  QListWidget* list_ = nullptr;
  QLineEdit* name_ = nullptr;
  std::array<QPushButton*, kDirectoryButtonCount> buttons_{};
  unsigned mask_ = kMaskNoFile;
  int pending_ = 0;
  int listing_request_ = 0;
  bool filling_ = false;  // the list is being refilled: no selection notifications
  QStringList drops_;     // dropped files still to download, in order
};

inline constexpr int kRenameOk = 1;
inline constexpr int kRenameCancel = 2;

// Dialog 162 " Flash file rename": "Old filename:" filled in, "New filename:" empty, 12
// characters each. exec() ends with kRenameOk when OK was pressed with both names filled,
// kRenameCancel otherwise.
class FlashRenameDialog final : public QDialog {
  Q_OBJECT

 public:
  FlashRenameDialog(const QString& old_name, QWidget* parent);
  std::string old_name() const;
  std::string new_name() const;
  void reject() override;

 private:
  QLineEdit* old_ = nullptr;
  QLineEdit* new_ = nullptr;
};

}  // namespace qm
