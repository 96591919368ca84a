#include "compiler/compiler.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <new>
#include <string_view>
#include <system_error>
#include <utility>

#include "base/path_text.h"
#include "base/text_format.h"
#include "compiler/numbers.h"
#include "compiler/sequence_format.h"
#include "compiler/source_reader.h"
#include "platform/paths.h"

namespace qm {
namespace {

// How an error is put to the operator.
constexpr const char* kCompileTitle = " Compile";
constexpr const char* kErrorFile = "File: %s\n";
constexpr const char* kErrorLine = "Error line: %d - ";
constexpr const char* kErrorNoLine = "Error: ";
constexpr const char* kEditFile = "\n\nEdit file?";

// Reading files.
constexpr const char* kOutOfMemory = "Out of memory, SEND abandonded";
constexpr const char* kCantOpenFile = "Can't open file: %s";
constexpr const char* kIncludeExpected = "Include filename expected.";

// The code image and the output file.
constexpr const char* kSizeLimit = "Compiled code exceeds size limit";
constexpr const char* kUnexpectedEndOfFile = "Unexpected end";
constexpr const char* kNoStartCode = "No start code defined.";
constexpr const char* kUnableToOpen = "Unable to open file: %s";
constexpr const char* kErrorWriting = "Error writing to file: %s";
// The output would replace a file the compilation read (the source itself, say).
constexpr const char* kOutputIsInput = "Output file is an input file: %s";

// Blocks.
constexpr const char* kStackOverflow = "Compiler stack overflow";
constexpr const char* kStackUnderflow = "Compiler stack underflow";

constexpr std::string_view kStartupMacro = "__SC__";  // defined only while compiling
constexpr std::string_view kUnitMacro = "_UNIT";
constexpr const char* kIncludeFolderVariable = "QUADRIMON";  // the folder of INCLUDE <name>
constexpr std::string_view kStdIncludeName = "std.inc";
constexpr std::string_view kOutputExtension = "sfb";

constexpr int kMaxIncludeDepth = 10;           // the main source is the first level
constexpr std::size_t kMaxIncludeName = 83;    // characters of a resolved INCLUDE name
constexpr std::size_t kLineBufferChars = 243;  // an expanded line never holds more
constexpr std::size_t kMaxWorkingCopy = 241;
constexpr int kMaxPasses = 10;
constexpr std::size_t kStackEntries = 100;  // the main marker and at most 99 open blocks
constexpr std::size_t kMaxArgumentLength = 240;
constexpr std::size_t kMaxByteValues = 90;
constexpr std::size_t kMaxCallName = 8;
constexpr int kMaxRepeat = 10000;
constexpr int kForever = -1;
constexpr int kPalRate = 50;
constexpr int kNtscRate = 60;

constexpr std::uint8_t kBroadcastBit = 0x80;  // type byte of a message to every address
constexpr std::uint8_t kAllDevices = 0xFF;    // type byte of device -1

enum class ArgumentMode : std::uint8_t {
  Verbatim = 1,  // arguments as written: expansion stops at the command word
  Expanded = 2,  // the whole line is macro-expanded before the handler sees it
};

enum class BlockMarker : std::uint8_t { Main = 1, Procedure = 2, Repeat = 3 };

std::uint8_t op(Opcode code) {
  return static_cast<std::uint8_t>(code);
}
std::uint8_t low_byte(unsigned value) {
  return static_cast<std::uint8_t>(value & 0xFF);
}
std::uint8_t high_byte(unsigned value) {
  return static_cast<std::uint8_t>((value >> 8) & 0xFF);
}
std::string text(std::string_view view) {
  return std::string(view);
}

// The report of a token that is not a number: too long, or not converting.
std::string number_message(NumberError error, std::string_view token) {
  const std::string written = text(token);
  return error == NumberError::TooLong ? strprintf(kSymbolTooLong, written.c_str())
                                       : strprintf(kConvertingInteger, written.c_str());
}

// A path made absolute against the current directory, or the name as passed when that fails.
std::string full_path(const std::string& name) {
  if (name.empty()) return name;
  std::error_code error;
  const std::filesystem::path path = std::filesystem::absolute(path_from_utf8(name), error);
  return error ? name : utf8_from_path(path.lexically_normal());
}

// The line without its at-sign pairs (a trailing at-sign goes alone), at most 241 characters.
std::string drop_at_pairs(std::string_view line) {
  std::string copy;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '@') {
      ++i;
      continue;
    }
    copy += line[i];
  }
  if (copy.size() > kMaxWorkingCopy) copy.resize(kMaxWorkingCopy);
  return copy;
}

