#include "editor/text_ops.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <new>
#include <system_error>

#include "base/path_text.h"
#include "base/text_format.h"
#include "platform/paths.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

constexpr int kTabStop = 8;     // tabs in a loaded text expand to this
constexpr int kIndentStop = 4;  // the Tab key indents to this
constexpr int kShortestOutdentedLine = 3;
constexpr const char* kBackupExtension = ".bak";

constexpr const char* kCreateQuestion = "Can't find file %s, create one?";
constexpr const char* kUnableToCreate = "Unable to create file %s";
constexpr const char* kErrorCreating = "Error creating file %s";
constexpr const char* kTooBig = "File %s is too big to edit";
constexpr const char* kCantOpen = "Can't open file %s";
constexpr const char* kNoMemory = "Error allocating memory";
constexpr const char* kReadError = "Error reading file";
constexpr const char* kSaveQuestion = "Save changes to file: \n%s";
constexpr const char* kSaveFailed = "Can't save file %s:\n%s";
constexpr const char* kTextTooLong =
    "The text has %s characters; a flash file takes at most %s.\nShorten it, or leave the "
    "editor without saving to discard the changes.";

void error_box(OperatorUi& ui, const std::string& text) {
  ui.message_box(kSequenceEditTitle, text, BoxButtons::Ok, BoxIcon::Error);
}

std::string reason(const std::error_code& error) {
  return error.message();
}

}  // namespace

