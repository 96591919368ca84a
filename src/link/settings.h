// The per-user settings file "Orvik.ini" and the machine-wide remote-access switch in the
// program directory's "orvik.ini". Table-driven: one row per key, in the order written.
#pragma once

#include <array>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

struct SettingsValues {
  bool enable_ip = false;                 // ENABLE_IP: remote access permitted
  bool ip = false;                        // IP: remote link active
  int com_port = -1;                      // ComPort: 0-based port index, -1 = none
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

class Settings {
 public:
  // user_folder: the per-user folder ("<documents>/Quadrimon"), none when the documents
  // folder cannot be found. program_dir: the directory of the running executable.
  Settings(std::optional<std::filesystem::path> user_folder, std::filesystem::path program_dir);

  // The folders the running program uses: documents folder + "Quadrimon", executable dir.
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
  // Records ENABLE_IP in "<program dir>/<stem>.ini".
  void remote_access_save(std::string_view stem) const;

 private:
  std::optional<std::filesystem::path> user_folder_;
  std::filesystem::path program_dir_;
};

}  // namespace qm
