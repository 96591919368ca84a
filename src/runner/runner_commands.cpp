// The runner's commands: one table of command words and a handler for each. The link
// commands act at once; the others change the run state (loops, calls, files, symbols).
#include <algorithm>
#include <limits>
#include <span>
#include <utility>

#include "base/text_format.h"
#include "base/ui_helpers.h"
#include "compiler/numbers.h"
#include "link/link.h"
#include "link/unit_report.h"
#include "link/unit_selection.h"
#include "runner/runner_impl.h"

namespace qm {
namespace {

constexpr const char* kTooManyParameters = "Too many parameters";
constexpr const char* kNotDefined = "'%s' is not a defined symbol.";
constexpr const char* kConvertingNumber = "Converting '%s' to an number.";

constexpr std::size_t kMaxArgumentLength = 240;
constexpr std::size_t kMaxSendValues = 90;
constexpr std::size_t kMaxOutputValues = 240;
constexpr int kForever = -1;
constexpr int kPalRate = 50;
constexpr int kNtscRate = 60;

// Separators of the commands that do not split on "=" or ",".
constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kBlanksAndNewline = " \t\n";

std::string text(std::string_view view) {
  return std::string(view);
}

// The report of a token that is not a number: too long, or not converting.
std::string converting_message(NumberError error, std::string_view token, bool as_number = false) {
  const std::string written = text(token);
  if (error == NumberError::TooLong) return strprintf(kSymbolTooLong, written.c_str());
  return as_number ? strprintf(kConvertingNumber, written.c_str())
                   : strprintf(kConvertingInteger, written.c_str());
}

// The number the decimal digits at the start of a text make; 0 when there are none.
int leading_decimal(std::string_view digits) {
  constexpr int kMostDigits = 9;
  int value = 0;
  for (std::size_t i = 0; i < digits.size() && i < kMostDigits; ++i) {
    if (digits[i] < '0' || digits[i] > '9') break;
    value = value * 10 + (digits[i] - '0');
  }
  return value;
}

// The "hh:mm:ss" part of a time token: what its three two-digit numbers take.
std::string_view whole_seconds(std::string_view token) {
  std::size_t i = 0;
  for (int k = 0; k < 3; ++k) {
    if (k > 0) {
      if (i >= token.size() || token[i] != ':') return token;
      ++i;
    }
    const std::size_t start = i;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) ++i;
    while (i < token.size() && i - start < 2 && token[i] >= '0' && token[i] <= '9')
      ++i;
  }
  return token.substr(0, i);
}

}  // namespace

// The command words, in the order they are matched.
const std::array<Runner::Impl::CommandEntry, 24> Runner::Impl::kCommands{{
    {"SEND", &Impl::send, ArgumentMode::Expanded},                // sends a unit message
    {"GET", &Impl::get, ArgumentMode::Expanded},                  // a request; shows the reply
    {"WAIT", &Impl::wait, ArgumentMode::Expanded},                // sets the wait deadline
    {"DEFINE", &Impl::define, ArgumentMode::Verbatim},            // defines a macro
    {"INCLUDE", &Impl::include, ArgumentMode::Verbatim},          // runs another file next
    {"CALL", &Impl::call, ArgumentMode::Verbatim},                // INCLUDE of name.SEQ
    {"OUTPUT", &Impl::output, ArgumentMode::Expanded},            // sends raw bytes
    {"POLL", &Impl::poll, ArgumentMode::Expanded},                // shows the first answer
    {"SPEED", &Impl::speed, ArgumentMode::Expanded},              // the serial port's speed
    {"FORGET", &Impl::forget, ArgumentMode::Verbatim},            // removes a symbol
    {"SET", &Impl::set, ArgumentMode::Verbatim},                  // a macro's new body; units
    {"SYMBOLS", &Impl::symbols_command, ArgumentMode::Expanded},  // nothing
    {"PROC", &Impl::proc, ArgumentMode::Verbatim},                // defines a procedure
    {"ENDPROC", &Impl::endproc, ArgumentMode::Expanded},          // returns from a procedure
    {"REM", &Impl::rem, ArgumentMode::Verbatim},                  // shows its text
    {"REPEAT", &Impl::repeat, ArgumentMode::Expanded},            // opens a loop
    {"AGAIN", &Impl::again, ArgumentMode::Expanded},              // closes a counted loop
    {"UNTIL", &Impl::until, ArgumentMode::Expanded},              // closes a timed loop
    {"END", &Impl::end, ArgumentMode::Expanded},                  // checks no loop is open
    {"RADIX", &Impl::radix_command, ArgumentMode::Expanded},      // the base of numbers
    {"EXIT", &Impl::exit_if, ArgumentMode::Verbatim},             // may end the current file
    {"PAL", &Impl::pal, ArgumentMode::Verbatim},                  // times at 50 fields a second
    {"NTSC", &Impl::ntsc, ArgumentMode::Verbatim},                // times at 60 fields a second
    {"USE", &Impl::use, ArgumentMode::Expanded},                  // switches the link
}};