// The tokens of SEND and OUTPUT arguments as byte-value conversion splits them: on space,
// "," and tab, a token that begins with a double quote running to its closing quote.
std::vector<std::string_view> byte_value_tokens(std::string_view text) {
  auto is_separator = [](char c) { return c == ' ' || c == ',' || c == '\t'; };
  std::vector<std::string_view> tokens;
  std::size_t i = 0;
  while (i < text.size()) {
    if (is_separator(text[i])) {
      ++i;
      continue;
    }
    std::size_t end = i + 1;
    if (text[i] == '"') {
      const std::size_t close = text.find('"', i + 1);
      end = close == std::string_view::npos ? text.size() : close + 1;
    } else {
      while (end < text.size() && !is_separator(text[end]))
        ++end;
    }
    tokens.push_back(text.substr(i, end - i));
    i = end;
  }
  return tokens;
}

// One byte of SEND or OUTPUT data.
struct ByteValue {
  std::uint8_t byte;
  bool minus_one;  // written as the number -1 (device or address "all")
};

class Compilation;
using Handler = bool (Compilation::*)(std::string_view arguments);

struct CommandEntry {
  std::string_view word;  // matched without regard to case
  Handler handler;
  ArgumentMode mode;
};

// The state of one compilation: rebuilt for every compile_sequence call, except the field
// rate, which belongs to the SequenceCompiler.
class Compilation {
 public:
  Compilation(OperatorUi& ui, const CompileOptions& options, int& field_rate, std::string source)
      : ui_(ui), options_(options), field_rate_(field_rate), current_file_(std::move(source)) {}

  // Compiles the source and writes `output`; the image on success.
  std::optional<std::vector<std::uint8_t>> run(const std::string& output);
  // The same, reporting an allocation failure instead of letting it escape.
  std::optional<std::vector<std::uint8_t>> run_guarded(const std::string& output);

  static const std::array<CommandEntry, 26> kCommands;

 private:
  static const CommandEntry* find_command(std::string_view word);

  bool report_compile_error(const std::string& message);
  bool compile_file(const std::string& name);
  bool compile_line(std::string_view source_line);
  bool expand_line(std::string& line);
  bool write_macro(const SymbolRecord& macro, Tokenizer& tokens, ExpandedLine& out);
  bool finish(const std::string& output);
  bool write_output(const std::string& output);

  bool emit_byte(std::uint8_t byte);
  bool emit(std::initializer_list<std::uint8_t> bytes);
  bool emit_fields(Opcode code, long fields);
  bool push_block(BlockMarker marker);
  std::optional<BlockMarker> pop_block();

  bool convert_byte_values(std::string_view arguments, std::vector<ByteValue>& values);
  std::optional<long> convert_time(std::optional<std::string_view> token);
  bool no_more_arguments(Tokenizer& tokens);
  std::optional<std::string> macro_body(Tokenizer& tokens, std::string_view name);
  bool compile_call(const SymbolRecord& procedure);

  bool send(std::string_view arguments);
  bool wait(std::string_view arguments);
  bool set(std::string_view arguments);
  bool ignore(std::string_view arguments);
  bool define(std::string_view arguments);
  bool call(std::string_view arguments);
  bool include(std::string_view arguments);
  bool output(std::string_view arguments);
  bool forget(std::string_view arguments);
  bool proc(std::string_view arguments);
  bool endproc(std::string_view arguments);
  bool repeat(std::string_view arguments);
  bool again(std::string_view arguments);
  bool until(std::string_view arguments);
  bool end(std::string_view arguments);
  bool exec(std::string_view arguments);
  bool shell(std::string_view arguments);
  bool radix(std::string_view arguments);
  bool pal(std::string_view arguments);
  bool ntsc(std::string_view arguments);
  bool exit_if(std::string_view arguments);

  OperatorUi& ui_;
  const CompileOptions& options_;
  int& field_rate_;

  std::string current_file_;       // as named by the INCLUDE (or the caller)
  int line_number_ = 0;            // 0 outside any line
  std::size_t line_position_ = 0;  // the next line of the current file; EXIT moves it
  std::size_t line_end_ = 0;
  int include_depth_ = 0;
  std::vector<std::filesystem::path> inputs_;  // every file read, which the output must not be
  int radix_ = 10;
  SymbolTable symbols_;
  std::vector<BlockMarker> stack_{BlockMarker::Main};
  std::vector<std::uint8_t> image_;
  std::uint16_t start_code_ = 0;  // 0 until the main body's first byte
};

