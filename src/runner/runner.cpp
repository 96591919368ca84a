// The runner's core: start and stop, the execution loop and its timing, the file stack,
// line expansion with the at-sign codes, procedure calls and the error report.
#include "runner/runner.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <system_error>
#include <utility>

#include "base/path_text.h"
#include "base/text_format.h"
#include "base/ui_helpers.h"
#include "compiler/numbers.h"
#include "link/unit_selection.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "runner/runner_impl.h"

namespace qm {
namespace {

// The error report.
constexpr const char* kSequenceTitle = " Sequence";
constexpr const char* kErrorPrefix = "ERROR: ";
constexpr const char* kErrorSequence = "\n\nSequence: %s\n";
constexpr const char* kErrorLine = "Line: %d\n\n";
constexpr const char* kEditQuestion = "Edit sequence file ?\n";

// Starting and loading.
constexpr const char* kCantOpenFile = "Can't open file: %s";
constexpr const char* kReadingFile = "Reading file: %s";
constexpr const char* kCantFindStd = "Can't find file: %s";
constexpr const char* kErrorReadingStd = "Error reading file: %s";
constexpr const char* kOutOfMemory = "Out of memory, SEND abandonded";

// Procedure calls.
constexpr const char* kInternalError = "Internal error during procedure %s";
constexpr const char* kMaxDepth = "Max procedure nesting depth exceded.";
constexpr const char* kTooManyToProcedure = "Too many parameters to %s";
constexpr const char* kValueError = "Value error %s";

constexpr std::string_view kStdIncludeName = "std.inc";

// The run-time display.
constexpr const char* kTimeFieldFormat = "%02d";
constexpr std::uint32_t kFrameMs = 20;  // the frame field counts 0..49 at every field rate

constexpr std::uint32_t kSliceMs = 20;  // a step gives the host its turn after this long
constexpr std::size_t kLineBufferChars = 135;
constexpr std::size_t kMaxAtCodeResult = 240;
constexpr std::size_t kMaxOutputLine = 391;
constexpr int kMaxPasses = 10;
constexpr int kMaxDepthBeforeCall = 30;  // so 31 calls can be nested

constexpr std::string_view kExpansionSeparators = " =,\t\r\n";
constexpr std::string_view kCallSeparators = " ,\t\n\r";

// The date of the at-sign code D: " %s the %d%s of %s %04d".
constexpr const char* kDateFormat = " %s the %d%s of %s %04d";
constexpr std::array<const char*, 7> kWeekdays{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                               "Thursday", "Friday", "Saturday"};
constexpr std::array<const char*, 12> kMonths{"January",   "February", "March",    "April",
                                              "May",       "June",     "July",     "August",
                                              "September", "October",  "November", "Decemeber"};

// The day's ordinal suffix: 1st, 2nd, 3rd, 4th ... 20th, 21st ... 24th ... 30th, 31st.
const char* ordinal_suffix(unsigned day) {
  if ((day >= 4 && day <= 20) || (day >= 24 && day <= 30)) return "th";
  switch (day % 10) {
    case 1:
      return "st";
    case 2:
      return "nd";
    case 3:
      return "rd";
    default:
      return "th";
  }
}

// Today from the local clock, read from its standard text "Sun Dec  6 01:41:35 2026".
std::chrono::year_month_day local_date() {
  constexpr std::array<std::string_view, 12> kAbbreviations{
      "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::string text = platform::local_time_now().text;
  if (text.size() < 24) return std::chrono::year_month_day{};
  const auto month = std::find(kAbbreviations.begin(), kAbbreviations.end(), text.substr(4, 3));
  const int day = std::atoi(text.c_str() + 8);
  const int year = std::atoi(text.c_str() + 20);
  return std::chrono::year{year} /
         std::chrono::month{static_cast<unsigned>(month - kAbbreviations.begin() + 1)} /
         std::chrono::day{static_cast<unsigned>(day)};
}

}  // namespace

// --- Symbols ---------------------------------------------------------------------------

const RunSymbol* RunSymbols::find(std::string_view name) const {
  for (auto it = records_.rbegin(); it != records_.rend(); ++it)
    if (it->name == name) return &*it;
  return nullptr;
}

void RunSymbols::add(RunSymbol symbol) {
  records_.push_back(std::move(symbol));
}

bool RunSymbols::remove(std::string_view name) {
  for (auto it = records_.rbegin(); it != records_.rend(); ++it) {
    if (it->name == name) {
      records_.erase(std::next(it).base());
      return true;
    }
  }
  return false;
}

// --- Runner ----------------------------------------------------------------------------

Runner::Runner(RunnerServices services, RunnerOptions options)
    : impl_(std::make_unique<Impl>(services, std::move(options))) {}

Runner::~Runner() {
  impl_->runner_stop();
}

int Runner::runner_start(RunnerHost& host, const std::string& path) {
  return impl_->runner_start(host, path);
}
void Runner::runner_stop() {
  impl_->runner_stop();
}
std::optional<std::uint32_t> Runner::runner_step() {
  return impl_->runner_step();
}
void Runner::skip() {
  impl_->skip();
}
void Runner::pause() {
  impl_->pause();
}
RunnerState Runner::state() const {
  return impl_->state;
}
std::uint32_t Runner::run_time() const {
  return impl_->state == RunnerState::Stopped ? 0 : impl_->tick();
}

std::array<std::string, 4> format_run_time(std::uint32_t ms) {
  const auto two = [](std::uint32_t v) { return strprintf(kTimeFieldFormat, static_cast<int>(v)); };
  return {two(ms / 3600000), two((ms / 60000) % 60), two((ms / 1000) % 60),
          two((ms % 1000) / kFrameMs)};
}

Runner::Impl::Impl(RunnerServices services, RunnerOptions run_options)
    : link(services.link),
      settings(services.settings),
      program_options(services.options),
      ui(services.ui),
      idle(services.idle),
      clock(services.clock),
      options(std::move(run_options)) {
  if (options.std_dir.empty()) options.std_dir = platform::data_dir();
  if (!options.today) options.today = local_date;
}

std::uint32_t Runner::Impl::tick() const {
  return clock.tick_ms();
}

void Runner::Impl::set_state(RunnerState next) {
  if (state == next) return;
  state = next;
  if (host) {
    const bool waiting = next == RunnerState::Waiting || next == RunnerState::Paused;
    host->buttons_changed(next != RunnerState::Stopped, waiting, next == RunnerState::Paused);
  }
}

int Runner::Impl::runner_start(RunnerHost& run_host, const std::string& path) {
  if (state != RunnerState::Stopped) runner_stop();
  host = &run_host;
  start_unit = settings.id;
  radix = 10;
  field_rate = settings.field_rate;
  procedure_depth = 0;
  wait_deadline = 0;

  std::error_code error;
  if (!std::filesystem::exists(path_from_utf8(path), error)) {
    runner_error(false, strprintf(kCantOpenFile, path.c_str()));
    return 0;
  }
  try {
    RunSymbol unit;
    unit.name = kUnitMacro;
    unit.body = std::to_string(start_unit);
    symbols.add(std::move(unit));
    auto lines = load_sequence_lines(path);
    if (!lines) return 0;
    // A file without a line to run does not start, and std.inc does not run either.
    if (lines->empty()) {
      runner_stop();
      return 0;
    }
    push_run_file(path, std::move(*lines));

    if (!program_options.skip_std) {
      const std::string std_inc = utf8_from_path(options.std_dir / kStdIncludeName);
      if (!std::filesystem::exists(path_from_utf8(std_inc), error)) {
        runner_error(false, strprintf(kCantFindStd, std_inc.c_str()));
        return 0;
      }
      auto std_lines = read_lines(std_inc);
      if (!std_lines) {
        runner_error(false, strprintf(kErrorReadingStd, std_inc.c_str()));
        return 0;
      }
      // On top: std.inc runs first, then the sequence file.
      if (!std_lines->empty()) push_run_file(std_inc, std::move(*std_lines));
    }
  } catch (const std::bad_alloc&) {
    runner_error(false, kOutOfMemory);
    return 0;
  }

  clock.tick_reset();
  idle.set_job(kJobRun);
  set_state(RunnerState::Running);
  return 1;
}

void Runner::Impl::runner_stop() {
  if (!host && state == RunnerState::Stopped && files.empty()) return;
  set_state(RunnerState::Stopped);
  wait_deadline = 0;
  if (host) {
    host->show_line_number(std::nullopt);
    host->run_stopped();
  }
  files.clear();
  procedure_depth = 0;
  idle.set_job(kJobNone);
  if (host) host->run_ended();
  symbols.clear();
  procedure_lines.clear();
  host = nullptr;
  ui.clear_status();
  if (settings.id != start_unit) select_unit(settings, ui, start_unit);
}

std::optional<std::uint32_t> Runner::Impl::runner_step() {
  const std::uint32_t begin = tick();
  for (;;) {
    const std::uint32_t now = tick();
    switch (state) {
      case RunnerState::Stopped:
      case RunnerState::Paused:
        return std::nullopt;
      case RunnerState::Waiting:
        if (now < wait_deadline) return static_cast<std::uint32_t>(wait_deadline);
        set_state(RunnerState::Running);
        break;
      case RunnerState::Running:
        if (now < wait_deadline) {
          set_state(RunnerState::Waiting);
          break;
        }
        if (now - begin >= kSliceMs) return now;
        execute_next();
        break;
    }
  }
}

void Runner::Impl::execute_next() {
  RunFile* file = top();
  if (!file->next_line) {
    if (pop_run_file() == 0) runner_stop();
    return;
  }
  LineNode* line = file->next_line;
  file->current_line = line;
  file->next_line = line->next;
  if (host) host->show_line_number(line->number);
  try {
    run_line(line->text);
  } catch (const std::bad_alloc&) {
    runner_error(false, kOutOfMemory);
  }
}

void Runner::Impl::skip() {
  if (state != RunnerState::Waiting && state != RunnerState::Paused) return;
  wait_deadline = tick();
  set_state(RunnerState::Running);
  idle.set_job(kJobRun);  // wakes the host's loop
}

void Runner::Impl::pause() {
  if (state == RunnerState::Waiting) {
    set_state(RunnerState::Paused);
  } else if (state == RunnerState::Paused) {
    set_state(RunnerState::Running);
    idle.set_job(kJobRun);
  }
}

// --- Files -----------------------------------------------------------------------------

std::optional<LineStore> Runner::Impl::read_lines(const std::string& path) {
  const std::optional<std::string> content = read_source_file(path_from_utf8(path));
  if (!content) return std::nullopt;
  LineStore lines;
  for (SourceLine& source : split_source_lines(*content, kRunnerPieceLength)) {
    if (source.text.empty()) continue;
    auto node = std::make_unique<LineNode>();
    node->number = source.number;
    node->text = std::move(source.text);
    if (!lines.empty()) lines.back()->next = node.get();
    lines.push_back(std::move(node));
  }
  return lines;
}

std::optional<LineStore> Runner::Impl::load_sequence_lines(const std::string& path) {
  auto lines = read_lines(path);
  if (!lines) runner_error(false, strprintf(kReadingFile, path.c_str()));
  return lines;
}

void Runner::Impl::push_run_file(const std::string& name, LineStore lines) {
  auto file = std::make_unique<RunFile>();
  file->name = name;
  file->lines = std::move(lines);
  file->next_line = file->lines.empty() ? nullptr : file->lines.front().get();
  files.push_back(std::move(file));
  ui.show_status(name);
}

std::size_t Runner::Impl::pop_run_file() {
  // Calls still open in the file never return.
  procedure_depth -= static_cast<int>(files.back()->calls.size());
  files.pop_back();
  if (files.empty()) {
    ui.clear_status();
  } else {
    ui.show_status(files.back()->name);
  }
  return files.size();
}

// --- Lines -----------------------------------------------------------------------------

bool Runner::Impl::run_line(std::string line) {
  line.resize(std::min(line.size(), kLineBufferChars));
  if (!expand_line(line)) return false;
  Tokenizer tokens(line);
  const auto word = tokens.next();
  if (!word) return true;
  if (const CommandEntry* command = find_command(*word))
    return (this->*command->handler)(tokens.rest());
  if (const RunSymbol* symbol = symbols.find(*word);
      symbol && symbol->kind == SymbolKind::Procedure)
    return call_procedure(*symbol, tokens.rest());
  return fail(strprintf(kNotACommand, std::string(*word).c_str()));
}

// Replaces at-sign codes, call arguments and macros until a pass replaces nothing. Strings
// are marked first, so they are single tokens that never match a name. A command word that
// takes its arguments as written ends the pass.
bool Runner::Impl::expand_line(std::string& line) {
  for (int passes = 0;;) {
    line = substitute_at_codes(line);
    if (!mark_quoted(line)) return fail(kStringTerminationMissing);
    const RunFile* file = top();
    const ProcFrame* frame = file && !file->calls.empty() ? &file->calls.back() : nullptr;
    Tokenizer tokens(line);
    ExpandedLine out(kLineBufferChars);
    bool replaced = false;
    bool verbatim = false;
    while (const auto token = tokens.next(kExpansionSeparators)) {
      if (const CommandEntry* command = find_command(*token);
          command && command->mode == ArgumentMode::Verbatim) {
        verbatim = true;
        break;
      }
      std::string_view name = *token;
      if (name.front() == '&') {
        if (!out.add_char('&')) return fail(kExpansionTooLong);
        name.remove_prefix(1);
      }
      const ProcArg* argument = nullptr;
      if (frame) {
        for (const ProcArg& a : frame->arguments)
          if (a.name == name) argument = &a;
      }
      const RunSymbol* symbol = argument ? nullptr : symbols.find(name);
      if (argument) {
        replaced = true;
        if (!out.add_text(argument->value)) return fail(kExpansionTooLong);
      } else if (symbol && symbol->kind == SymbolKind::Macro && symbol->highest == 0) {
        replaced = true;
        if (!out.add_text(symbol->body)) return fail(kExpansionTooLong);
      } else if (symbol && symbol->kind == SymbolKind::Macro) {
        replaced = true;
        // Argument i goes to the first parameter written ?i.
        std::vector<std::string_view> values(symbol->parameters.size());
        for (int i = 1; i <= symbol->highest; ++i) {
          const auto value = tokens.next(kExpansionSeparators);
          if (!value) return fail(strprintf(kInsufficientParameters, symbol->name.c_str()));
          const std::string parameter = strprintf("?%d", i);
          const auto at =
              std::find(symbol->parameters.begin(), symbol->parameters.end(), parameter);
          if (at == symbol->parameters.end())
            return fail(strprintf(kValueError, parameter.c_str()));
          values[static_cast<std::size_t>(at - symbol->parameters.begin())] = *value;
        }
        Tokenizer body(symbol->body);
        while (auto piece = body.next(kBodySeparators)) {
          std::string_view written = *piece;
          if (written.front() == '&') {
            if (!out.add_char('&')) return fail(kExpansionTooLong);
            written.remove_prefix(1);
          }
          if (!written.empty() && written.front() == '?') {
            const auto at = std::find(symbol->parameters.begin(), symbol->parameters.end(),
                                      std::string(written));
            if (at == symbol->parameters.end()) return fail(kCantSubstitute);
            written = values[static_cast<std::size_t>(at - symbol->parameters.begin())];
          }
          if (!out.add_text(written) || !out.add_space()) return fail(kExpansionTooLong);
        }
        continue;  // each body token has its space already
      } else if (!out.add_text(name)) {
        return fail(kExpansionTooLong);
      }
      if (!out.add_space()) return fail(kExpansionTooLong);
    }
    // A line that begins with such a command word stays as it was.
    if (!verbatim || !out.empty()) line = out.take();
    if (++passes > kMaxPasses) return fail(kTooManyPasses);
    clear_bit7(line);
    if (!replaced) return true;
  }
}

// An at-sign and the letter after it become: B the bell, D today's date, F the current
// file's name, I the innermost loop's pass, J the next outer loop's pass. An at-sign and any
// other character go.
std::string Runner::Impl::substitute_at_codes(std::string_view line) const {
  const RunFile* file = files.empty() ? nullptr : files.back().get();
  auto iteration = [&](std::size_t outward) {
    if (!file || file->loops.size() <= outward) return std::string();
    return std::to_string(file->loops[file->loops.size() - 1 - outward].iteration);
  };
  std::string out;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] != '@') {
      out += line[i];
      continue;
    }
    if (++i == line.size()) break;
    switch (std::tolower(static_cast<unsigned char>(line[i]))) {
      case 'b':
        out += '\a';
        break;
      case 'd':
        out += date_text();
        break;
      case 'f':
        if (file) out += file->name;
        break;
      case 'i':
        out += iteration(0);
        break;
      case 'j':
        out += iteration(1);
        break;
      default:
        break;
    }
  }
  if (out.size() > kMaxAtCodeResult) out.resize(kMaxAtCodeResult);
  return out;
}