std::vector<std::string_view> Runner::command_words() {
  std::vector<std::string_view> words;
  for (const Impl::CommandEntry& entry : Impl::kCommands)
    words.push_back(entry.word);
  return words;
}

const Runner::Impl::CommandEntry* Runner::Impl::find_command(std::string_view word) {
  for (const CommandEntry& entry : kCommands)
    if (equals_ignoring_case(entry.word, word)) return &entry;
  return nullptr;
}

// --- Arguments -------------------------------------------------------------------------

// Byte values of SEND, GET, OUTPUT and POLL; at most `most` of them.
std::optional<std::vector<std::uint8_t>> Runner::Impl::byte_arguments(std::string_view arguments,
                                                                      std::size_t most,
                                                                      bool as_number) {
  constexpr const char* kLineTooLong = "Max. line length exeeded.";
  if (arguments.size() > kMaxArgumentLength) {
    fail(kLineTooLong);
    return std::nullopt;
  }
  ParsedBytes parsed = parse_byte_values(arguments, radix);
  if (!parsed) {
    fail(converting_message(parsed.error, *parsed.bad_token, as_number));
    return std::nullopt;
  }
  if (parsed.bytes.size() > most) {
    fail(kTooManyParameters);
    return std::nullopt;
  }
  return std::move(parsed.bytes);
}

// A time token in milliseconds: whole seconds times 1000, and each extra field in the whole
// milliseconds a field lasts (20 at 50 fields a second, 16 at 60).
std::optional<std::int64_t> Runner::Impl::time_ms(std::optional<std::string_view> token) {
  if (!token) {
    fail(kTimeExpected);
    return std::nullopt;
  }
  const std::optional<long> fields = parse_time(*token, field_rate);
  if (!fields) {
    fail(strprintf(kConvertingTime, text(*token).c_str()));
    return std::nullopt;
  }
  const long whole = parse_time(whole_seconds(*token), field_rate).value_or(*fields);
  return std::int64_t{whole / field_rate} * 1000 + (*fields - whole) * (1000 / field_rate);
}

// [TIME] time [[+ | -] offset [multiplier]], in milliseconds.
std::optional<std::int64_t> Runner::Impl::parse_time_expression(
    std::optional<std::string_view> first, Tokenizer& tokens) {
  constexpr const char* kNoTime = "Parameter expected";
  constexpr const char* kNoOffset = "Time offset parameter expected.";
  constexpr std::string_view kMultiplierSeparators = " ,\t";
  std::optional<std::string_view> token = first;
  if (token && equals_ignoring_case(*token, "TIME")) {
    token = tokens.next(kBlanks);
    if (!token) {
      fail(kNoTime);
      return std::nullopt;
    }
  }
  const auto time = time_ms(token);
  if (!time) return std::nullopt;
  auto next = tokens.next(kBlanks);
  if (!next) return time;
  int sign = 1;
  if (*next == "-" || *next == "+") {
    sign = *next == "-" ? -1 : 1;
    next = tokens.next(kBlanks);
    if (!next) {
      fail(kNoOffset);
      return std::nullopt;
    }
  }
  auto offset = time_ms(next);
  if (!offset) return std::nullopt;
  if (const auto multiplier = tokens.next(kMultiplierSeparators)) {
    const ParsedNumber factor = parse_number(*multiplier, radix);
    if (!factor) {
      fail(converting_message(factor.error, *multiplier));
      return std::nullopt;
    }
    *offset *= factor.value;
  }
  return *time + sign * *offset;
}

