// The sequence buttons panel without its window: the 10 pages of 28 buttons, each with a
// legend and a sequence file; what a click does in each action mode and the mode that follows;
// the normal and spare views; the cut buffer; and the project file (.efx) that keeps the
// buttons: 280 lines, "\"legend\",\"file\"" for a button, an empty line for an empty slot.
#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

inline constexpr int kButtonPages = 10;
inline constexpr int kButtonsPerPage = 28;
inline constexpr int kButtonSlots = kButtonPages * kButtonsPerPage;

inline constexpr const char* kNoSequenceFile = "No sequence file associated with button";
inline constexpr const char* kTitleSaveChanges = " Save changes";
inline constexpr const char* kSaveChangesQuestion = "Save project changes?";
inline constexpr const char* kTitleDeleteButton = " Delete button";
inline constexpr const char* kDeleteButtonQuestion =
    "Delete button? Note this will not delete\n the associated sequence file.";
inline constexpr const char* kTitleAddButton = " Add Sequence Button";
inline constexpr const char* kTitleRenameButton = " Rename Button";
inline constexpr const char* kPanelTitle = " Sequence Buttons: %s";
inline constexpr const char* kSpareText = "Spare";
inline constexpr const char* kTitleProjectBox = " Project";
inline constexpr const char* kNoValidProject =
    "There is no valid project set. Use the Project button to\ncreate a specific project, "
    "otherwise the default project\nwill be set to  \"WALL.EFX\" in the current directory.\n";
inline constexpr const char* kCannotSaveProject = "Can't save the project %s: %s";

struct SequenceButton {
  std::optional<std::string> legend;  // a slot is in use when it has one
  std::optional<std::string> file;
  bool in_use() const { return legend.has_value(); }
  bool operator==(const SequenceButton&) const = default;
};
using ButtonTable = std::array<SequenceButton, kButtonSlots>;

constexpr int slot_index(int page, int slot) {
  return page * kButtonsPerPage + slot;
}

// The project file.
// One line of a project: a button, or none for an empty slot. Double quotes protect commas;
// the legend ends at the first unprotected comma (leading commas skipped), the file at the
// next one or the line's end; bit 7 is cleared and one pair of surrounding quotes removed.
SequenceButton parse_project_line(std::string_view line);
// The table of a project text: whole lines (CR LF or LF), one slot each, the first 280.
ButtonTable parse_project(std::string_view text);
// The project text of the table: 280 lines ending in CR LF.
std::string project_text(const ButtonTable& table);
// Reads the project at `path`; a missing file is created empty. None (and the reason in
// `error`) when it cannot be read or created.
std::optional<ButtonTable> load_project_file(const std::filesystem::path& path, std::string& error);
// Writes the project through a temporary file, so the old project stays whole when a write
// fails; the error text (naming the file and the reason) when it does.
std::optional<std::string> save_project_file(const std::filesystem::path& path,
                                             const ButtonTable& table);

// What a click on a slot does in each action mode.
enum class ActionMode { kRun, kEdit, kNew, kCut, kPaste, kRename, kDelete, kInstall };
// New and Paste show the spare view: empty slots offered as "Spare".
constexpr bool spare_view(ActionMode mode) {
  return mode == ActionMode::kNew || mode == ActionMode::kPaste;
}

// How a slot button looks.
struct SlotLook {
  bool shown = false;
  bool enabled = false;
  bool flat = false;
  std::string text;
};
SlotLook slot_look(const SequenceButton& button, bool spare);
// A legend as a button shows it: every "&" doubled, so that it shows itself.
std::string shown_legend(std::string_view legend);

// What the panel must do for a click, and what the model already did.
enum class ClickAction {
  kNothing,      // the slot is not one the mode acts on
  kNoFile,       // error box kNoSequenceFile titled by the mode; mode unchanged
  kRunFile,      // start the runner on the file
  kEditFile,     // open the file in the editor; then mode Run
  kAskNew,       // dialog 167 " Add Sequence Button"; then mode Run
  kAskRename,    // dialog 167 " Rename Button"; then mode Run
  kAskDelete,    // the delete question; OK: erase and mode Run
  kInstallFile,  // compile and download; then mode Run
  kDone,         // done by the model (Cut, Paste); the mode has moved on
};

// The panel's state between the window and the project.
class SequenceButtons {
 public:
  ButtonTable table;
  int page = 0;  // kept between openings
  bool modified = false;
  ActionMode mode = ActionMode::kRun;
  std::optional<SequenceButton> cut;  // the cut buffer

  SequenceButton& at(int slot) { return table[static_cast<std::size_t>(slot_index(page, slot))]; }
  const SequenceButton& at(int slot) const {
    return table[static_cast<std::size_t>(slot_index(page, slot))];
  }

  // A click on slot `slot` of the current page in the current mode.
  ClickAction click(int slot);
  // The title of the kNoFile box in the current mode (" Run", " Edit", " Install").
  std::string no_file_title() const;

  void cut_slot(int slot);    // into the buffer; the slot empties
  void paste_slot(int slot);  // the buffer's legend (and file) into the slot
  void erase_slot(int slot);
  // Dialog 167 after OK. Add: a legend given makes the slot (a file without an extension gets
  // ".seq"). Rename: a legend or file given replaces the slot's.
  void add_button(int slot, const std::string& legend, const std::string& file);
  void rename_button(int slot, const std::string& legend, const std::string& file);
  // A .SEQ file dropped on an empty slot: the proposed legend (the name without extension).
  static std::optional<std::string> dropped_legend(const std::filesystem::path& file);
  // The binary sequence file Install compiles to: the same place and name, extension "SFB".
  static std::filesystem::path install_target(const std::filesystem::path& file);

  // The table emptied for another project (the cut buffer stays).
  void clear();
};

}  // namespace qm
