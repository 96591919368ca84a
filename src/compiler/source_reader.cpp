#include "compiler/source_reader.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <system_error>

#include "base/text_format.h"

namespace qm {
namespace {

constexpr char kHighBit = static_cast<char>(0x80);

bool is_line_end(char c) {
  return c == '\r' || c == '\n' || c == kCtrlZ || c == '\0';
}

bool is_scan_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

char to_lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string_view cut_name(std::string_view name) {
  return name.substr(0, kSymbolNameLength);
}

// One "%<width>d" conversion: blanks skipped, then an optional sign and digits, at most
// `width` characters together. None (and nothing consumed) when no digit is read.
std::optional<int> scan_int(std::string_view text, std::size_t& i, std::size_t width) {
  std::size_t k = i;
  while (k < text.size() && is_scan_space(text[k]))
    ++k;
  const std::size_t start = k;
  bool negative = false;
  if (k < text.size() && (text[k] == '+' || text[k] == '-')) {
    negative = text[k] == '-';
    ++k;
  }
  int value = 0;
  const std::size_t first_digit = k;
  while (k < text.size() && k - start < width && is_digit(text[k])) {
    value = value * 10 + (text[k] - '0');
    ++k;
  }
  if (k == first_digit) return std::nullopt;
  i = k;
  return negative ? -value : value;
}

}  // namespace

std::optional<std::string> read_source_file(const std::filesystem::path& path) {
  // Only plain files of a sane size: a device or a pipe named as a source would never end.
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error || size > kMaxSourceFileBytes) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return std::move(content).str();
}

std::vector<SourceLine> split_source_lines(std::string_view content, std::size_t piece_length) {
  std::vector<SourceLine> lines;
  int number = 0;
  std::size_t i = 0;
  while (i < content.size() && piece_length > 0) {
    // A piece ends after its line feed, or when it is full. A CR LF is one line end: its CR
    // takes no room in the piece, so a file with CR LF ends is cut where the same file with
    // LF ends is.
    std::size_t end = i;
    while (end < content.size() && end - i < piece_length) {
      if (content.substr(end, 2) == "\r\n") {
        end += 2;
        break;
      }
      if (content[end++] == '\n') break;
    }
    std::string_view piece = content.substr(i, end - i);
    i = end;
    const auto cut = std::find_if(piece.begin(), piece.end(), is_line_end);
    piece = piece.substr(0, static_cast<std::size_t>(cut - piece.begin()));
    lines.push_back({++number, strip_comment(piece)});
  }
  return lines;
}

std::string strip_comment(std::string_view text) {
  bool quoted = false;
  std::size_t end = text.size();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') quoted = !quoted;
    if (text[i] == ';' && !quoted) {
      end = i;
      break;
    }
  }
  while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t'))
    --end;
  return std::string(text.substr(0, end));
}

bool mark_quoted(std::string& text) {
  if (std::count(text.begin(), text.end(), '"') % 2 != 0) return false;
  bool quoted = false;
  for (char& c : text) {
    if (c == '"') {
      quoted = !quoted;
    } else if (quoted) {
      c = static_cast<char>(c | kHighBit);
    }
  }
  return true;
}

void clear_bit7(std::string& text) {
  for (char& c : text)
    c = static_cast<char>(c & 0x7F);
}

std::optional<std::string_view> Tokenizer::next(std::string_view separators) {
  auto is_separator = [&](char c) { return separators.find(c) != std::string_view::npos; };
  while (position_ < text_.size() && is_separator(text_[position_]))
    ++position_;
  if (position_ >= text_.size()) return std::nullopt;
  const std::size_t start = position_;
  while (position_ < text_.size() && !is_separator(text_[position_])) {
    if (text_[position_] == '"') {
      const std::size_t close = text_.find('"', position_ + 1);
      position_ = close == std::string_view::npos ? text_.size() : close + 1;
    } else {
      ++position_;
    }
  }
  const std::string_view token = text_.substr(start, position_ - start);
  if (position_ < text_.size()) ++position_;  // the separator that ended it
  return token;
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return to_lower(x) == to_lower(y); });
}

int count_parameters(std::string_view body) {
  const auto marks = std::count(body.begin(), body.end(), '?');
  return static_cast<int>(std::min<std::ptrdiff_t>(marks, kMaxMacroParameters));
}

const SymbolRecord* SymbolTable::find(std::string_view name) const {
  name = cut_name(name);
  for (const SymbolRecord& record : records_)
    if (record.name == name) return &record;
  return nullptr;
}

void SymbolTable::define_macro(std::string_view name, std::string body) {
  SymbolRecord record;
  record.name = std::string(cut_name(name));
  record.kind = SymbolKind::Macro;
  record.parameter_count = count_parameters(body);
  record.body = std::move(body);
  records_.insert(records_.begin(), std::move(record));
}

void SymbolTable::define_procedure(std::string_view name, std::uint16_t address) {
  SymbolRecord record;
  record.name = std::string(cut_name(name));
  record.kind = SymbolKind::Procedure;
  record.address = address;
  records_.insert(records_.begin(), std::move(record));
}

bool SymbolTable::remove(std::string_view name) {
  name = cut_name(name);
  const auto it = std::find_if(records_.begin(), records_.end(),
                               [&](const SymbolRecord& r) { return r.name == name; });
  if (it == records_.end()) return false;
  records_.erase(it);
  return true;
}

std::optional<long> parse_time(std::string_view token, int field_rate) {
  // The pattern "%2d:%2d:%2d%c%1d%1d": each step stops the reading when it does not match.
  std::size_t i = 0;
  int hms[3] = {};
  for (int k = 0; k < 3; ++k) {
    if (k > 0) {
      if (i >= token.size() || token[i] != ':') return std::nullopt;
      ++i;
    }
    const auto n = scan_int(token, i, 2);
    if (!n) return std::nullopt;
    hms[k] = *n;
  }
  const int hours = hms[0];
  const int minutes = hms[1];
  const int seconds = hms[2];
  // The pattern lets a sign through; a time is never negative.
  if (hours < 0 || minutes < 0 || seconds < 0) return std::nullopt;
  if (hours > 24 || minutes > 60 || seconds > 60) return std::nullopt;

  long extra = 0;
  if (i < token.size()) {
    const char separator = token[i++];
    const auto first = scan_int(token, i, 1);
    if (first) {
      const auto second = scan_int(token, i, 1);
      const int digits = second ? *first * 10 + *second : *first;
      if (separator == ':' || separator == '-') {
        if (digits > field_rate / 2) return std::nullopt;
        extra = 2L * digits;
      } else if (separator == '.') {
        const int hundredths = second ? digits : *first * 10;
        extra = static_cast<long>(hundredths) * field_rate / 100;
      } else {
        return std::nullopt;
      }
    }
  }
  return ((static_cast<long>(hours) * 60 + minutes) * 60 + seconds) * field_rate + extra;
}

std::string rest_as_body(Tokenizer& tokens) {
  std::string body;
  while (const auto token = tokens.next()) {
    body += *token;
    body += ' ';
  }
  return body;
}

MacroBody read_macro_body(Tokenizer& tokens, std::string_view name) {
  MacroBody macro;
  macro.body = rest_as_body(tokens);
  if (macro.body.empty()) {
    macro.error = strprintf(kMacroHasNoBody, std::string(name).c_str());
  } else if (macro.body.size() > kMaxMacroBody) {
    macro.error = kExpansionTooLong;
    macro.body.clear();
  }
  return macro;
}

}  // namespace qm
