// The runner's run state and the operations its core (runner.cpp) and its commands
// (runner_commands.cpp) share. Private to the runner.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/idle_jobs.h"
#include "base/operator_ui.h"
#include "base/program_options.h"
#include "compiler/source_reader.h"
#include "link/settings.h"
#include "link/tick_clock.h"
#include "runner/runner.h"

namespace qm {

// Files a run may have open at once: its own, std.inc and those INCLUDE and CALL opened.
inline constexpr std::size_t kMaxRunFiles = 64;

// The macro that holds the selected unit; SET on it selects another.
inline constexpr std::string_view kUnitMacro = "_UNIT";
// Where a macro body splits into the tokens that expansion writes.
inline constexpr std::string_view kBodySeparators = " \t\r\n";

// One kept line of a loaded file. Lines are chained; a procedure's body is a chain of its own.
struct LineNode {
  LineNode* next = nullptr;
  int number = 0;    // physical position in its file, blank and comment lines counted
  std::string text;  // comment and trailing blanks removed; never empty
};
// Owns lines; the chain pointers never own.
using LineStore = std::vector<std::unique_ptr<LineNode>>;

struct RepeatFrame {
  int count = -1;                 // passes left, -1 forever
  int iteration = 1;              // 1 on the first pass
  LineNode* loop_line = nullptr;  // the line after the REPEAT, where a pass begins
  std::uint32_t start = 0;        // tick when the REPEAT ran
  int repeat_line = 0;            // the REPEAT's own line number, for END
};

struct ProcArg {
  std::string name;   // from the PROC line
  std::string value;  // from the call
};

struct ProcFrame {
  LineNode* return_line = nullptr;  // the caller's next line at the call
  std::vector<ProcArg> arguments;
};

// A loaded file; the files form a stack and the top one runs.
struct RunFile {
  std::string name;  // the path as it was given
  LineStore lines;   // the lines it still owns (procedure bodies are moved out)
  LineNode* next_line = nullptr;
  LineNode* current_line = nullptr;
  std::vector<RepeatFrame> loops;  // innermost last
  std::vector<ProcFrame> calls;    // innermost last
};

// A macro or a procedure. Names are kept at full length and compared with case.
struct RunSymbol {
  std::string name;
  SymbolKind kind = SymbolKind::Macro;
  std::string body;                     // macro: its text
  std::vector<std::string> parameters;  // macro: its ?N tokens as written; procedure: names
  int highest = 0;                      // macro: the highest N of its ?N tokens
  LineNode* first_line = nullptr;       // procedure: its first body line
};

class RunSymbols {
 public:
  // The newest symbol of that name, or null. The pointer lasts until the table changes.
  const RunSymbol* find(std::string_view name) const;
  void add(RunSymbol symbol);
  // Removes the newest symbol of that name; false when there is none.
  bool remove(std::string_view name);
  void clear() { records_.clear(); }

 private:
  std::vector<RunSymbol> records_;  // newest last
};

struct Runner::Impl {
  enum class ArgumentMode : std::uint8_t {
    Verbatim = 1,  // arguments as written: expansion stops at the command word
    Expanded = 2,  // the whole line is expanded before the handler sees it
  };
  // A handler receives the rest of its line; false when the run has stopped.
  using Handler = bool (Impl::*)(std::string_view arguments);
  struct CommandEntry {
    std::string_view word;  // matched without regard to case
    Handler handler;
    ArgumentMode mode;
  };
  static const std::array<CommandEntry, 24> kCommands;
  static const CommandEntry* find_command(std::string_view word);

  Impl(RunnerServices services, RunnerOptions run_options);

  // --- Core (runner.cpp) -------------------------------------------------------------
  int runner_start(RunnerHost& run_host, const std::string& path);
  void runner_stop();
  std::optional<std::uint32_t> runner_step();
  void skip();
  void pause();
  void set_state(RunnerState next);
  std::uint32_t tick() const;

  // Runs the top file's next line, or pops the file when it has ended.
  void execute_next();
  bool run_line(std::string line);
  bool expand_line(std::string& line);
  std::string substitute_at_codes(std::string_view line) const;
  std::string date_text() const;
  bool call_procedure(const RunSymbol& procedure, std::string_view arguments);

  // The kept lines of a file, or none when it cannot be read (nothing reported).
  static std::optional<LineStore> read_lines(const std::string& path);
  // The same, reporting an unreadable file.
  std::optional<LineStore> load_sequence_lines(const std::string& path);
  void push_run_file(const std::string& name, LineStore lines);
  std::size_t pop_run_file();
  RunFile* top() { return files.empty() ? nullptr : files.back().get(); }

  // Reports through a " Sequence" box and stops the run.
  void runner_error(bool offer_edit, const std::string& message);
  // A command's error: reported with the edit offer; always false.
  bool fail(const std::string& message);
  void show_output_line(std::string text);

  // --- Commands (runner_commands.cpp) -----------------------------------------------
  std::optional<std::vector<std::uint8_t>> byte_arguments(std::string_view arguments,
                                                          std::size_t most, bool as_number);
  std::optional<std::int64_t> time_ms(std::optional<std::string_view> token);
  std::optional<std::int64_t> parse_time_expression(std::optional<std::string_view> first,
                                                    Tokenizer& tokens);
  std::optional<std::string> macro_body(Tokenizer& tokens, std::string_view name);
  // A macro with its ?N parameters; none when one is out of range (reported).
  std::optional<RunSymbol> make_macro(std::string_view name, std::string body);
  bool include_file(const std::string& name);
  bool loop_back(RunFile& file);

  bool send(std::string_view arguments);
  bool get(std::string_view arguments);
  bool wait(std::string_view arguments);
  bool define(std::string_view arguments);
  bool include(std::string_view arguments);
  bool call(std::string_view arguments);
  bool output(std::string_view arguments);
  bool poll(std::string_view arguments);
  bool speed(std::string_view arguments);
  bool forget(std::string_view arguments);
  bool set(std::string_view arguments);
  bool symbols_command(std::string_view arguments);
  bool proc(std::string_view arguments);
  bool endproc(std::string_view arguments);
  bool rem(std::string_view arguments);
  bool repeat(std::string_view arguments);
  bool again(std::string_view arguments);
  bool until(std::string_view arguments);
  bool end(std::string_view arguments);
  bool radix_command(std::string_view arguments);
  bool exit_if(std::string_view arguments);
  bool pal(std::string_view arguments);
  bool ntsc(std::string_view arguments);
  bool use(std::string_view arguments);

  // --- Run state ----------------------------------------------------------------------
  Link& link;
  SettingsValues& settings;
  const ProgramOptions& program_options;
  OperatorUi& ui;
  IdleJobs& idle;
  TickClock& clock;
  RunnerOptions options;
  RunnerHost* host = nullptr;
  RunnerState state = RunnerState::Stopped;
  std::int64_t wait_deadline = 0;               // ticks; may lie in the past
  std::vector<std::unique_ptr<RunFile>> files;  // the top file last
  RunSymbols symbols;
  LineStore procedure_lines;  // the bodies of every procedure defined in this run
  int radix = 10;
  int field_rate = 50;
  int procedure_depth = 0;  // calls open in every file together
  int start_unit = 0;       // the unit selected when the run started
};

}  // namespace qm
