#include "link/unit_selection.h"

#include <gtest/gtest.h>

#include "support/recording_ui.h"

namespace qm {
namespace {

TEST(UnitSelection, SelectUnit_ShowsIdOrStar) {
  test::RecordingUi ui;
  SettingsValues values;
  select_unit(values, ui, -1);
  select_unit(values, ui, 2);
  EXPECT_EQ(values.id, 2);
  EXPECT_EQ(ui.calls(), (std::vector<std::string>{"unit: ID*", "unit: ID2"}));
}

TEST(UnitSelection, UnitSelector_EnablesInstalledAndSelectedUnits) {
  SettingsValues s;  // only unit 0 installed
  int selected = 0;
  UnitSelector u = init_unit_selector(s, true, selected);
  EXPECT_EQ(u.enabled, (std::array<bool, 5>{true, false, false, false, false}));  // no "*"
  EXPECT_EQ(u.checked, 0);

  s.units[2] = 9;
  selected = -1;
  u = init_unit_selector(s, true, selected);
  EXPECT_EQ(u.enabled, (std::array<bool, 5>{true, false, true, false, true}));
  EXPECT_EQ(u.checked, 4);

  u = init_unit_selector(s, false, selected);  // all units not allowed: unit 0
  EXPECT_EQ(selected, 0);
  EXPECT_EQ(u.checked, 0);
  selected = 3;  // the selected unit is enabled even when not installed
  EXPECT_TRUE(init_unit_selector(s, false, selected).enabled[3]);
}

}  // namespace
}  // namespace qm