std::string Runner::Impl::date_text() const {
  const std::chrono::year_month_day date = options.today();
  if (!date.ok()) return {};
  const unsigned weekday = std::chrono::weekday(std::chrono::sys_days(date)).c_encoding();
  const unsigned day = static_cast<unsigned>(date.day());
  const unsigned month = static_cast<unsigned>(date.month());
  return strprintf(kDateFormat, kWeekdays[weekday], static_cast<int>(day), ordinal_suffix(day),
                   kMonths[month - 1], static_cast<int>(date.year()));
}

// <procedure name> [argument ...]
bool Runner::Impl::call_procedure(const RunSymbol& procedure, std::string_view arguments) {
  RunFile* file = top();
  if (!file) return fail(strprintf(kInternalError, procedure.name.c_str()));
  if (procedure_depth > kMaxDepthBeforeCall) return fail(kMaxDepth);
  ProcFrame frame;
  frame.return_line = file->next_line;
  for (const std::string& name : procedure.parameters)
    frame.arguments.push_back({name, {}});
  // A procedure without parameters ignores what follows its name.
  if (!frame.arguments.empty()) {
    Tokenizer tokens(arguments);
    std::size_t given = 0;
    while (const auto value = tokens.next(kCallSeparators)) {
      if (given == frame.arguments.size())
        return fail(strprintf(kTooManyToProcedure, procedure.name.c_str()));
      frame.arguments[given++].value = std::string(*value);
    }
    if (given < frame.arguments.size())
      return fail(strprintf(kInsufficientParameters, procedure.name.c_str()));
  }
  file->calls.push_back(std::move(frame));
  ++procedure_depth;
  file->next_line = procedure.first_line;
  return true;
}

// --- Reports ---------------------------------------------------------------------------

void Runner::Impl::runner_error(bool offer_edit, const std::string& message) {
  std::string text = kErrorPrefix + message;
  std::optional<std::string> file;
  int line = 0;
  if (const RunFile* running = top()) {
    file = running->name;
    text += strprintf(kErrorSequence, running->name.c_str());
    if (running->current_line) {
      line = running->current_line->number;
      text += strprintf(kErrorLine, line);
    }
  }
  runner_stop();
  if (file && offer_edit && ui.can_edit_sequence_files()) {
    text += kEditQuestion;
    if (ui.message_box(kSequenceTitle, text, BoxButtons::YesNo, BoxIcon::Error) == BoxAnswer::Yes)
      ui.edit_sequence_file(*file, line);
  } else {
    ui.message_box(kSequenceTitle, text, BoxButtons::Ok, BoxIcon::Error);
  }
}

bool Runner::Impl::fail(const std::string& message) {
  runner_error(true, message);
  return false;
}

void Runner::Impl::show_output_line(std::string text) {
  if (!host) return;
  if (text.size() > kMaxOutputLine) text.resize(kMaxOutputLine);
  host->show_output_line(text);
}

}  // namespace qm