// The command words, in the order they are matched.
const std::array<CommandEntry, 26> Compilation::kCommands{{
    {"SEND", &Compilation::send, ArgumentMode::Expanded},        // a unit message (opcode 2)
    {"WAIT", &Compilation::wait, ArgumentMode::Expanded},        // a pause (opcode 5 or 18)
    {"SET", &Compilation::set, ArgumentMode::Verbatim},          // gives a symbol a new body
    {"GET", &Compilation::ignore, ArgumentMode::Verbatim},       // a link request: nothing
    {"DEFINE", &Compilation::define, ArgumentMode::Verbatim},    // defines a macro
    {"CALL", &Compilation::call, ArgumentMode::Expanded},        // another flash file (opcode 1)
    {"INCLUDE", &Compilation::include, ArgumentMode::Verbatim},  // compiles another source file
    {"OUTPUT", &Compilation::output, ArgumentMode::Expanded},    // raw bytes (opcode 4)
    {"POLL", &Compilation::ignore, ArgumentMode::Expanded},      // a link request: nothing
    {"SPEED", &Compilation::ignore, ArgumentMode::Expanded},     // a runner setting: nothing
    {"FORGET", &Compilation::forget, ArgumentMode::Verbatim},    // removes a symbol
    {"SYMBOLS", &Compilation::ignore, ArgumentMode::Expanded},   // a runner listing: nothing
    {"PROC", &Compilation::proc, ArgumentMode::Verbatim},        // opens a procedure
    {"ENDPROC", &Compilation::endproc, ArgumentMode::Expanded},  // its return (opcode 10)
    {"REM", &Compilation::ignore, ArgumentMode::Verbatim},       // a comment line
    {"REPEAT", &Compilation::repeat, ArgumentMode::Expanded},    // opens a loop (opcode 11)
    {"AGAIN", &Compilation::again, ArgumentMode::Expanded},      // closes it (opcode 12)
    {"UNTIL", &Compilation::until, ArgumentMode::Expanded},      // closes it by time (opcode 13)
    {"END", &Compilation::end, ArgumentMode::Expanded},          // checks no block is open
    {"EXEC", &Compilation::exec, ArgumentMode::Expanded},        // PC programs: refused
    {"SHELL", &Compilation::shell, ArgumentMode::Verbatim},      // PC programs: refused
    {"RADIX", &Compilation::radix, ArgumentMode::Verbatim},      // the base of numbers
    {"PAL", &Compilation::pal, ArgumentMode::Expanded},          // times at 50 fields a second
    {"NTSC", &Compilation::ntsc, ArgumentMode::Expanded},        // times at 60 fields a second
    {"USE", &Compilation::ignore, ArgumentMode::Verbatim},       // a runner setting: nothing
    {"EXIT", &Compilation::exit_if, ArgumentMode::Verbatim},     // may end the current file
}};

const CommandEntry* Compilation::find_command(std::string_view word) {
  for (const CommandEntry& entry : kCommands)
    if (equals_ignoring_case(entry.word, word)) return &entry;
  return nullptr;
}

bool Compilation::report_compile_error(const std::string& message) {
  const std::string file = full_path(current_file_);
  std::string box = strprintf(kErrorFile, file.c_str());
  box += line_number_ == 0 ? std::string(kErrorNoLine) : strprintf(kErrorLine, line_number_);
  box += message;
  if (!ui_.can_edit_sequence_files()) {
    ui_.message_box(kCompileTitle, box, BoxButtons::Ok, BoxIcon::Error);
    return false;
  }
  box += kEditFile;
  if (ui_.message_box(kCompileTitle, box, BoxButtons::YesNo, BoxIcon::Error) == BoxAnswer::Yes)
    ui_.edit_sequence_file(file, line_number_);
  return false;
}

std::optional<std::vector<std::uint8_t>> Compilation::run_guarded(const std::string& output) {
  // Every container here allocates; running out of memory ends the compilation like any
  // other error instead of ending the program.
  try {
    return run(output);
  } catch (const std::bad_alloc&) {
    report_compile_error(kOutOfMemory);
    return std::nullopt;
  }
}

std::optional<std::vector<std::uint8_t>> Compilation::run(const std::string& output) {
  const std::string source = current_file_;
  image_.reserve(kCompiledSizeLimit);
  if (!read_source_file(path_from_utf8(source))) {
    report_compile_error(strprintf(kCantOpenFile, source.c_str()));
    return std::nullopt;
  }
  symbols_.define_macro(kStartupMacro, "1");
  const auto header = sequence_header(0);
  image_.assign(header.begin(), header.end());

  if (!options_.skip_std) {
    const std::string std_inc = utf8_from_path(options_.std_dir / kStdIncludeName);
    if (!compile_file(std_inc)) return std::nullopt;
  }
  symbols_.define_macro(kUnitMacro, std::to_string(options_.selected_unit));
  if (!compile_file(source)) return std::nullopt;
  if (!finish(output)) return std::nullopt;
  return std::move(image_);
}