// The body of DEFINE and SET (read_macro_body); none when there is none or it is too long
// (reported).
std::optional<std::string> Runner::Impl::macro_body(Tokenizer& tokens, std::string_view name) {
  MacroBody macro = read_macro_body(tokens, name);
  if (!macro.error.empty()) {
    fail(macro.error);
    return std::nullopt;
  }
  return std::move(macro.body);
}

std::optional<RunSymbol> Runner::Impl::make_macro(std::string_view name, std::string body) {
  constexpr const char* kOutOfRange = "Argument: %s out of range";
  RunSymbol macro;
  macro.name = text(name);
  macro.body = std::move(body);
  Tokenizer tokens(macro.body);
  while (const auto token = tokens.next(kBodySeparators)) {
    std::string_view parameter = *token;
    if (parameter.front() == '&') parameter.remove_prefix(1);
    if (parameter.empty() || parameter.front() != '?') continue;
    const ParsedNumber number = parse_number(parameter.substr(1), radix);
    if (!number || number.value <= 0) {
      fail(strprintf(kOutOfRange, text(parameter).c_str()));
      return std::nullopt;
    }
    macro.parameters.emplace_back(parameter);
    macro.highest = std::max(macro.highest, number.value);
  }
  return macro;
}

// Loads a file and runs it next; the including file continues after it.
bool Runner::Impl::include_file(const std::string& name) {
  constexpr const char* kNothingLoaded = "Reading file %s";
  // A file that includes itself would otherwise stack copies of itself without end.
  if (files.size() >= kMaxRunFiles) return fail(strprintf(kIncludeNestedTooDeep, name.c_str()));
  auto lines = load_sequence_lines(name);
  if (!lines || lines->empty()) return fail(strprintf(kNothingLoaded, name.c_str()));
  push_run_file(name, std::move(*lines));
  return true;
}

// Starts the innermost loop's next pass.
bool Runner::Impl::loop_back(RunFile& file) {
  RepeatFrame& loop = file.loops.back();
  file.next_line = loop.loop_line;
  ++loop.iteration;
  return true;
}

// --- Link commands ---------------------------------------------------------------------

// SEND device address function [data ...]
bool Runner::Impl::send(std::string_view arguments) {
  constexpr const char* kTooFew = "Send requires at least 3 parameters.";
  const auto bytes = byte_arguments(arguments, kMaxSendValues, false);
  if (!bytes) return false;
  if (bytes->size() < 3) return fail(kTooFew);
  // More data than a unit message carries is refused here, not cut by the link.
  if (bytes->size() - 3 > kMaxSendData) return fail(kTooManyParameters);
  const std::span<const std::uint8_t> all(*bytes);
  link.unit_send(all[0], all[1], all[2], all.subspan(3));
  return true;
}

// GET device address function [data ...]
bool Runner::Impl::get(std::string_view arguments) {
  constexpr const char* kTooFew = "Get requires at least 3 parameters.";
  constexpr const char* kNoReply = "Error: Reading data for function %d";
  const auto bytes = byte_arguments(arguments, kMaxSendValues, false);
  if (!bytes) return false;
  if (bytes->size() < 3) return fail(kTooFew);
  if (bytes->size() - 3 > kMaxSendData) return fail(kTooManyParameters);
  const std::span<const std::uint8_t> all(*bytes);
  if (const auto reply = link.unit_get(all[0], all[1], all[2], all.subspan(3))) {
    unit_report(*reply, [this](const std::string& line) { show_output_line(line); });
  } else {
    show_output_line(strprintf(kNoReply, all[2]));
  }
  return true;
}

