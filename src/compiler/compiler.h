// The sequence compiler: turns a sequence file (with its includes and the standard include
// file) into a binary sequence file that a unit runs from flash.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/operator_ui.h"
#include "base/program_options.h"

namespace qm {

struct CompileOptions {
  bool skip_std = false;                   // "Skip standard include file STD.INC"
  int selected_unit = 0;                   // the body of the macro _UNIT
  std::filesystem::path std_dir;           // the directory holding std.inc (the program's own)
  std::optional<std::string> include_dir;  // the QUADRIMON variable, for INCLUDE <name>
};

// The options every compilation of the program uses, in the GUI and in qmctl alike: std.inc
// from the program's own directory unless the program options skip it, the selected unit
// (-1 for all) as the body of _UNIT, and the folder the QUADRIMON environment variable names
// for INCLUDE <name>.
CompileOptions program_compile_options(const ProgramOptions& options, int selected_unit);

class SequenceCompiler {
 public:
  explicit SequenceCompiler(OperatorUi& ui);

  // Compiles `source` into `output` (default: the source's full path with the extension
  // "sfb"); both are UTF-8 text (base/path_text.h), as are the names in the texts shown. 0 on
  // success; nonzero after the error has been reported through the OperatorUi
  // (" Compile" Yes/No box; Yes opens the editor at the failing line). Nothing is written on
  // failure; the output appears whole or not at all.
  int compile_sequence(const std::string& source, const std::optional<std::string>& output,
                       const CompileOptions& options);

  // The field rate times are converted at: 50 or 60, changed by PAL and NTSC and kept from
  // one compilation to the next.
  int field_rate() const;
  // The code image of the last successful compilation.
  const std::vector<std::uint8_t>& image() const;
  // The file the last successful compilation wrote (UTF-8 text).
  const std::string& output() const { return output_; }

 private:
  OperatorUi& ui_;
  int field_rate_ = 50;  // outlives each compilation
  std::vector<std::uint8_t> image_;
  std::string output_;
};

// The compiler's command words, in the order of its command table.
std::vector<std::string_view> compiler_command_words();

}  // namespace qm