// Reads a file whole and compiles its lines, the file becoming the current one meanwhile.
bool Compilation::compile_file(const std::string& name) {
  if (include_depth_ >= kMaxIncludeDepth)
    return report_compile_error(strprintf(kIncludeNestedTooDeep, name.c_str()));
  const std::optional<std::string> content = read_source_file(path_from_utf8(name));
  if (!content) return report_compile_error(strprintf(kCantOpenFile, name.c_str()));
  inputs_.push_back(path_from_utf8(name));
  const std::vector<SourceLine> lines = split_source_lines(*content, kCompilerPieceLength);

  std::string outer_file = std::exchange(current_file_, name);
  const int outer_line = std::exchange(line_number_, 0);
  const std::size_t outer_position = std::exchange(line_position_, 0);
  const std::size_t outer_end = std::exchange(line_end_, lines.size());
  ++include_depth_;
  while (line_position_ < line_end_) {
    const SourceLine& line = lines[line_position_++];
    line_number_ = line.number;
    if (line.text.empty()) continue;
    // The failing file and line stay current: the error report has named them.
    if (!compile_line(line.text)) return false;
  }
  --include_depth_;
  current_file_ = std::move(outer_file);
  line_number_ = outer_line;
  line_position_ = outer_position;
  line_end_ = outer_end;
  return true;
}

bool Compilation::compile_line(std::string_view source_line) {
  std::string line(source_line.substr(0, kCompilerPieceLength));
  if (!expand_line(line)) return false;
  Tokenizer tokens(line);
  const auto word = tokens.next();
  if (!word) return true;
  if (const CommandEntry* command = find_command(*word))
    return (this->*command->handler)(tokens.rest());
  if (const SymbolRecord* symbol = symbols_.find(*word);
      symbol && symbol->kind == SymbolKind::Procedure)
    return compile_call(*symbol);
  return report_compile_error(strprintf(kNotACommand, text(*word).c_str()));
}

// Replaces macros until a pass replaces none. Strings are marked first, so they are single
// tokens that never match a name; at-sign pairs (which the runner gives a meaning) are
// dropped. A command word that takes its arguments as written ends the pass.
bool Compilation::expand_line(std::string& line) {
  for (int passes = 0;;) {
    if (!mark_quoted(line)) return report_compile_error(kStringTerminationMissing);
    const std::string copy = drop_at_pairs(line);
    Tokenizer tokens(copy);
    ExpandedLine out(kLineBufferChars);
    bool replaced = false;
    bool verbatim = false;
    while (const auto token = tokens.next()) {
      if (const CommandEntry* command = find_command(*token);
          command && command->mode == ArgumentMode::Verbatim) {
        verbatim = true;
        break;
      }
      std::string_view name = *token;
      if (name.front() == '&') {
        if (!out.add_char('&')) return report_compile_error(kExpansionTooLong);
        name.remove_prefix(1);
      }
      const SymbolRecord* symbol = symbols_.find(name);
      if (symbol && symbol->kind == SymbolKind::Macro) {
        replaced = true;
        if (!write_macro(*symbol, tokens, out)) return false;
      } else if (!out.add_text(name)) {
        return report_compile_error(kExpansionTooLong);
      }
      if (!out.add_space()) return report_compile_error(kExpansionTooLong);
    }
    // A line that begins with such a command word stays as it was.
    if (!verbatim || !out.empty()) line = out.take();
    if (++passes > kMaxPasses) return report_compile_error(kTooManyPasses);
    clear_bit7(line);
    if (!replaced) return true;
  }
}

// Writes a macro's body; a macro with parameters first takes its arguments from the tokens
// that follow it, one per "?" of the body, and puts ?1..?9 in their places.
bool Compilation::write_macro(const SymbolRecord& macro, Tokenizer& tokens, ExpandedLine& out) {
  if (macro.parameter_count == 0) {
    return out.add_text(macro.body) || report_compile_error(kExpansionTooLong);
  }
  std::vector<std::string_view> arguments;
  for (int k = 0; k < macro.parameter_count; ++k) {
    const auto argument = tokens.next();
    if (!argument)
      return report_compile_error(strprintf(kInsufficientParameters, macro.name.c_str()));
    arguments.push_back(*argument);
  }
  const std::string_view body = macro.body;
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (body[i] != '?') {
      if (!out.add_char(body[i])) return report_compile_error(kExpansionTooLong);
      continue;
    }
    if (++i == body.size()) break;                 // a "?" at the very end goes alone
    if (body[i] < '1' || body[i] > '9') continue;  // "?" and any other character go
    const auto k = static_cast<std::size_t>(body[i] - '1');
    if (k >= arguments.size()) return report_compile_error(kCantSubstitute);
    if (!out.add_text(arguments[k]) || !out.add_space())
      return report_compile_error(kExpansionTooLong);
  }
  return true;
}

bool Compilation::finish(const std::string& output) {
  symbols_.clear();
  if (stack_.size() > 1) return report_compile_error(kUnexpectedEndOfFile);
  // The main body's return is not part of it: a source without main-body code has no start.
  if (image_.size() >= kCompiledSizeLimit) return report_compile_error(kSizeLimit);
  image_.push_back(op(Opcode::EndProc));
  if (start_code_ == 0) return report_compile_error(kNoStartCode);
  const auto header = sequence_header(start_code_);
  std::copy(header.begin(), header.end(), image_.begin());
  return write_output(output);
}