// OUTPUT byte [byte ...]
bool Runner::Impl::output(std::string_view arguments) {
  constexpr const char* kNoBytes = "OUTPUT requires at least 1 character.";
  const auto bytes = byte_arguments(arguments, kMaxOutputValues, true);
  if (!bytes) return false;
  if (bytes->empty()) return fail(kNoBytes);
  // A TCP frame carries at most 82 bytes: longer output goes out in several, in order.
  for (std::size_t at = 0; at < bytes->size(); at += kMaxTcpPayload)
    link.link_output_raw(std::min(kMaxTcpPayload, bytes->size() - at), bytes->data() + at);
  return true;
}

// POLL device address [address ...]
bool Runner::Impl::poll(std::string_view arguments) {
  constexpr const char* kTooFew = "POLL requires at least two parameter.";
  constexpr const char* kNoAnswer = "Device: %d Address: %d failed poll. ";
  const auto bytes = byte_arguments(arguments, std::numeric_limits<std::size_t>::max(), false);
  if (!bytes) return false;
  if (bytes->size() < 2) return fail(kTooFew);
  const std::uint8_t device = bytes->front();
  for (std::size_t i = 1; i < bytes->size(); ++i) {
    const std::uint8_t address = (*bytes)[i];
    link.unit_send_poll(device, address);
    if (const auto frame = link.receive_within(kPollWaitMs)) {
      unit_report(*frame, [this](const std::string& line) { show_output_line(line); });
      return true;
    }
    show_output_line(strprintf(kNoAnswer, device, address));
  }
  return true;
}

// SPEED baud
bool Runner::Impl::speed(std::string_view arguments) {
  constexpr const char* kNoSpeed = "Parameter expected.";
  constexpr const char* kRefused = "Setting COM port speed to %s ";
  constexpr const char* kTooMany = "Too many parameters.";
  Tokenizer tokens(arguments);
  const auto token = tokens.next(kBlanksAndNewline);
  if (!token) return fail(kNoSpeed);
  const ParsedNumber baud = parse_number(*token, radix);
  if (!baud) return fail(converting_message(baud.error, *token));
  if (link.com_set_speed(static_cast<std::uint32_t>(baud.value)) != 0)
    return fail(strprintf(kRefused, text(*token).c_str()));
  if (tokens.next(kBlanksAndNewline)) return fail(kTooMany);
  return true;
}

// USE TCP
// USE [COM]n[:] [baud]
bool Runner::Impl::use(std::string_view arguments) {
  constexpr const char* kNoPort = "New access port expected.";
  constexpr const char* kNoConnection = "Unable to connect to remote TCP/IP server";
  constexpr const char* kBadSpeed = "port speed %s";
  constexpr const char* kCantOpen = "Unable to open COM%d";
  constexpr const char* kCantSetSpeed = "Unable to set speed %d";
  Tokenizer tokens(arguments);
  const auto token = tokens.next(kBlanksAndNewline);
  if (!token) return fail(kNoPort);
  if (equals_ignoring_case(*token, "TCP")) {
    const bool connected = settings.ip || link.tcp_connect() == 1;
    link.show_link_status();
    return connected || fail(kNoConnection);
  }
  // "COM2:" and "2" name the same port; in "COM2:19200" the speed is not read.
  std::string_view port_text = *token;
  if (port_text.size() >= 3 && equals_ignoring_case(port_text.substr(0, 3), "COM"))
    port_text.remove_prefix(3);
  if (!port_text.empty() && port_text.back() == ':') port_text.remove_suffix(1);
  const int port = leading_decimal(port_text);
  if (port == 0) return fail(converting_message(NumberError::Invalid, *token));
  std::optional<int> baud;
  if (const auto speed_token = tokens.next(kBlanksAndNewline)) {
    baud = leading_decimal(*speed_token);
    if (*baud == 0) return fail(strprintf(kBadSpeed, text(*speed_token).c_str()));
  }
  const bool opened = link.com_select_port(port) >= 0;
  const bool speed_set =
      !opened || !baud || link.com_set_speed(static_cast<std::uint32_t>(*baud)) == 0;
  link.show_link_status();
  if (!opened) return fail(strprintf(kCantOpen, port));
  if (!speed_set) return fail(strprintf(kCantSetSpeed, *baud));
  return true;
}

