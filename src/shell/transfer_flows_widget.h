// The operator's flows around the flash file transfers: Download file (main menu Download,
// the remote directory's Download), a dropped file, Upload and save, copying one flash file to
// another name, and editing a flash text file. Each runs on the GUI thread; what needs the
// link (the existence test, the transfers) runs as jobs on the link thread while the GUI's
// event loop goes on.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <string>

class QWidget;

namespace qm {

class App;
class Link;

// Runs `ask` on the link thread with the selected unit's address and returns once it has run.
// The GUI's event loop turns meanwhile, without the operator's input, under the wait cursor,
// so that nothing else starts before the answer. `ask` keeps what it finds in what it owns.
void run_on_link_now(App& app, std::function<void(Link&, std::uint8_t address)> ask);

inline constexpr const char* kDownloadSequenceTitle = " Download Binary Sequence";
inline constexpr const char* kDownloadFileTitle = " Download file";
inline constexpr const char* kSaveUploadedTitle = " Save Uploaded file";
inline constexpr const char* kDownloadFilters =
    "Binary sequence (*.sfb);;Kestrade Font (*.fnt);;Text (*.txt);;All files (*)";

// Asks for a local file (title, or " Download file" when empty) and downloads it into
// sector:name, asking for the flash name first when `name` is empty. 1 when a transfer was
// attempted, 0 when the operator or a check stopped it.
int download_file_to_flash(App& app, QWidget* owner, const std::string& title, std::uint8_t sector,
                           const std::string& name);
// download_file_to_flash once the local file is chosen.
int download_local_file(App& app, QWidget* owner, const QString& path, std::uint8_t sector,
                        const std::string& name);
// Downloads a file dropped on a window into the sector under its short name. 1 when a
// transfer was attempted, 0 when the operator or a check stopped it.
int download_dropped_file(App& app, QWidget* owner, std::uint8_t sector, const QString& path);
// Uploads sector:name, then asks where to save it. Whether the upload completed.
bool upload_and_save(App& app, QWidget* owner, std::uint8_t sector, const std::string& name);
// Saves what was just uploaded to `path`, or shows why it cannot; true when saved.
bool save_upload_to(App& app, const QString& path);
// Copies sector:name to target_sector:target_name through the PC, unchanged.
void copy_flash_file(App& app, QWidget* owner, std::uint8_t sector, const std::string& name,
                     std::uint8_t target_sector, const std::string& target_name);
// Opens a flash text file in the editor and downloads the edited text back (with a NUL after
// it, as the units keep texts). Whether the file was read.
bool edit_flash_file(App& app, QWidget* owner, std::uint8_t sector, const std::string& name);
// Adds key -> sequence to the selected unit's key map 2:$IRMAP.TXT: reads it (with the
// progress dialog), replaces the key's earlier lines and writes it back (with the progress
// dialog). A key map the unit gives no entry for, or one that would grow too big, is refused
// with an error box and nothing is written.
void map_key_to_sequence(App& app, QWidget* owner, int key, const std::string& sequence);

}  // namespace qm
