// The remote directory without its window: what one sector's listing shows, which buttons a
// named file enables, which actions the write protection of sector 1 refuses, what a
// double-click does, and the requests and questions of the buttons. The dialog maps its
// controls onto these; tests drive them directly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/program_options.h"
#include "flash/flash_protocol.h"

namespace qm {

// The buttons of the directory, one bit each in a button mask.
enum DirectoryButton : unsigned {
  kButtonRun = 0,
  kButtonStop = 1,
  kButtonDelete = 2,
  kButtonRename = 3,
  kButtonUpload = 4,
  kButtonDownload = 5,
  kButtonEdit = 6,
  kButtonRestore = 7,
  kButtonInitialSequence = 8,
  kButtonMap = 9,
};
inline constexpr int kDirectoryButtonCount = 10;

// The masks in use.
inline constexpr unsigned kMaskNoFile = 162;            // Stop, Download, Restore
inline constexpr unsigned kMaskSequenceFileHere = 959;  // .SFB in the Sequence sector: all but Edit
inline constexpr unsigned kMaskSequenceFile = 447;      // .SFB elsewhere: all but Edit and Map
inline constexpr unsigned kMaskUnitFile = 254;   // other "$" names: the file buttons and Edit
inline constexpr unsigned kMaskOtherFile = 190;  // the file buttons without Run and Edit

constexpr bool button_enabled(unsigned mask, DirectoryButton button) {
  return (mask >> button & 1u) != 0;
}

// The file types the directory knows, in the order of their list; ".SFB" is the first.
inline constexpr std::string_view kKnownFileTypes[] = {".SFB", ".CFG", ".COM", ".BMP", ".FNT"};

// The tab index (0..4) of a sector and back.
constexpr int sector_of_tab(int tab) {
  return tab + 1;
}
// The tab the directory opens on: the Sequence sector.
inline constexpr int kOpeningTab = kSequenceSector - 1;

// Texts of the window.
inline constexpr const char* kTitleRemoteDirectory = " Remote Directory";
inline constexpr const char* kTabText = "Sector %d";
inline constexpr const char* kSpaceLabel = "Free: %-5hu\tUsed: %-5hu\tRecoverable: %-5hu";
inline constexpr const char* kListingEntry = "%s\t%-5d";
inline constexpr const char* kWriteProtected = "Sector 1 is write protected";
inline constexpr const char* kTitleWriteProtected = "Write protected";
inline constexpr const char* kDeleteQuestion = "Delete Flash file: %d:%s";
inline constexpr const char* kTitleDelete = " Delete Flash";
inline constexpr const char* kTitleRename = " Flash file rename";
inline constexpr const char* kReplaceStartFile = "Replace existing start up file";
inline constexpr const char* kTitleStartUp = " Start-up";

// The extension of a name: from its last dot on; empty without a dot.
std::string_view file_type(std::string_view name);
// The buttons a named file enables on a tab; an empty name enables kMaskNoFile.
unsigned buttons_for_name(std::string_view name, int tab);

// The actions of the directory.
enum class DirectoryAction {
  kRun,
  kStop,
  kDelete,
  kRename,
  kUpload,
  kDownload,
  kEdit,
  kRestore,
  kInitialSequence,
  kMap,
  kDrop,  // files dropped on the window
};

// Whether the tab may be written: not sector 1 while its option is off.
bool sector_write_allowed(int tab, const ProgramOptions& options);
// Whether the action writes to the current sector, so that the write protection applies.
bool action_writes_sector(DirectoryAction action);
// Whether the action may go ahead on the tab; when not, the operator is told kWriteProtected.
bool action_allowed(DirectoryAction action, int tab, const ProgramOptions& options);

// What a double-click on a listed name does: a sequence file runs, the other known types do
// nothing, an unknown "$" name (a file the unit writes, such as a log) is uploaded and saved.
enum class DoubleClick { kNothing, kRun, kUploadAndSave };
DoubleClick double_click_action(std::string_view name);

// The name of a listing entry: its text up to the tab.
std::string entry_name(std::string_view entry);

// What a sector's listing shows.
struct SectorListing {
  std::string sector_name;           // "System" ... "General"
  std::string space;                 // the space label
  std::vector<std::string> entries;  // "%s\t%-5d" lines, sorted
};

// The space label of a sector.
std::string space_label(const FlashSectorStatus& status);
// The listing entries of the files, sorted as the list keeps them (ignoring case).
std::vector<std::string> listing_entries(const std::vector<FlashDirEntry>& files);
// Reads the sector's space and files from the unit; none when the space is not read (the
// status line then says kNoRemoteStates and the list stays empty).
std::optional<SectorListing> read_sector_listing(FlashFiles& flash, int tab);

// Delete: the question asked before the delete.
std::string delete_question(int sector, std::string_view name);
// Delete after Yes: a file the unit still has (a read open finds it) is deleted; true when
// the delete went out, false (nothing sent beyond the open) when the file is gone.
bool delete_flash_file(FlashFiles& flash, std::uint8_t sector, std::string_view name);

// Rename: sends the rename when both names are there; false (nothing sent) otherwise.
bool rename_flash_file(FlashFiles& flash, std::uint8_t sector, std::string_view old_name,
                       std::string_view new_name);

// Initial sequence: the named file is copied unchanged to 2:$START.SFB.
struct FlashCopy {
  std::uint8_t sector = 0;
  std::string name;
  std::uint8_t target_sector = 0;
  std::string target_name;
};
FlashCopy initial_sequence_copy(std::uint8_t sector, std::string_view name);

}  // namespace qm