// --- Time ------------------------------------------------------------------------------

// WAIT [FOR | UNTIL] time-expression
// WAIT EVENT
bool Runner::Impl::wait(std::string_view arguments) {
  constexpr const char* kNoParameter = "WAIT parameter expected";
  constexpr std::int64_t kUntilSkip = 2147483647;  // the largest signed 32-bit value
  Tokenizer tokens(arguments);
  auto token = tokens.next();
  if (!token) return fail(kNoParameter);
  if (equals_ignoring_case(*token, "EVENT")) {
    wait_deadline = kUntilSkip;
    return true;
  }
  const bool until_time = equals_ignoring_case(*token, "UNTIL");
  if (until_time || equals_ignoring_case(*token, "FOR")) {
    token = tokens.next();
    if (!token) return fail(kNoParameter);
  }
  const auto time = parse_time_expression(token, tokens);
  if (!time) return false;
  // A multiplied offset can reach far beyond what the host's timer takes: that is an EVENT.
  wait_deadline = std::min(until_time ? *time : tick() + *time, kUntilSkip);
  return true;
}

// PAL
bool Runner::Impl::pal(std::string_view) {
  field_rate = kPalRate;
  return true;
}

// NTSC
bool Runner::Impl::ntsc(std::string_view) {
  field_rate = kNtscRate;
  return true;
}

// --- Loops -----------------------------------------------------------------------------

// REPEAT [count | FOREVER]
bool Runner::Impl::repeat(std::string_view arguments) {
  constexpr const char* kNotInteger = "Can't convert to integer: ";
  constexpr const char* kOutOfRange = "Repeat parameter error: ";
  constexpr int kMaxRepeat = 10000;
  const auto token = Tokenizer(arguments).next();
  int count = kForever;
  if (token && !equals_ignoring_case(*token, "FOREVER")) {
    const ParsedNumber number = parse_number(*token, radix);
    if (number.error == NumberError::TooLong) return fail(converting_message(number.error, *token));
    if (!number) return fail(kNotInteger);
    count = number.value;
  }
  if (count < kForever || count > kMaxRepeat) return fail(kOutOfRange);
  RunFile& file = *top();
  const int line = file.current_line ? file.current_line->number : 0;
  file.loops.push_back({count, 1, file.next_line, tick(), line});
  return true;
}

// AGAIN
bool Runner::Impl::again(std::string_view) {
  constexpr const char* kNoFile = "AGAIN before matching REPEAT";
  RunFile* file = top();
  if (!file) return fail(kNoFile);
  if (file->loops.empty()) return true;
  RepeatFrame& loop = file->loops.back();
  // REPEAT 0 passes here with -1 and loops for ever.
  if (loop.count != kForever && --loop.count == 0) {
    file->loops.pop_back();
    return true;
  }
  return loop_back(*file);
}

// UNTIL [ELAPSED | LOOP] [TIME] time-expression
bool Runner::Impl::until(std::string_view arguments) {
  constexpr const char* kNoFile = "UNTIL before matching REPEAT";
  RunFile* file = top();
  if (!file) return fail(kNoFile);
  if (file->loops.empty()) return true;
  Tokenizer tokens(arguments);
  auto token = tokens.next();
  if (!token) return fail(kTimeExpected);
  const bool since_repeat = equals_ignoring_case(*token, "LOOP");
  if (since_repeat || equals_ignoring_case(*token, "ELAPSED")) {
    token = tokens.next();
    if (!token) return fail(kTimeExpected);
  }
  if (equals_ignoring_case(*token, "TIME")) {
    token = tokens.next();
    if (!token) return fail(kTimeExpected);
  }
  const auto limit = parse_time_expression(token, tokens);
  if (!limit) return false;
  // Either way the loop goes round again only once the time has passed.
  const std::int64_t now = tick();
  const RepeatFrame& loop = file->loops.back();
  const bool passed = since_repeat ? now > loop.start + *limit : *limit <= now;
  if (passed) return loop_back(*file);
  file->loops.pop_back();
  return true;
}

