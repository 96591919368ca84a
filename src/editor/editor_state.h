// What the sequence editor keeps for the whole program run: the print size, the last find and
// replace texts and the find options. (Insert mode is set afresh each time the editor opens.)
#pragma once

#include <string>

namespace qm {

struct EditorState {
  int print_points = 10;     // 8, 10 or 12
  std::string find_text;     // up to 79 characters
  std::string replace_text;  // up to 79 characters
  bool match_case = false;
  bool whole_word = false;
  bool selection_only = false;  // "Replace in": the selection instead of the whole document
};

}  // namespace qm
