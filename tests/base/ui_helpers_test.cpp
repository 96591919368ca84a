#include "base/ui_helpers.h"

#include <gtest/gtest.h>

#include "support/recording_ui.h"

namespace qm {
namespace {

TEST(UiHelpers, ErrorBox_CutsItsTextAt343Characters) {
  test::RecordingUi ui;
  show_error_box(ui, std::string(400, 'x'));
  EXPECT_EQ(ui.calls().back(), "box: Error|Error: " + std::string(343 - 7, 'x'));
}

TEST(UiHelpers, Scroll_ReversedBindingStepsAndStopsAtItsLimits) {
  int changes = 0;
  ScrollBinding b{0, -128, 127, 0, true, [&](ScrollBinding&) { ++changes; }};
  EXPECT_EQ(scroll_position(b, 0), 127);
  EXPECT_EQ(handle_scroll(b, kLineUp, 127, 0), 126);
  EXPECT_EQ(b.value, 1);
  EXPECT_EQ(handle_scroll(b, kPageDown, 126, 0), 127);
  EXPECT_EQ(b.value, 0);
  EXPECT_EQ(handle_scroll(b, kLineUp, 0, 0), std::nullopt);  // at its limit: no change
  EXPECT_EQ(handle_scroll(b, kLineDown, 255, 0), std::nullopt);
  EXPECT_EQ(handle_scroll(b, kThumbTrack, 10, 200), 200);
  EXPECT_EQ(b.value, -73);
  EXPECT_EQ(handle_scroll(b, 8, 10, 0), std::nullopt);  // SB_ENDSCROLL and the like
  EXPECT_EQ(changes, 3);
}

TEST(UiHelpers, PlaceDialog_InsideClientAreaOrCentred) {
  const Rect parent{100, 50, 758, 600};   // outer: borders of 9, client 640 x 480
  const Rect client{109, 111, 749, 591};  // below the title and menu bars
  const Rect dialog{0, 0, 300, 200};
  const Point p = place_dialog(parent, client, dialog, 2, 2);
  EXPECT_EQ(p.x, 109 + 2);
  EXPECT_EQ(p.y, 111 + 2);
  const Point c = place_dialog(parent, client, dialog, -1, -1);
  EXPECT_EQ(c.x, 109 + (658 - 300) / 2);
  EXPECT_EQ(c.y, 111 + (480 - 200 - 10) / 2);
  // Taller than the client area: it starts at the area's top, not over the menu bar.
  const Point tall = place_dialog(parent, client, {0, 0, 300, 600}, -1, -1);
  EXPECT_EQ(tall.y, 111);
}

TEST(UiHelpers, NextTokenAndFindName) {
  std::optional<std::string_view> cursor = std::string_view("a,,b");
  std::vector<std::string> tokens;
  while (auto t = next_token(cursor, ","))
    tokens.emplace_back(*t);
  EXPECT_EQ(tokens, (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(next_token(cursor, ","), std::nullopt);

  const std::string_view list[] = {"System", "Configuration", "Sequence"};
  EXPECT_EQ(find_name_in_list("sequence", list), 3);
  EXPECT_EQ(find_name_in_list("Font", list), 0);
}

}  // namespace
}  // namespace qm