// Writes the image beside the output and moves it into place, so that the output appears
// whole or not at all; a replacement that fails counts as an output that cannot be created.
bool Compilation::write_output(const std::string& output) {
  const std::filesystem::path target = path_from_utf8(output);
  for (const std::filesystem::path& input : inputs_) {
    std::error_code error;
    if (std::filesystem::equivalent(input, target, error))
      return report_compile_error(strprintf(kOutputIsInput, output.c_str()));
  }
  const std::string_view bytes(reinterpret_cast<const char*>(image_.data()), image_.size());
  switch (platform::write_file_atomically(target, bytes).step) {
    case platform::AtomicWriteStep::Done:
      return true;
    case platform::AtomicWriteStep::Write:
      return report_compile_error(strprintf(kErrorWriting, output.c_str()));
    default:  // not created, or not moved into place
      return report_compile_error(strprintf(kUnableToOpen, output.c_str()));
  }
}

bool Compilation::emit_byte(std::uint8_t byte) {
  if (image_.size() >= kCompiledSizeLimit) return report_compile_error(kSizeLimit);
  if (start_code_ == 0 && stack_.back() == BlockMarker::Main)
    start_code_ = static_cast<std::uint16_t>(image_.size());
  image_.push_back(byte);
  return true;
}

bool Compilation::emit(std::initializer_list<std::uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [this](std::uint8_t b) { return emit_byte(b); });
}

// The opcode and a field count in the smallest typed value that holds it.
bool Compilation::emit_fields(Opcode code, long fields) {
  std::vector<std::uint8_t> value;
  const auto count = static_cast<std::uint32_t>(fields);
  append_typed_value(value, smallest_type(count), count);
  if (!emit_byte(op(code))) return false;
  return std::all_of(value.begin(), value.end(), [this](std::uint8_t b) { return emit_byte(b); });
}

bool Compilation::push_block(BlockMarker marker) {
  if (stack_.size() >= kStackEntries) return report_compile_error(kStackOverflow);
  stack_.push_back(marker);
  return true;
}

std::optional<BlockMarker> Compilation::pop_block() {
  if (stack_.size() <= 1) {
    report_compile_error(kStackUnderflow);
    return std::nullopt;
  }
  const BlockMarker marker = stack_.back();
  stack_.pop_back();
  return marker;
}

// SEND and OUTPUT arguments as bytes, each marked when it was written as the number -1.
bool Compilation::convert_byte_values(std::string_view arguments, std::vector<ByteValue>& values) {
  constexpr const char* kLineTooLong = "Max. line length exeeded.";
  constexpr const char* kTooManyParameters = "Too many parameters!";
  if (arguments.size() > kMaxArgumentLength) return report_compile_error(kLineTooLong);
  for (const std::string_view token : byte_value_tokens(arguments)) {
    const ParsedBytes parsed = parse_byte_values(token, radix_);
    if (!parsed) return report_compile_error(number_message(parsed.error, *parsed.bad_token));
    const bool number = token.front() != '"' && token.front() != '&';
    const bool minus_one = number && parse_number(token, radix_).value == kEveryUnitNumber;
    for (const std::uint8_t byte : parsed.bytes)
      values.push_back({byte, minus_one});
  }
  if (values.size() > kMaxByteValues) return report_compile_error(kTooManyParameters);
  return true;
}

// A time token as a field count at the current field rate; reported when missing or wrong.
std::optional<long> Compilation::convert_time(std::optional<std::string_view> token) {
  if (!token) {
    report_compile_error(kTimeExpected);
    return std::nullopt;
  }
  const std::optional<long> fields = parse_time(*token, field_rate_);
  if (!fields) report_compile_error(strprintf(kConvertingTime, text(*token).c_str()));
  return fields;
}

// After the time of WAIT and UNTIL nothing may follow.
bool Compilation::no_more_arguments(Tokenizer& tokens) {
  constexpr const char* kAdditionalParameters = "Additional parameters not supported: %s";
  constexpr std::string_view kTrailingSeparators = " *+\t";
  if (const auto extra = tokens.next(kTrailingSeparators))
    return report_compile_error(strprintf(kAdditionalParameters, text(*extra).c_str()));
  return true;
}

// The body of DEFINE and SET (read_macro_body); none when there is none or it is too long
// (reported).
std::optional<std::string> Compilation::macro_body(Tokenizer& tokens, std::string_view name) {
  MacroBody macro = read_macro_body(tokens, name);
  if (!macro.error.empty()) {
    report_compile_error(macro.error);
    return std::nullopt;
  }
  return std::move(macro.body);
}

