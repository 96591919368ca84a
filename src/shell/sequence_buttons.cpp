#include "shell/sequence_buttons.h"

#include "base/path_text.h"
#include "base/text_format.h"
#include "platform/paths.h"

namespace qm {

namespace {

// A project larger than this is no project (280 lines of two 259-character paths fit many
// times over).
constexpr std::uintmax_t kMaxProjectBytes = 4 * 1024 * 1024;

// The field with bit 7 cleared and one leading and one trailing double quote removed.
std::string field_text(std::string_view raw) {
  std::string text(raw);
  for (char& c : text)
    c = static_cast<char>(c & 0x7F);
  if (!text.empty() && text.front() == '"') text.erase(0, 1);
  if (!text.empty() && text.back() == '"') text.pop_back();
  return text;
}

// The position of the next comma at or after `at` outside double quotes; npos when none.
std::size_t next_comma(std::string_view line, std::size_t at) {
  bool quoted = false;
  for (std::size_t i = at; i < line.size(); ++i) {
    if (line[i] == '"') quoted = !quoted;
    if (line[i] == ',' && !quoted) return i;
  }
  return std::string_view::npos;
}

}  // namespace

SequenceButton parse_project_line(std::string_view line) {
  std::size_t start = 0;
  while (start < line.size() && line[start] == ',')
    ++start;
  const std::size_t comma = next_comma(line, start);
  if (comma == std::string_view::npos || comma == start) return {};
  const std::size_t end = next_comma(line, comma + 1);
  const std::string_view file = line.substr(
      comma + 1, end == std::string_view::npos ? std::string_view::npos : end - comma - 1);
  if (file.empty()) return {};
  SequenceButton button;
  button.legend = field_text(line.substr(start, comma - start));
  std::string path = field_text(file);
  if (!path.empty()) button.file = std::move(path);
  return button;
}

ButtonTable parse_project(std::string_view text) {
  ButtonTable table;
  std::size_t slot = 0;
  while (!text.empty() && slot < table.size()) {
    const std::size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    table[slot++] = parse_project_line(line);
  }
  return table;
}

std::string project_text(const ButtonTable& table) {
  std::string text;
  for (const SequenceButton& b : table) {
    if (b.in_use()) text += std::string("\"") + *b.legend + "\",\"" + b.file.value_or("") + "\"";
    text += "\r\n";
  }
  return text;
}

std::optional<ButtonTable> load_project_file(const std::filesystem::path& path,
                                             std::string& error) {
  const platform::FileRead read = platform::read_file(path, kMaxProjectBytes);
  if (read.ok()) return parse_project(read.contents);
  if (read.status == platform::FileReadStatus::NotFound) {
    const auto created = platform::write_file_atomically(path, "");
    if (created.ok()) return ButtonTable{};
    error = created.error.message();
    return std::nullopt;
  }
  error = read.error ? read.error.message() : std::string("not a project file");
  return std::nullopt;
}

std::optional<std::string> save_project_file(const std::filesystem::path& path,
                                             const ButtonTable& table) {
  const auto written = platform::write_file_atomically(path, project_text(table));
  if (written.ok()) return std::nullopt;
  return strprintf(kCannotSaveProject, utf8_from_path(path).c_str(),
                   written.error.message().c_str());
}

std::string shown_legend(std::string_view legend) {
  std::string out;
  for (char c : legend) {
    out.push_back(c);
    if (c == '&') out.push_back('&');
  }
  return out;
}

SlotLook slot_look(const SequenceButton& button, bool spare) {
  if (spare) {
    if (button.in_use()) return {true, false, false, *button.legend};
    return {true, true, true, kSpareText};
  }
  if (button.in_use()) return {true, true, false, shown_legend(*button.legend)};
  return {false, false, false, {}};
}

ClickAction SequenceButtons::click(int slot) {
  const SequenceButton& b = at(slot);
  // The view offers only the slots a mode acts on: used ones, or empty ones in the spare view.
  if (b.in_use() == spare_view(mode)) return ClickAction::kNothing;
  switch (mode) {
    case ActionMode::kRun:
      return b.file ? ClickAction::kRunFile : ClickAction::kNoFile;
    case ActionMode::kEdit:
      return b.file ? ClickAction::kEditFile : ClickAction::kNoFile;
    case ActionMode::kInstall:
      return b.file ? ClickAction::kInstallFile : ClickAction::kNoFile;
    case ActionMode::kNew:
      return ClickAction::kAskNew;
    case ActionMode::kRename:
      return ClickAction::kAskRename;
    case ActionMode::kDelete:
      return ClickAction::kAskDelete;
    case ActionMode::kCut:
      cut_slot(slot);
      mode = ActionMode::kPaste;
      return ClickAction::kDone;
    case ActionMode::kPaste:
      paste_slot(slot);
      mode = ActionMode::kRun;
      return ClickAction::kDone;
  }
  return ClickAction::kNothing;
}

std::string SequenceButtons::no_file_title() const {
  switch (mode) {
    case ActionMode::kEdit:
      return " Edit";
    case ActionMode::kInstall:
      return " Install";
    default:
      return " Run";
  }
}

void SequenceButtons::cut_slot(int slot) {
  SequenceButton& b = at(slot);
  cut = b;
  b = {};
  modified = true;
}

void SequenceButtons::paste_slot(int slot) {
  if (!cut || !cut->legend) return;
  SequenceButton& b = at(slot);
  b.legend = cut->legend;
  if (cut->file) b.file = cut->file;
  modified = true;
}

void SequenceButtons::erase_slot(int slot) {
  at(slot) = {};
  modified = true;
}

void SequenceButtons::add_button(int slot, const std::string& legend, const std::string& file) {
  if (legend.empty()) return;
  SequenceButton& b = at(slot);
  if (!file.empty()) {
    std::string path = file;
    if (!path_from_utf8(path).has_extension() && path.size() < 256) path += ".seq";
    b.file = path;
  }
  b.legend = legend;
  modified = true;
}

void SequenceButtons::rename_button(int slot, const std::string& legend, const std::string& file) {
  SequenceButton& b = at(slot);
  if (!legend.empty()) {
    b.legend = legend;
    modified = true;
  }
  if (!file.empty()) b.file = file;
}

std::optional<std::string> SequenceButtons::dropped_legend(const std::filesystem::path& file) {
  std::string extension = utf8_from_path(file.extension());
  for (char& c : extension)
    c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  if (extension != ".SEQ") return std::nullopt;
  return utf8_from_path(file.stem());
}

std::filesystem::path SequenceButtons::install_target(const std::filesystem::path& file) {
  std::filesystem::path target = file;
  return target.replace_extension("SFB");
}

void SequenceButtons::clear() {
  table = {};
  modified = false;
}

}  // namespace qm
