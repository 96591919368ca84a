// The printed page: where its parts go and which pieces of lines go on which page.
#include "editor/print_layout.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(PageLayout, PlacesThePartsInRowsAndCharacters) {
  // 100 characters wide, 40 rows high.
  const PageLayout l = page_layout({1000, 800, 10, 20});
  EXPECT_EQ(l.chars_per_line, 88);
  EXPECT_EQ(l.margin, 60);
  EXPECT_EQ(l.name_y, 40);
  EXPECT_EQ(l.top_rule_y, 80);
  EXPECT_EQ(l.first_row_y, 100);
  EXPECT_EQ(l.bottom_rule_y, 760);
  EXPECT_EQ(l.page_number_y, 780);
  // Rows at 100, 120, ..., 720: those above 800 - 60.
  EXPECT_EQ(l.rows, 32);
  // A row that starts just above the limit still counts.
  EXPECT_EQ(page_layout({1000, 801, 10, 20}).rows, 33);
}

TEST(PageLayout, LargerPrintGivesFewerCharactersAndRows) {
  // The same page at 8, 10 and 12 points: character cells grow with the point size.
  int last_chars = 1 << 30;
  int last_rows = 1 << 30;
  for (int points : kPrintPointSizes) {
    const PageLayout l = page_layout({4960, 7016, points * 10, points * 17});
    EXPECT_LT(l.chars_per_line, last_chars);
    EXPECT_LT(l.rows, last_rows);
    last_chars = l.chars_per_line;
    last_rows = l.rows;
  }
  // A page narrower than the margins still prints one character a row.
  EXPECT_EQ(page_layout({50, 100, 10, 20}).chars_per_line, 1);
}

TEST(Paginate, BreaksLongLinesIntoPiecesOfTheLineWidth) {
  const auto pages = paginate({0, 25, 10}, 10, 10);
  ASSERT_EQ(pages.size(), 1u);
  const PrintPage& p = pages[0];
  ASSERT_EQ(p.size(), 5u);
  EXPECT_EQ(p[0].length, 0u);  // an empty line takes a row
  EXPECT_EQ(p[1].line, 1u);
  EXPECT_EQ(p[2].offset, 10u);
  EXPECT_EQ(p[3].offset, 20u);
  EXPECT_EQ(p[3].length, 5u);
  EXPECT_EQ(p[4].line, 2u);
  EXPECT_EQ(p[4].length, 10u);  // exactly one piece
  EXPECT_EQ(p[4].row, 4);
}

TEST(Paginate, LeavesALineThatDoesNotFitForTheNextPage) {
  // Rows 0..3 hold the first two lines; the 3-piece line does not fit the 1 row left.
  const auto pages = paginate({5, 15, 30, 1}, 10, 4);
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].size(), 3u);
  EXPECT_EQ(pages[1][0].line, 2u);
  EXPECT_EQ(pages[1][0].row, 0);
  EXPECT_EQ(pages[1][3].line, 3u);
  EXPECT_EQ(pages[1][3].row, 3);
}

TEST(Paginate, SplitsOnlyALineTallerThanAPage) {
  const auto pages = paginate({1, 50}, 10, 3);
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[0].size(), 1u);
  EXPECT_EQ(pages[1].size(), 3u);
  EXPECT_EQ(pages[2].size(), 2u);
  EXPECT_EQ(pages[2][1].offset, 40u);
  // Nothing to print is still one page with its heading and number.
  EXPECT_EQ(paginate({}, 10, 3).size(), 1u);
}

TEST(PrintLines, SplitsAtLineFeedsAndExpandsTabs) {
  EXPECT_EQ(print_lines("A\r\n\tB\nab\tc"),
            (std::vector<std::string>{"A", "        B", "ab      c"}));
  EXPECT_EQ(print_lines("A\n\n"), (std::vector<std::string>{"A", ""}));
  EXPECT_TRUE(print_lines("").empty());
}

TEST(PrintHeading, KeepsTheEndOfALongName) {
  EXPECT_EQ(print_heading("/home/op/show.seq", 8), "show.seq");
  EXPECT_EQ(print_heading("a.seq", 8), "a.seq");
  EXPECT_EQ(page_number_text(12), "Page 12");
}

}  // namespace
}  // namespace qm