// <procedure name>
bool Compilation::compile_call(const SymbolRecord& procedure) {
  return emit({op(Opcode::Proc), low_byte(procedure.address), high_byte(procedure.address), 0});
}

// SEND device address function [data ...]
bool Compilation::send(std::string_view arguments) {
  constexpr const char* kTooFew = "Send requires at least 3 parameters.";
  std::vector<ByteValue> values;
  if (!convert_byte_values(arguments, values)) return false;
  if (values.size() < 3) return report_compile_error(kTooFew);
  std::uint8_t device = values[0].byte;
  std::uint8_t address = values[1].byte;
  if (values[0].minus_one) {
    device = kAllDevices;
  } else if (values[1].minus_one) {
    device = static_cast<std::uint8_t>(device | kBroadcastBit);
    address = 0;
  }
  if (!emit({op(Opcode::Send), static_cast<std::uint8_t>(values.size()), device, address,
             values[2].byte}))
    return false;
  for (std::size_t i = 3; i < values.size(); ++i)
    if (!emit_byte(values[i].byte)) return false;
  return true;
}

// OUTPUT byte [byte ...]
bool Compilation::output(std::string_view arguments) {
  constexpr const char* kNoBytes = "OUTPUT requires at least 1 byte.";
  std::vector<ByteValue> values;
  if (!convert_byte_values(arguments, values)) return false;
  if (values.empty()) return report_compile_error(kNoBytes);
  if (!emit({op(Opcode::Output), static_cast<std::uint8_t>(values.size())})) return false;
  for (const ByteValue& value : values)
    if (!emit_byte(value.byte)) return false;
  return true;
}

// CALL name
bool Compilation::call(std::string_view arguments) {
  constexpr const char* kNoName = "Filename expected.";
  constexpr const char* kNameTooLong = "Filename greater than 8 chars.";
  const auto name = Tokenizer(arguments).next(" \t");
  if (!name) return report_compile_error(kNoName);
  if (name->size() > kMaxCallName) return report_compile_error(kNameTooLong);
  if (!emit_byte(op(Opcode::Include))) return false;
  for (const char c : *name)
    if (!emit_byte(static_cast<std::uint8_t>(c))) return false;
  return emit_byte(0);
}

// WAIT [FOR | UNTIL | ELAPSED | TIMECODE] time
// WAIT EVENT
bool Compilation::wait(std::string_view arguments) {
  constexpr std::string_view kSeparators = " +=,\t";
  constexpr std::array<std::string_view, 5> kKeywords{"FOR", "UNTIL", "ELAPSED", "TIMECODE",
                                                      "EVENT"};
  Tokenizer tokens(arguments);
  auto token = tokens.next(kSeparators);
  if (!token) return report_compile_error(kTimeExpected);
  const bool keyword = std::any_of(kKeywords.begin(), kKeywords.end(), [&](std::string_view k) {
    return equals_ignoring_case(k, *token);
  });
  // EVENT takes no time; a word after it is refused like one after a time.
  if (keyword && equals_ignoring_case(*token, "EVENT")) {
    return no_more_arguments(tokens) && emit_byte(op(Opcode::WaitEvent));
  }
  if (keyword) token = tokens.next(kSeparators);
  const std::optional<long> fields = convert_time(token);
  if (!fields || !no_more_arguments(tokens)) return false;
  return emit_fields(Opcode::Wait, *fields);
}

// REPEAT [count | FOREVER]
bool Compilation::repeat(std::string_view arguments) {
  constexpr const char* kNotInteger = "Can't convert to integer: ";
  constexpr const char* kOutOfRange = "Repeat parameter error: ";
  const auto token = Tokenizer(arguments).next();
  int count = kForever;
  if (token && !equals_ignoring_case(*token, "FOREVER")) {
    const ParsedNumber number = parse_number(*token, radix_);
    if (number.error == NumberError::TooLong)
      return report_compile_error(strprintf(kSymbolTooLong, text(*token).c_str()));
    if (!number) return report_compile_error(kNotInteger);
    count = number.value;
  }
  if (count > kMaxRepeat || count < kForever) return report_compile_error(kOutOfRange);
  // Forever is the byte 255, the same as a count of 255.
  const auto value = static_cast<unsigned>(count) & 0xFFFFu;
  const bool fits_byte = count <= 255;
  if (!emit({op(Opcode::Repeat),
             static_cast<std::uint8_t>(fits_byte ? ValueType::Byte : ValueType::Word),
             low_byte(value)}))
    return false;
  if (!fits_byte && !emit_byte(high_byte(value))) return false;
  return push_block(BlockMarker::Repeat);
}

