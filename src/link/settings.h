// The per-user settings file "Orvik.ini" and the machine-wide remote-access switch in
// "orvik.ini" (see remote_access_places). Table-driven: one row per key, in the order written.
#pragma once

#include <array>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

struct SettingsValues {
  bool enable_ip = false;                 // ENABLE_IP: remote access permitted
  bool ip = false;                        // IP: remote link active
  int com_port = -1;                      // ComPort: 0-based port index, -1 = none
  std::string com_device;                 // ComDevice: the device that port opens (a USB
                                          // serial adapter), empty = the port's own
  std::uint16_t tcp_port = 0;             // TCP: gateway port
  std::uint32_t address = 0;              // Address: gateway IPv4, network byte order
  std::string key;                        // Key: shared secret
  int field_rate = 50;                    // FieldRate: 50 or 60
  std::uint8_t units[4] = {16, 0, 0, 0};  // Unit0..Unit3: channel count, 0 = not installed
  std::array<std::uint8_t, 4> units_array() const {
    return {units[0], units[1], units[2], units[3]};
  }
  int id = 0;  // ID: selected unit 0..3, -1 = all
};

// The files that keep the remote-access switch (ENABLE_IP) between runs.
struct RemoteAccessFiles {
  // Read at start-up in this order; the last one present decides.
  std::vector<std::filesystem::path> read;
  // Recorded at exit; none when there is nowhere to write.
  std::optional<std::filesystem::path> record;
};

// Where the switch lives: "orvik.ini" beside the program while the program's folder is
// writable (a portable or Windows install). Otherwise the machine's file ("orvik.ini" in the
// machine's folder, or beside the program where there is no such folder) is read but never
// written, and the user's own "orvik.ini" in `user_config_folder` is read after it and takes
// the record, so that a read-only program folder neither fails the exit nor loses the switch.
RemoteAccessFiles remote_access_places(
    const std::filesystem::path& program_dir, bool program_dir_writable,
    const std::optional<std::filesystem::path>& machine_folder,
    const std::optional<std::filesystem::path>& user_config_folder);

class Settings {
 public:
  // user_folder: the per-user folder ("<documents>/Quadrimon"), none when the documents
  // folder cannot be found. program_dir: the directory of the running executable, where the
  // remote-access switch is kept unless other files are set.
  Settings(std::optional<std::filesystem::path> user_folder, std::filesystem::path program_dir);

  // The folders the running program uses: documents folder + "Quadrimon", executable dir, and
  // the switch files remote_access_places gives for them (an installed tree counts as a
  // program folder that is not writable).
  static Settings for_this_user();

  SettingsValues values;

  const std::optional<std::filesystem::path>& user_folder() const { return user_folder_; }
  const std::filesystem::path& program_dir() const { return program_dir_; }
  // "<user folder>/Orvik.ini", or none.
  std::optional<std::filesystem::path> settings_path() const;

  // Reads the per-user file over the current values. 1 read, 0 not opened / no folder.
  int settings_load();
  // Parses settings text as settings_load does (exposed for the command line and tests).
  void settings_parse(std::string_view text);
  // The exact bytes settings_save writes.
  std::string settings_text() const;
  // Writes the per-user file (creating the folder), atomically. False when nothing could be
  // written (no folder, or the folder or file could not be made).
  bool settings_save() const;
  const RemoteAccessFiles& remote_access_files() const { return remote_access_files_; }
  void set_remote_access_files(RemoteAccessFiles files) { remote_access_files_ = std::move(files); }
  // Reads ENABLE_IP from the switch files: each file present sets it, on when the file holds
  // the switch on, off otherwise. The last file read, or none when none was there.
  std::optional<std::filesystem::path> remote_access_load();
  // Records ENABLE_IP in the record file (made with its folder when absent): the switch on a
  // line of its own when on, no line of it when off; every other line is kept. False when it
  // could not be recorded.
  bool remote_access_save() const;

 private:
  std::optional<std::filesystem::path> user_folder_;
  std::filesystem::path program_dir_;
  RemoteAccessFiles remote_access_files_;
};

}  // namespace qm