// END
bool Runner::Impl::end(std::string_view) {
  constexpr const char* kOpenLoop = "End of file in loop from line: %d";
  const RunFile* file = top();
  if (file && !file->loops.empty())
    return fail(strprintf(kOpenLoop, file->loops.back().repeat_line));
  return true;
}

// --- Symbols ---------------------------------------------------------------------------

// DEFINE name body
bool Runner::Impl::define(std::string_view arguments) {
  constexpr const char* kNoName = "Define requires at least 2 parameters.";
  constexpr const char* kCommandWord = "Attempt to redefine command: '%s'";
  constexpr const char* kRedefine = "Attempt to redefine: '%s'";
  Tokenizer tokens(arguments);
  const auto name = tokens.next();
  if (!name) return fail(kNoName);
  const std::string written = text(*name);
  if (find_command(written)) return fail(strprintf(kCommandWord, written.c_str()));
  auto body = macro_body(tokens, written);
  if (!body) return false;
  // Defining a macro again with the same body is harmless (a file included twice).
  if (const RunSymbol* existing = symbols.find(written)) {
    if (existing->kind == SymbolKind::Macro && existing->body == *body) return true;
    return fail(strprintf(kRedefine, written.c_str()));
  }
  auto macro = make_macro(written, std::move(*body));
  if (!macro) return false;
  symbols.add(std::move(*macro));
  return true;
}

// SET name body
bool Runner::Impl::set(std::string_view arguments) {
  constexpr const char* kNoName = "Set requires a parameter.";
  constexpr const char* kUnitRange = "Unit - value out of range";
  Tokenizer tokens(arguments);
  const auto name = tokens.next();
  if (!name) return fail(kNoName);
  const std::string written = text(*name);
  if (find_command(written) || !symbols.find(written))
    return fail(strprintf(kNotDefined, written.c_str()));
  auto body = macro_body(tokens, written);
  if (!body) return false;
  if (written == kUnitMacro) {
    const auto value = Tokenizer(*body).next();
    const ParsedNumber unit = parse_number(value.value_or(""), radix);
    if (!value || !unit) return true;
    if (unit.value < 0 || unit.value > 3) return fail(kUnitRange);
    select_unit(settings, ui, unit.value);
    *body = std::to_string(unit.value);
  }
  auto macro = make_macro(written, std::move(*body));
  if (!macro) return false;
  symbols.remove(written);
  symbols.add(std::move(*macro));
  return true;
}

// FORGET name
bool Runner::Impl::forget(std::string_view arguments) {
  constexpr const char* kNoName = "Forget requires a parameter.";
  const auto name = Tokenizer(arguments).next();
  if (!name) return fail(kNoName);
  const std::string written = text(*name);
  if (find_command(written) || !symbols.remove(written))
    return fail(strprintf(kNotDefined, written.c_str()));
  return true;
}

// SYMBOLS
bool Runner::Impl::symbols_command(std::string_view) {
  return true;
}

// --- Procedures and files --------------------------------------------------------------

// PROC name [parameter ...]
bool Runner::Impl::proc(std::string_view arguments) {
  constexpr const char* kNoName = "Procedure name expected.";
  constexpr const char* kRedefine = "Attempt to redefine %s";
  constexpr const char* kNoEnd = "ENDPROC expected.";
  constexpr std::string_view kEndWord = "ENDPROC";  // exact case, anywhere in a line
  Tokenizer tokens(arguments);
  const auto name = tokens.next();
  if (!name) return fail(kNoName);
  const std::string written = text(*name);
  if (find_command(written) || symbols.find(written))
    return fail(strprintf(kRedefine, written.c_str()));
  RunSymbol procedure;
  procedure.name = written;
  procedure.kind = SymbolKind::Procedure;
  while (const auto parameter = tokens.next())
    procedure.parameters.emplace_back(*parameter);

  RunFile& file = *top();
  LineNode* const first = file.next_line;
  LineNode* last = first;
  while (last && last->text.find(kEndWord) == std::string::npos)
    last = last->next;
  if (!last) return fail(kNoEnd);
  // The body leaves the file's chain and its ownership: it outlives the file.
  if (file.current_line && file.current_line->next == first) file.current_line->next = last->next;
  file.next_line = last->next;
  last->next = nullptr;
  for (LineNode* node = first; node; node = node->next) {
    const auto owned = std::find_if(file.lines.begin(), file.lines.end(),
                                    [&](const auto& line) { return line.get() == node; });
    if (owned == file.lines.end()) continue;  // already a procedure's
    procedure_lines.push_back(std::move(*owned));
    file.lines.erase(owned);
  }
  procedure.first_line = first;
  symbols.add(std::move(procedure));
  return true;
}

