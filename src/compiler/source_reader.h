// What the compiler and the runner share in reading sequence source: lines with their
// numbers, comments, quoted strings, tokens, the symbol table and time parameters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// Texts both readers show.
inline constexpr const char* kStringTerminationMissing = "String termination missing";
inline constexpr const char* kExpansionTooLong = "Expansion exeeds max line length";
inline constexpr const char* kTooManyPasses = "Unable to expand line after 10 passes";
inline constexpr const char* kInsufficientParameters = "Insufficient parameters to %s";
inline constexpr const char* kCantSubstitute = "Can't substitute parameter";
inline constexpr const char* kNotACommand = "'%s' is not a valid command.";
inline constexpr const char* kSymbolTooLong = "Symbol '%s' is too long";
inline constexpr const char* kConvertingInteger = "Converting '%s' to an integer.";
inline constexpr const char* kConvertingTime = "Converting time: %s";
inline constexpr const char* kTimeExpected = "Time parameter expected";

// A file is read in pieces of at most this many characters; each piece is a line.
inline constexpr std::size_t kCompilerPieceLength = 241;
inline constexpr std::size_t kRunnerPieceLength = 133;

inline constexpr char kCtrlZ = 0x1A;

struct SourceLine {
  int number = 0;    // 1 for the first piece of the file
  std::string text;  // comment and trailing blanks removed; may be empty
};

// Source files larger than this are refused as unreadable (a unit holds 8 KB of code).
inline constexpr std::uintmax_t kMaxSourceFileBytes = 16u << 20;

// The whole content of a plain file read in binary mode, or none when it cannot be read, is
// not a plain file (a device or pipe would never end) or is larger than the limit above.
std::optional<std::string> read_source_file(const std::filesystem::path& path);

// Splits file content into lines the way a reader of fixed-size pieces sees it: a piece ends
// after a line end (LF, or CR LF taken as one) or after `piece_length` characters, so a longer
// physical line becomes several lines. The text of a piece is cut at its first CR, LF, Ctrl-Z or
// NUL, then its comment and trailing blanks are removed. Every piece is returned, empty ones
// included, so the numbering counts them.
std::vector<SourceLine> split_source_lines(std::string_view content, std::size_t piece_length);

// The text before a ';' that stands outside double quotes, without trailing blanks and tabs.
std::string strip_comment(std::string_view text);

// Sets bit 7 of every character between a pair of double quotes (the quotes themselves stay
// plain), so that separators inside strings no longer split and strings never match a name.
// False, with the text unchanged, when a quote is unpaired.
bool mark_quoted(std::string& text);
// Clears bit 7 of every character.
void clear_bit7(std::string& text);

// The separators of most command arguments.
inline constexpr std::string_view kTokenSeparators = " =,\t";

// Splits a text token by token, each call choosing its separators. A token runs from the first
// non-separator to the next separator; a double-quoted stretch inside it runs to its closing
// quote whatever it holds. The separator that ends a token is consumed with it, so the text
// that follows starts after it.
class Tokenizer {
 public:
  explicit Tokenizer(std::string_view text) : text_(text) {}
  // The next token, or none when only separators are left.
  std::optional<std::string_view> next(std::string_view separators = kTokenSeparators);
  // What has not been consumed yet.
  std::string_view rest() const { return text_.substr(position_); }

 private:
  std::string_view text_;
  std::size_t position_ = 0;
};

// Whether two words are equal without regard to (ASCII) case.
bool equals_ignoring_case(std::string_view a, std::string_view b);

enum class SymbolKind : std::uint8_t {
  Macro = 1,      // DEFINE, SET and the predefined symbols
  Procedure = 2,  // PROC
};

// Names keep at most this many characters; a longer name is cut, where it is defined and
// where it is looked up alike.
inline constexpr std::size_t kSymbolNameLength = 15;
// A macro body counts at most this many "?" characters as parameters.
inline constexpr int kMaxMacroParameters = 17;

struct SymbolRecord {
  std::string name;
  SymbolKind kind = SymbolKind::Macro;
  std::string body;           // macro only
  int parameter_count = 0;    // macro only: the "?" characters of the body, up to 17
  std::uint16_t address = 0;  // procedure only: code offset of its first instruction
};

// The number of "?" characters in a macro body, counted up to 17.
int count_parameters(std::string_view body);

// The symbols of one compilation or run, newest first.
class SymbolTable {
 public:
  // The newest record of that name, or null. The pointer lasts until the table changes.
  const SymbolRecord* find(std::string_view name) const;
  void define_macro(std::string_view name, std::string body);
  void define_procedure(std::string_view name, std::uint16_t address);
  // Removes the newest record of that name; false when there is none.
  bool remove(std::string_view name);
  void clear() { records_.clear(); }
  const std::vector<SymbolRecord>& records() const { return records_; }

 private:
  std::vector<SymbolRecord> records_;  // newest first
};

// Converts a time parameter ("hh:mm:ss", then ":ff" or "-ff" frames or ".t"/".hh" fractions of
// a second) to a field count at `field_rate` (50 or 60); none when it does not convert.
std::optional<long> parse_time(std::string_view token, int field_rate);

// The remaining tokens, each followed by one space: the body of DEFINE and SET.
std::string rest_as_body(Tokenizer& tokens);

// Characters a macro body holds; a longer body is refused rather than cut.
inline constexpr std::size_t kMaxMacroBody = 135;

// An INCLUDE that would open one file more than a reader allows.
inline constexpr const char* kIncludeNestedTooDeep = "Include file nested too deep: %s";
inline constexpr const char* kMacroHasNoBody = "Macro '%s' has no body.";

// The body of DEFINE or SET for the macro `name`, or why it cannot be one.
struct MacroBody {
  std::string body;
  std::string error;  // empty when the body was taken
};

// Takes the body of DEFINE or SET from the remaining tokens (rest_as_body). An empty body gives
// "Macro '%s' has no body." with the name, one longer than kMaxMacroBody "Expansion exeeds max
// line length".
MacroBody read_macro_body(Tokenizer& tokens, std::string_view name);

// Characters an expansion may write into one line (tokens, macro text, arguments and "&",
// not the spaces between tokens).
inline constexpr std::size_t kMaxExpandedCount = 240;

// The line an expansion pass writes, counting the characters it writes. Each add is false
// when the line grows too long: a piece that brings the count to 240, a single character
// added once the count is past 240, or anything that would not fit the reader's line buffer
// (243 characters for the compiler, 135 for the runner), which the separating spaces can
// overflow while fewer than 240 characters have been counted.
class ExpandedLine {
 public:
  explicit ExpandedLine(std::size_t buffer_chars) : buffer_chars_(buffer_chars) {}
  bool add_text(std::string_view piece) {
    if (count_ + piece.size() >= kMaxExpandedCount) return false;
    count_ += piece.size();
    text_ += piece;
    return fits();
  }
  bool add_char(char c) {
    if (count_ > kMaxExpandedCount) return false;
    ++count_;
    text_ += c;
    return fits();
  }
  bool add_space() {
    text_ += ' ';
    return fits();
  }
  bool empty() const { return text_.empty(); }
  std::string take() { return std::move(text_); }

 private:
  bool fits() const { return text_.size() <= buffer_chars_; }
  std::size_t buffer_chars_;
  std::string text_;
  std::size_t count_ = 0;
};

}  // namespace qm