std::string expand_tabs(std::string_view text) {
  if (text.find('\t') == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  int column = 0;
  for (char c : text) {
    if (c == '\t') {
      const int blanks = kTabStop - column % kTabStop;
      out.append(static_cast<std::size_t>(blanks), ' ');
      column += blanks;
    } else {
      out += c;
      column = c == '\n' ? 0 : column + 1;
    }
  }
  return out;
}

bool uses_crlf(std::string_view text) {
  return text.find("\r\n") != std::string_view::npos;
}

std::string to_lf(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
  return out;
}

std::string with_line_ends(std::string_view lf_text, bool crlf) {
  if (!crlf) return std::string(lf_text);
  std::string out;
  out.reserve(lf_text.size() + lf_text.size() / 16);
  for (char c : lf_text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

int tab_blanks(int column) {
  return kIndentStop - column % kIndentStop;
}

int tab_overwrite_column(int column, int line_length) {
  const int next = column + tab_blanks(column);
  return next > line_length ? column : next;
}

int shift_tab_column(int column) {
  if (column < kIndentStop) return 0;
  const int rest = column % kIndentStop;
  return column - (rest != 0 ? rest : kIndentStop);
}

LineRange block_lines(int start_line, int end_line, bool end_at_line_start) {
  if (end_line > start_line && end_at_line_start) --end_line;
  return {start_line, end_line};
}

int outdent_blanks(const std::vector<std::string>& lines) {
  std::size_t fewest = std::string::npos;
  for (const std::string& line : lines) {
    if (line.size() < kShortestOutdentedLine) return 0;
    fewest = std::min(fewest, std::min(line.find_first_not_of(' '), line.size()));
  }
  if (fewest == std::string::npos) return 0;
  return static_cast<int>(std::min<std::size_t>(fewest, kIndentStop));
}

std::optional<std::string> load_text_file(OperatorUi& ui, const fs::path& path) {
  const std::string name = utf8_from_path(path);
  std::error_code error;
  if (!fs::exists(path, error)) {
    if (ui.message_box(kSequenceEditTitle, strprintf(kCreateQuestion, name.c_str()),
                       BoxButtons::YesNo, BoxIcon::Error) != BoxAnswer::Yes)
      return std::nullopt;
    if (!std::ofstream(path, std::ios::binary)) {
      error_box(ui, strprintf(kUnableToCreate, name.c_str()));
      return std::nullopt;
    }
    if (!fs::exists(path, error)) {
      error_box(ui, strprintf(kErrorCreating, name.c_str()));
      return std::nullopt;
    }
  }
  const std::uintmax_t size = fs::file_size(path, error);
  if (!error && size > kMaxEditFileBytes) {
    error_box(ui, strprintf(kTooBig, name.c_str()));
    return std::nullopt;
  }
  // A folder, a pipe or a device has no size: it is never opened (a pipe without a writer
  // would hold the editor for good).
  if (error) {
    error_box(ui, strprintf(kCantOpen, name.c_str()));
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error_box(ui, strprintf(kCantOpen, name.c_str()));
    return std::nullopt;
  }
  std::string text;
  try {
    text.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    error_box(ui, kNoMemory);
    return std::nullopt;
  }
  if (!in.read(text.data(), static_cast<std::streamsize>(text.size()))) {
    error_box(ui, kReadError);
    return std::nullopt;
  }
  return text;
}

std::optional<fs::path> backup_path(const fs::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension == kBackupExtension) return std::nullopt;
  fs::path backup = path;
  backup.replace_extension(kBackupExtension);
  return backup;
}

std::optional<std::string> write_with_backup(const fs::path& path, std::string_view bytes) {
  // The old file stays where it is until the new one replaces it in one step; the backup is
  // a copy of it, made once the new text is safely written, so no failure can leave the
  // operator without either text.
  const auto make_backup = [&path] {
    std::error_code error;
    const auto backup = backup_path(path);
    if (backup && fs::exists(path, error))
      fs::copy_file(path, *backup, fs::copy_options::overwrite_existing, error);
    return error;
  };
  const platform::AtomicWriteResult result =
      platform::write_file_atomically(path, bytes, make_backup);
  if (result.ok()) return std::nullopt;
  std::error_code error;
  if (result.step == platform::AtomicWriteStep::Replace && fs::is_directory(path, error))
    return std::make_error_code(std::errc::is_a_directory).message();
  return reason(result.error);
}

SaveResult save_text(OperatorUi& ui, EditorRequest& request, std::string_view text, bool modified,
                     bool ask, const std::function<std::optional<std::string>()>& choose_name) {
  if (!modified) return SaveResult::Saved;
  if (ask) {
    std::string shown = request.name;
    if (request.mode == 0 && !shown.empty()) {
      std::error_code error;
      const fs::path full = fs::absolute(path_from_utf8(shown), error);
      if (!error) shown = utf8_from_path(full);
    }
    switch (ui.message_box(kSequenceEditTitle, strprintf(kSaveQuestion, shown.c_str()),
                           BoxButtons::YesNoCancel, BoxIcon::Question)) {
      case BoxAnswer::No:
        if (request.mode == 1) request.text.reset();
        return SaveResult::Declined;
      case BoxAnswer::Cancel:
        return SaveResult::Cancelled;
      default:
        break;
    }
  }
  if (request.mode == 1) {
    // A text too long for the flash is not dropped quietly: the editor stays open with it.
    if (text.size() >= kWriteBackLimit) {
      ui.message_box(kSequenceEditTitle,
                     strprintf(kTextTooLong, std::to_string(text.size()).c_str(),
                               std::to_string(kWriteBackLimit - 1).c_str()),
                     BoxButtons::Ok, BoxIcon::Warning);
      return SaveResult::Failed;
    }
    request.text = std::string(text);
    return SaveResult::Saved;
  }
  if (request.name.empty()) {
    const auto chosen = choose_name ? choose_name() : std::nullopt;
    if (!chosen || chosen->empty()) return SaveResult::Failed;
    request.name = *chosen;
  }
  std::error_code error;
  const fs::path full = fs::absolute(path_from_utf8(request.name), error);
  if (error) {
    error_box(ui, strprintf(kSaveFailed, request.name.c_str(), reason(error).c_str()));
    return SaveResult::Failed;
  }
  request.name = utf8_from_path(full);
  if (const auto why = write_with_backup(full, text)) {
    error_box(ui, strprintf(kSaveFailed, request.name.c_str(), why->c_str()));
    return SaveResult::Failed;
  }
  return SaveResult::Saved;
}

}  // namespace qm
