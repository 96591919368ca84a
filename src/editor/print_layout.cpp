#include "editor/print_layout.h"

#include <algorithm>

#include "base/text_format.h"

namespace qm {

namespace {

constexpr int kTabColumns = 8;

}  // namespace

PageLayout page_layout(const PageGeometry& page) {
  PageLayout layout;
  const int cw = std::max(page.char_width, 1);
  const int lh = std::max(page.line_height, 1);
  layout.chars_per_line = std::max((page.page_width - 12 * cw) / cw, 1);
  layout.margin = 6 * cw;
  layout.name_y = 2 * lh;
  layout.top_rule_y = 4 * lh;
  layout.first_row_y = 5 * lh;
  // Rows start at 5 lh, 6 lh, ... while they are above page height - 3 lh.
  const int room = page.page_height - 8 * lh;
  layout.rows = room > 0 ? (room + lh - 1) / lh : 0;
  layout.bottom_rule_y = page.page_height - 2 * lh;
  layout.page_number_y = page.page_height - lh;
  return layout;
}

std::vector<PrintPage> paginate(const std::vector<std::size_t>& line_lengths, int chars_per_line,
                                int rows) {
  const std::size_t width = static_cast<std::size_t>(std::max(chars_per_line, 1));
  rows = std::max(rows, 1);
  std::vector<PrintPage> pages(1);
  int row = 0;
  for (std::size_t line = 0; line < line_lengths.size(); ++line) {
    const std::size_t length = line_lengths[line];
    const int pieces = length == 0 ? 1 : static_cast<int>((length + width - 1) / width);
    if (row > 0 && row + pieces > rows) {
      pages.emplace_back();
      row = 0;
    }
    for (int piece = 0; piece < pieces; ++piece) {
      if (row == rows) {  // a line taller than a page goes on over the next one
        pages.emplace_back();
        row = 0;
      }
      const std::size_t offset = static_cast<std::size_t>(piece) * width;
      pages.back().push_back(
          {line, offset, std::min(width, length - std::min(offset, length)), row});
      ++row;
    }
  }
  return pages;
}

std::vector<std::string> print_lines(std::string_view text) {
  std::vector<std::string> lines;
  std::string line;
  bool open = false;  // characters since the last line feed
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(std::move(line));
      line.clear();
      open = false;
      continue;
    }
    open = true;
    if (c == '\r') continue;
    if (c == '\t') {
      line.append(kTabColumns - line.size() % kTabColumns, ' ');
    } else {
      line.push_back(c);
    }
  }
  if (open) lines.push_back(std::move(line));
  return lines;
}

std::string print_heading(std::string_view name, int chars_per_line) {
  const std::size_t width = static_cast<std::size_t>(std::max(chars_per_line, 1));
  return std::string(name.size() > width ? name.substr(name.size() - width) : name);
}

std::string page_number_text(int page) {
  return strprintf(kPageNumberFormat, page);
}

}  // namespace qm
