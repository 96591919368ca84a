// The sequence editor's text operations: tab expansion, the Tab and Shift+Tab rules, loading
// a file with its limits and messages, and saving with a ".bak" backup. No widgets here: the
// editor window applies the results to its text control.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/operator_ui.h"

namespace qm {

// Title of every message box of the editor.
inline constexpr const char* kSequenceEditTitle = " Sequence Edit";
// A file larger than this is not opened.
inline constexpr std::uintmax_t kMaxEditFileBytes = 31999;
// A text held in memory is written back only when shorter than this.
inline constexpr std::size_t kWriteBackLimit = 65023;

// What the editor is opened on, and what a text held in memory reads back afterwards.
struct EditorRequest {
  int mode = 0;      // 0: a file on the PC; 1: a text held in memory (a flash file)
  std::string name;  // the file's path as UTF-8 text (mode 0, may change) or the flash file name
                     // (mode 1)
  // Mode 1: the text to edit on entry; on exit set when the edited text is to be downloaded,
  // none when nothing is.
  std::optional<std::string> text;
  int line = 0;  // 1-based line to select on opening, or 0
};

// Replaces each tab by 1 to 8 blanks, up to the next column that is a multiple of 8. Columns
// count from 0 after each LF; every other character (CR included) takes one column.
std::string expand_tabs(std::string_view text);

// Line ends: whether the text uses CR LF, the text with LF only (as the editor holds it), and
// the editor's text with the line end of the file.
bool uses_crlf(std::string_view text);
std::string to_lf(std::string_view text);
std::string with_line_ends(std::string_view lf_text, bool crlf);

// Tab in insert mode at a column (from 0): the number of blanks up to the next multiple of 4.
int tab_blanks(int column);
// Tab in overwrite mode: the caret's new column, the next multiple of 4 unless that passes the
// end of the line.
int tab_overwrite_column(int column, int line_length);
// Shift+Tab without a block: the caret's new column, the previous multiple of 4.
int shift_tab_column(int column);

// The lines a block indent works on: from the selection's first line to its last, where a
// selection that ends exactly at the start of a later line stops at the line before.
struct LineRange {
  int first = 0;
  int last = 0;
};
LineRange block_lines(int start_line, int end_line, bool end_at_line_start);
// Shift+Tab over a block: the blanks to remove from the start of each line (up to 4, the
// fewest leading blanks of the lines), or 0 when nothing changes (a line shorter than 3
// characters, or a line without leading blanks).
int outdent_blanks(const std::vector<std::string>& lines);

// Reads a file for editing, asking to create it when it does not exist; shows the reason
// and returns none when it cannot be edited. The text is returned as stored.
std::optional<std::string> load_text_file(OperatorUi& ui, const std::filesystem::path& path);

// The backup of a file: the same path with the extension ".bak"; none for a file whose
// extension already is ".bak" in any case.
std::optional<std::filesystem::path> backup_path(const std::filesystem::path& path);

// Writes the bytes to the file without ever leaving it missing or half written: the new text
// goes to a temporary file beside it, the old file is kept as the backup, and the new one
// then replaces it. The reason when a step failed (the old file is still in place then).
std::optional<std::string> write_with_backup(const std::filesystem::path& path,
                                             std::string_view bytes);

enum class SaveResult {
  Saved,      // written, or nothing to write
  Declined,   // the operator answered No
  Cancelled,  // the operator answered Cancel
  Failed,     // no name chosen, or the file could not be written (the reason was shown)
};

// Saves the editor's text (line ends as they are to be stored): nothing when not modified;
// when asking, "Save changes to file: ..." with Yes, No and Cancel. Mode 0 writes the file,
// asking choose_name for a name when it has none; mode 1 writes the text back into the
// request, or warns and fails when it is too long for a flash file (the editor keeps it). A
// No in mode 1 clears the request's text.
SaveResult save_text(OperatorUi& ui, EditorRequest& request, std::string_view text, bool modified,
                     bool ask, const std::function<std::optional<std::string>()>& choose_name);

}  // namespace qm
