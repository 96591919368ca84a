// Searching and replacing in the editor's text: a forward search with the Match case and
// Match whole word options, replacing the selection, and replacing every match in the whole
// text or in a range. Positions count characters of the text as the editor holds it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

struct FindOptions {
  bool match_case = false;  // otherwise letters A-Z and a-z compare equal
  bool whole_word = false;  // a match may not touch a letter, digit or '_' on either side
};

// The position of the first match of `what` starting in [from, to) and ending by `to`, or
// none. The search runs forward only and does not wrap to the start. The characters next to a
// match are read from the whole text, also outside the range.
std::optional<std::size_t> find_forward(std::string_view text, std::string_view what,
                                        FindOptions options, std::size_t from,
                                        std::size_t to = std::string_view::npos);

struct ReplaceOneResult {
  std::string text;                 // the text with the selection replaced
  std::size_t resume = 0;           // where the replacement ends: the next search starts here
  std::optional<std::size_t> next;  // the next match from there, if any
};

// Replaces [begin, end) by `replacement` and looks for `what` after the replacement.
ReplaceOneResult replace_one(std::string_view text, std::size_t begin, std::size_t end,
                             std::string_view what, std::string_view replacement,
                             FindOptions options);

struct ReplaceAllResult {
  std::string text;             // the text after every replacement
  int count = 0;                // how many matches were replaced
  std::vector<std::size_t> at;  // where each replacement was made, in the text as it was
                                // at that moment (apply them in order to repeat the edit)
  std::size_t range_end = 0;    // the end of the range in the new text
};

// Replaces every match of `what` in [begin, end): each search continues after the place
// where the previous replacement ends, so a replacement that holds the find text is not
// searched again. The range grows or shrinks with each replacement.
ReplaceAllResult replace_all(std::string_view text, std::string_view what,
                             std::string_view replacement, FindOptions options,
                             std::size_t begin = 0, std::size_t end = std::string_view::npos);

}  // namespace qm