// AGAIN
bool Compilation::again(std::string_view) {
  constexpr const char* kWithoutRepeat = "AGAIN without matching REPEAT";
  const auto marker = pop_block();
  if (!marker) return false;
  if (*marker != BlockMarker::Repeat) return report_compile_error(kWithoutRepeat);
  return emit_byte(op(Opcode::Again));
}

// UNTIL [ELAPSED] [TIME] time
bool Compilation::until(std::string_view arguments) {
  constexpr const char* kBeforeRepeat = "UNTIL before matching REPEAT";
  constexpr std::string_view kSeparators = " =+,\t";
  const auto marker = pop_block();
  if (!marker) return false;
  if (*marker != BlockMarker::Repeat) return report_compile_error(kBeforeRepeat);
  Tokenizer tokens(arguments);
  auto token = tokens.next(kSeparators);
  if (token && equals_ignoring_case(*token, "ELAPSED")) token = tokens.next(kSeparators);
  if (token && equals_ignoring_case(*token, "TIME")) token = tokens.next(kSeparators);
  const std::optional<long> fields = convert_time(token);
  if (!fields || !no_more_arguments(tokens)) return false;
  const auto count = static_cast<std::uint32_t>(*fields);
  return emit({op(Opcode::Until), static_cast<std::uint8_t>(ValueType::Long), low_byte(count),
               high_byte(count), low_byte(count >> 16), high_byte(count >> 16)});
}

// PROC name
bool Compilation::proc(std::string_view arguments) {
  constexpr const char* kAfterBody = "Procedure must be defined before body of sequence: %s";
  constexpr const char* kRedefine = "Attempt to redefine %s";
  constexpr const char* kVariables = "PROC variables not used in FLASH seq files";
  Tokenizer tokens(arguments);
  const auto name = tokens.next();
  if (!name) return true;
  if (start_code_ != 0) return report_compile_error(strprintf(kAfterBody, text(*name).c_str()));
  if (find_command(*name) || symbols_.find(*name))
    return report_compile_error(strprintf(kRedefine, text(*name).c_str()));
  symbols_.define_procedure(*name, static_cast<std::uint16_t>(image_.size()));
  if (tokens.next()) return report_compile_error(kVariables);
  return push_block(BlockMarker::Procedure);
}

// ENDPROC
bool Compilation::endproc(std::string_view) {
  constexpr const char* kNotExpected = "ENDPROC not expected";
  if (!emit_byte(op(Opcode::EndProc))) return false;
  const auto marker = pop_block();
  if (!marker) return false;
  if (*marker != BlockMarker::Procedure) return report_compile_error(kNotExpected);
  return true;
}

// DEFINE name body
bool Compilation::define(std::string_view arguments) {
  constexpr const char* kNoName = "Define requires at least 2 parameters.";
  constexpr const char* kRedefine = "Attempt to redefine: '%s'";
  Tokenizer tokens(arguments);
  const auto name = tokens.next();
  if (!name) return report_compile_error(kNoName);
  if (find_command(*name) || symbols_.find(*name))
    return report_compile_error(strprintf(kRedefine, text(*name).c_str()));
  auto body = macro_body(tokens, *name);
  if (!body) return false;
  symbols_.define_macro(*name, std::move(*body));
  return true;
}

constexpr const char* kNotDefined = "'%s' is not a defined symbol.";

// SET name body
bool Compilation::set(std::string_view arguments) {
  constexpr const char* kNoName = "Set requires a parameter.";
  Tokenizer tokens(arguments);
  const auto name = tokens.next();
  if (!name) return report_compile_error(kNoName);
  if (find_command(*name) || !symbols_.find(*name))
    return report_compile_error(strprintf(kNotDefined, text(*name).c_str()));
  auto body = macro_body(tokens, *name);
  if (!body) return false;
  symbols_.remove(*name);
  symbols_.define_macro(*name, std::move(*body));
  return true;
}

// FORGET name
bool Compilation::forget(std::string_view arguments) {
  constexpr const char* kNoName = "Forget requires a parameter.";
  const auto name = Tokenizer(arguments).next();
  if (!name) return report_compile_error(kNoName);
  if (find_command(*name) || !symbols_.find(*name))
    return report_compile_error(strprintf(kNotDefined, text(*name).c_str()));
  symbols_.remove(*name);
  return true;
}