// ENDPROC
bool Runner::Impl::endproc(std::string_view) {
  constexpr const char* kUnderflow = "Procedure underflow";
  constexpr const char* kUnexpected = "Unexpected procedure end.";
  RunFile* file = top();
  if (!file || file->calls.empty()) return fail(kUnexpected);
  if (procedure_depth == 0) return fail(kUnderflow);
  --procedure_depth;
  file->next_line = file->calls.back().return_line;
  file->calls.pop_back();
  return true;
}

// INCLUDE name | "name"
bool Runner::Impl::include(std::string_view arguments) {
  constexpr const char* kNoName = "Include filename expected.";
  constexpr const char* kQuotes = "Include filename mismatched quotes.";
  const std::size_t start = arguments.find_first_not_of(kBlanks);
  if (start == std::string_view::npos) return fail(kNoName);
  std::string_view name = arguments.substr(start);
  name = name.substr(0, name.find_last_not_of(kBlanks) + 1);
  if (name.front() == '"') {
    if (name.size() < 2 || name.back() != '"') return fail(kQuotes);
    name = name.substr(1, name.size() - 2);
  }
  if (name.empty()) return fail(kNoName);
  return include_file(text(name));
}

// CALL name
bool Runner::Impl::call(std::string_view arguments) {
  constexpr const char* kNoName = "Filename expected";
  constexpr std::string_view kExtension = ".SEQ";
  const auto name = Tokenizer(arguments).next(kBlanks);
  if (!name) return fail(kNoName);
  return include_file(text(*name) + text(kExtension));
}

// EXIT IF [DEFINED] name
bool Runner::Impl::exit_if(std::string_view arguments) {
  constexpr const char* kNoIf = "IF expected.";
  constexpr const char* kNotIf = "IF expected not: ";
  constexpr const char* kNoName = "EXIT IF requires a symbol name.";
  Tokenizer tokens(arguments);
  const auto word = tokens.next(kBlanks);
  if (!word) return fail(kNoIf);
  if (!equals_ignoring_case(*word, "IF")) return fail(kNotIf);
  auto name = tokens.next(kBlanks);
  if (name && equals_ignoring_case(*name, "DEFINED")) name = tokens.next(kBlanks);
  if (!name) return fail(kNoName);
  if (!symbols.find(*name)) return true;
  // The file below continues after its INCLUDE line.
  if (pop_run_file() > 0) return true;
  runner_stop();
  return false;
}

// REM text
bool Runner::Impl::rem(std::string_view arguments) {
  show_output_line(text(arguments));
  return true;
}

// RADIX base
bool Runner::Impl::radix_command(std::string_view arguments) {
  constexpr const char* kNoBase = "RADIX requires a parameter.";
  constexpr const char* kOutOfRange = "Radix must be between 2..16 -";
  const auto token = Tokenizer(arguments).next(" =\t");
  if (!token) return fail(kNoBase);
  // Read in the current radix: after RADIX 16, RADIX 10 means sixteen.
  const ParsedNumber base = parse_number(*token, radix);
  if (!base) return fail(converting_message(base.error, *token));
  if (base.value < 2 || base.value > 16) return fail(kOutOfRange);
  radix = base.value;
  return true;
}

}  // namespace qm
