// The printed page of a text: the positions of its heading, rules, page number and text rows
// for a page and character size, and which pieces of which lines go on which page. All
// measures are in printer dots; the text font is fixed-pitch, so a character is `char_width`
// wide and a row `line_height` high.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

inline constexpr const char* kPageNumberFormat = "Page %d";
inline constexpr int kPrintPointSizes[] = {8, 10, 12};

struct PageGeometry {
  int page_width = 0;
  int page_height = 0;
  int char_width = 0;   // the width of "A" in the print font
  int line_height = 0;  // the height of "A" in the print font
};

struct PageLayout {
  int chars_per_line = 0;  // the page width less 12 characters, in characters (at least 1)
  int margin = 0;          // 6 characters from the left and from the right
  int name_y = 0;          // the text's name, 2 rows down
  int top_rule_y = 0;      // 4 rows down
  int first_row_y = 0;     // the first text row, 5 rows down
  int rows = 0;            // text rows that start above 3 rows from the bottom
  int bottom_rule_y = 0;   // 2 rows from the bottom
  int page_number_y = 0;   // 1 row from the bottom
};

PageLayout page_layout(const PageGeometry& page);

// One row of printed text: `length` characters of line `line` from `offset`.
struct PrintPiece {
  std::size_t line = 0;
  std::size_t offset = 0;
  std::size_t length = 0;
  int row = 0;  // 0 for the first text row of the page
};

using PrintPage = std::vector<PrintPiece>;

// Lays out lines of the given lengths on pages of `rows` rows: an empty line takes one row, a
// longer one a row for every `chars_per_line` characters or part of them, and a line whose
// rows do not fit in the rest of a page starts the next page (only a line taller than a
// whole page is split across pages). There is always at least one page.
std::vector<PrintPage> paginate(const std::vector<std::size_t>& line_lengths, int chars_per_line,
                                int rows);

// The text's lines as printed: split at line feeds (a final line feed ends the last line
// instead of starting an empty one), without carriage returns, tabs expanded to blanks at
// every eighth column.
std::vector<std::string> print_lines(std::string_view text);

// The heading: the name cut to its last `chars_per_line` characters.
std::string print_heading(std::string_view name, int chars_per_line);

// "Page %d".
std::string page_number_text(int page);

}  // namespace qm
