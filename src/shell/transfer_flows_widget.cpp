#include "shell/transfer_flows_widget.h"

#include <QApplication>
#include <QCursor>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "base/path_text.h"
#include "base/paths_widget.h"
#include "base/text_format.h"
#include "base/ui_helpers.h"
#include "editor/editor_window.h"
#include "flash/flash_protocol.h"
#include "flash/key_map.h"
#include "flash/transfer.h"
#include "flash/transfer_progress_dialog.h"
#include "shell/about_dialog.h"
#include "shell/app.h"
#include "shell/flash_name_dialog.h"

namespace qm {

namespace {

constexpr const char* kDefaultSuffix = "sfb";

// The address of the selected unit (all units: the broadcast address).
std::uint8_t unit_address(const App& app) {
  return static_cast<std::uint8_t>(app.settings.values.id);
}

// What `ask` finds out with the link, on the link thread (run_on_link_now).
template <typename T>
T ask_link_now(App& app, std::function<T(Link&, std::uint8_t address)> ask, T otherwise) {
  auto answer = std::make_shared<std::optional<T>>();
  run_on_link_now(app, [answer, ask = std::move(ask)](Link& link, std::uint8_t address) {
    *answer = ask(link, address);
  });
  return answer->has_value() ? std::move(**answer) : std::move(otherwise);
}

// Whether sector:name is in the unit's flash.
bool flash_file_exists_now(App& app, std::uint8_t sector, const std::string& name) {
  return ask_link_now<bool>(
      app,
      [sector, name](Link& link, std::uint8_t address) {
        return FlashFiles(link, address).flash_file_exists(sector, name);
      },
      false);
}

// The overwrite question when sector:name exists; false when the operator keeps the file.
bool may_replace(App& app, std::uint8_t sector, const std::string& name) {
  if (!flash_file_exists_now(app, sector, name)) return true;
  return app.ui.message_box(kTitleOverwrite, overwrite_question(sector, name), BoxButtons::YesNo,
                            BoxIcon::Question) == BoxAnswer::Yes;
}

int run_transfer(App& app, QWidget* owner, TransferDirection direction) {
  return run_transfer_dialog(app.transfer, app.worker, unit_address(app), direction, owner);
}

// Uploads sector:name into the transfer buffer; whether every block arrived.
bool upload(App& app, QWidget* owner, std::uint8_t sector, const std::string& name) {
  app.transfer.prepare(sector, name);
  app.transfer.clear_data();
  run_transfer(app, owner, TransferDirection::Upload);
  return app.transfer.upload_complete;
}

// Reads the local file into the job; shows why it cannot.
bool load_local_file(App& app, const QString& path) {
  if (const auto error = load_download_file(app.transfer, path_from_qstring(path))) {
    show_error_box(app.ui, *error);
    return false;
  }
  return true;
}

}  // namespace

void run_on_link_now(App& app, std::function<void(Link&, std::uint8_t address)> ask) {
  auto done = std::make_shared<bool>(false);
  QEventLoop loop;
  QPointer<QEventLoop> waiting(&loop);
  LinkWorker& worker = app.worker;
  const std::uint8_t address = unit_address(app);
  worker.post([&worker, done, waiting, address, ask = std::move(ask)](Link& link) {
    ask(link, address);
    worker.deliver([done, waiting] {
      *done = true;
      if (waiting) waiting->quit();
    });
  });
  QApplication::setOverrideCursor(Qt::WaitCursor);
  if (!*done) loop.exec(QEventLoop::ExcludeUserInputEvents);
  QApplication::restoreOverrideCursor();
}

int download_file_to_flash(App& app, QWidget* owner, const std::string& title, std::uint8_t sector,
                           const std::string& name) {
  const char* shown = title.empty() ? kDownloadFileTitle : title.c_str();
  QFileDialog chooser(owner, QString::fromLatin1(shown));
  chooser.setAcceptMode(QFileDialog::AcceptOpen);
  chooser.setFileMode(QFileDialog::ExistingFile);
  chooser.setNameFilters(QString::fromLatin1(kDownloadFilters).split(QStringLiteral(";;")));
  chooser.setDefaultSuffix(QString::fromLatin1(kDefaultSuffix));
  if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return 0;
  return download_local_file(app, owner, chooser.selectedFiles().front(), sector, name);
}

int download_local_file(App& app, QWidget* owner, const QString& path, std::uint8_t sector,
                        const std::string& name) {
  std::string flash_name =
      name.empty() ? short_flash_name(path_text_from_qstring(QFileInfo(path).fileName())) : name;
  if (prompt_flash_name(app, owner, flash_name) != kFlashNameOk || flash_name.empty()) return 0;
  app.transfer.prepare(sector, flash_name);
  if (!may_replace(app, sector, flash_name)) return 0;
  if (!load_local_file(app, path)) return 0;
  run_transfer(app, owner, TransferDirection::Download);
  app.transfer.clear_data();
  return 1;
}

int download_dropped_file(App& app, QWidget* owner, std::uint8_t sector, const QString& path) {
  const std::string flash_name =
      short_flash_name(path_text_from_qstring(QFileInfo(path).fileName()));
  app.transfer.prepare(sector, flash_name);
  if (!load_local_file(app, path)) return 0;
  if (!may_replace(app, sector, flash_name)) {
    app.transfer.clear_data();
    return 0;
  }
  run_transfer(app, owner, TransferDirection::Download);
  app.transfer.clear_data();
  return 1;
}

bool upload_and_save(App& app, QWidget* owner, std::uint8_t sector, const std::string& name) {
  const bool complete = upload(app, owner, sector, name);
  if (complete) {
    QFileDialog chooser(owner, QString::fromLatin1(kSaveUploadedTitle));
    chooser.setAcceptMode(QFileDialog::AcceptSave);
    chooser.selectFile(QString::fromLatin1(name.c_str()));
    if (chooser.exec() == QDialog::Accepted && !chooser.selectedFiles().isEmpty())
      save_upload_to(app, chooser.selectedFiles().front());
  }
  app.transfer.clear_data();
  return complete;
}

bool save_upload_to(App& app, const QString& path) {
  if (const auto error = save_uploaded_file(app.transfer, path_from_qstring(path))) {
    show_error_box(app.ui, *error);
    return false;
  }
  return true;
}

void copy_flash_file(App& app, QWidget* owner, std::uint8_t sector, const std::string& name,
                     std::uint8_t target_sector, const std::string& target_name) {
  if (upload(app, owner, sector, name)) {
    // The uploaded bytes go back unchanged under the new name.
    app.transfer.prepare(target_sector, target_name);
    run_transfer(app, owner, TransferDirection::Download);
  }
  app.transfer.clear_data();
}

bool edit_flash_file(App& app, QWidget* owner, std::uint8_t sector, const std::string& name) {
  if (!upload(app, owner, sector, name)) {
    app.transfer.clear_data();
    return false;
  }
  // A flash text ends at its first NUL (the one stored after it by an earlier edit).
  const auto data = app.transfer.data();
  const auto* bytes = reinterpret_cast<const char*>(data.data());
  EditorRequest request;
  request.mode = 1;
  request.name = name;
  request.text = std::string(bytes, strnlen(bytes, data.size()));
  {
    EditorServices services = app.editor_services();
    services.show_about = [](QWidget* parent) {
      AboutDialog about(parent);
      about.exec();
    };
    EditorWindow editor(services, request, owner);
    if (!editor.ended()) editor.exec();
  }
  if (request.text) {
    // The text goes back with its NUL: the units keep texts that way.
    std::vector<std::uint8_t> stored(request.text->begin(), request.text->end());
    stored.push_back(0);
    app.transfer.prepare(sector, name);
    if (app.transfer.set_data(stored)) run_transfer(app, owner, TransferDirection::Download);
  }
  app.transfer.clear_data();
  return app.transfer.cancel_state != kCancelAcknowledged;
}

void map_key_to_sequence(App& app, QWidget* owner, int key, const std::string& sequence) {
  // The key map's directory entry says whether there is a text to read first (size 0: none
  // yet). Without an entry nothing is known of the unit's key map, so nothing is written.
  const auto entry = ask_link_now<std::optional<FlashDirEntry>>(
      app,
      [](Link& link, std::uint8_t address) {
        return FlashFiles(link, address).flash_find_first(kConfigurationSector, kKeyMapName);
      },
      std::nullopt);
  if (!entry) {
    show_error_box(app.ui, key_map_missing_text());
    return;
  }
  std::string text;
  if (entry->size != 0) {
    if (!upload(app, owner, kConfigurationSector, kKeyMapName)) {
      app.transfer.clear_data();
      return;
    }
    text = std::string(key_map_text(app.transfer.data()));
    app.transfer.clear_data();
  }
  text = add_key_entry(text, key, sequence);
  if (const auto error = key_map_size_error(text)) {
    show_error_box(app.ui, *error);
    return;
  }
  app.transfer.prepare(kConfigurationSector, kKeyMapName);
  if (app.transfer.set_data({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}))
    run_transfer(app, owner, TransferDirection::Download);
  app.transfer.clear_data();
}

}  // namespace qm