// INCLUDE <name> | "name" | name
bool Compilation::include(std::string_view arguments) {
  const std::size_t start = arguments.find_first_not_of(kTokenSeparators);
  if (start == std::string_view::npos) return report_compile_error(kIncludeExpected);
  std::string_view written = arguments.substr(start);
  std::string name;
  if (written.front() == '<') {
    written.remove_prefix(1);
    name = text(written.substr(0, written.find('>')));
    if (options_.include_dir) {
      std::string_view dir = *options_.include_dir;
      dir.remove_prefix(std::min(dir.find_first_not_of(' '), dir.size()));
      // An empty directory adds nothing rather than sending the name to the root.
      if (!dir.empty()) {
        const bool separated =
            dir.back() == '/' || dir.back() == std::filesystem::path::preferred_separator;
        name = text(dir) +
               (separated ? "" : std::string(1, std::filesystem::path::preferred_separator)) + name;
      }
    }
  } else if (written.front() == '"') {
    written.remove_prefix(1);
    name = text(written.substr(0, written.find('"')));
  } else {
    // As written, without the blank an expansion leaves at the end of a line.
    const std::size_t last = written.find_last_not_of(" \t");
    name = text(written.substr(0, last + 1));
  }
  // A longer name is refused rather than cut, so that no other file is ever opened.
  if (name.size() > kMaxIncludeName)
    return report_compile_error(strprintf(kCantOpenFile, name.c_str()));
  return compile_file(name);
}

// RADIX base
bool Compilation::radix(std::string_view arguments) {
  constexpr const char* kNoBase = "RADIX requires a parameter.";
  constexpr const char* kOutOfRange = "Radix must be between 2..16 -";
  const auto token = Tokenizer(arguments).next(" =\t");
  if (!token) return report_compile_error(kNoBase);
  radix_ = 10;  // so that the base itself is always written in decimal
  const ParsedNumber base = parse_number(*token, radix_);
  if (!base) return report_compile_error(number_message(base.error, *token));
  if (base.value < 2 || base.value > 16) return report_compile_error(kOutOfRange);
  radix_ = base.value;
  return true;
}

// PAL
bool Compilation::pal(std::string_view) {
  field_rate_ = kPalRate;
  return true;
}

// NTSC
bool Compilation::ntsc(std::string_view) {
  field_rate_ = kNtscRate;
  return true;
}

// EXIT IF [DEFINED] name
bool Compilation::exit_if(std::string_view arguments) {
  constexpr const char* kNoIf = "IF expected.";
  constexpr const char* kNotIf = "IF expected not: ";
  constexpr const char* kNoName = "EXIT IF requires a symbol name.";
  constexpr std::string_view kSeparators = " \t";
  Tokenizer tokens(arguments);
  const auto word = tokens.next(kSeparators);
  if (!word) return report_compile_error(kNoIf);
  if (!equals_ignoring_case(*word, "IF")) return report_compile_error(kNotIf);
  auto name = tokens.next(kSeparators);
  if (name && equals_ignoring_case(*name, "DEFINED")) name = tokens.next(kSeparators);
  if (!name) return report_compile_error(kNoName);
  if (symbols_.find(*name)) line_position_ = line_end_;
  return true;
}

// END
bool Compilation::end(std::string_view) {
  constexpr const char* kOpenBlock = "Unexpected END";
  if (stack_.back() != BlockMarker::Main) return report_compile_error(kOpenBlock);
  return true;
}

// EXEC program
bool Compilation::exec(std::string_view) {
  constexpr const char* kRefused = "EXEC is not used in FLASH sequence files.";
  return report_compile_error(kRefused);
}

// SHELL command
bool Compilation::shell(std::string_view) {
  constexpr const char* kRefused = "SHELL is not used in FLASH sequence files.";
  return report_compile_error(kRefused);
}

// GET, POLL, SPEED, SYMBOLS, REM, USE [anything]
bool Compilation::ignore(std::string_view) {
  return true;
}

}  // namespace

CompileOptions program_compile_options(const ProgramOptions& options, int selected_unit) {
  CompileOptions compile;
  compile.skip_std = options.skip_std;
  compile.selected_unit = selected_unit;
  compile.std_dir = platform::data_dir();
  if (const auto folder = platform::env_path(kIncludeFolderVariable))
    compile.include_dir = utf8_from_path(*folder);
  return compile;
}

SequenceCompiler::SequenceCompiler(OperatorUi& ui) : ui_(ui) {}

int SequenceCompiler::compile_sequence(const std::string& source,
                                       const std::optional<std::string>& output,
                                       const CompileOptions& options) {
  std::string target;
  if (output) {
    target = *output;
  } else {
    std::filesystem::path path = path_from_utf8(full_path(source));
    path.replace_extension(kOutputExtension);
    target = utf8_from_path(path);
  }
  Compilation compilation(ui_, options, field_rate_, source);
  auto image = compilation.run_guarded(target);
  if (!image) return 1;
  image_ = std::move(*image);
  output_ = std::move(target);
  return 0;
}

int SequenceCompiler::field_rate() const {
  return field_rate_;
}

const std::vector<std::uint8_t>& SequenceCompiler::image() const {
  return image_;
}

std::vector<std::string_view> compiler_command_words() {
  std::vector<std::string_view> words;
  for (const CommandEntry& entry : Compilation::kCommands)
    words.push_back(entry.word);
  return words;
}

}  // namespace qm
