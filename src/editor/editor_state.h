// What the sequence editor keeps for the whole program run: the print size, the last find and
// replace texts and the find options. (Insert mode is set afresh each time the editor opens.)
#pragma once

#include <functional>
#include <string>

#include "base/operator_ui.h"

class QWidget;

namespace qm {

struct EditorState {
  int print_points = 10;     // 8, 10 or 12
  std::string find_text;     // up to 79 characters
  std::string replace_text;  // up to 79 characters
  bool match_case = false;
  bool whole_word = false;
  bool selection_only = false;  // "Replace in": the selection instead of the whole document
};

// What the editor reaches outside itself: the operator, what it keeps for the program run, and
// the program's About box (its Help menu shows it over the editor).
struct EditorServices {
  OperatorUi& ui;
  EditorState& state;
  std::function<void(QWidget* parent)> show_about;
  // Opens the editor's section of the help (Editor Help); none: the entry is greyed.
  std::function<void()> show_help;
};

}  // namespace qm
