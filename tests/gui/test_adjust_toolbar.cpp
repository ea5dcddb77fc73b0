// Adjusting the toolbar: the lists loaded from an order, edited, and written back as the order
// the toolbar is built from.

#include <gtest/gtest.h>

#include "admin-gui/Toolbar.hpp"
#include "admin-gui/ToolbarDialog.hpp"
#include "config/Settings.hpp"

namespace velmorin {
namespace {

TEST(AdjustToolbar, LoadDropsUnknownAndRepeatedKeysAndKeepsDividers) {
  const struct {
    const char* order;
    const char* kept;
  } cases[] = {
      {kStandardToolbarOrder, kStandardToolbarOrder},
      {"online,,bogus,clear,online", "online,,clear"},
      {",exit,", ",exit,"},
      {"", ""},
  };
  for (const auto& c : cases) {
    ToolbarDialog window({}, nullptr);
    window.Load(c.order);
    EXPECT_EQ(window.Order(), c.kept) << c.order;
    // Every button is in exactly one of the lists; the divider is always available.
    int buttons = 0;
    for (int row = 0; row < window.Current().count(); ++row) {
      buttons += window.Current().item(row)->data(Qt::UserRole).toString().isEmpty() ? 0 : 1;
    }
    EXPECT_EQ(buttons + window.Available().count() - 1, static_cast<int>(ToolbarButtons().size())) << c.order;
  }
}

TEST(AdjustToolbar, EditsBecomeTheOrderOnOk) {
  ServerSettings.General.ToolbarOrder = "online,clear";
  int rebuilt = 0;
  auto* window = new ToolbarDialog([&] { ++rebuilt; }, nullptr);
  window->Load(ServerSettings.General.ToolbarOrder);
  window->Current().setCurrentRow(0);
  window->Available().setCurrentRow(0);  // the divider
  window->AddSelected();                 // after "online"
  for (int row = 0; row < window->Available().count(); ++row) {
    if (window->Available().item(row)->data(Qt::UserRole).toString() == "exit") window->Available().setCurrentRow(row);
  }
  window->Current().setCurrentRow(-1);
  window->AddSelected();  // at the end
  window->Current().setCurrentRow(0);
  window->MoveSelected(1);  // "online" below the divider
  window->MoveSelected(5);  // beyond the end: stays
  EXPECT_EQ(window->Order(), ",online,clear,exit");
  window->Current().setCurrentRow(2);
  window->DeleteSelected();
  EXPECT_EQ(window->Order(), ",online,exit");
  EXPECT_EQ(rebuilt, 0);
  window->accept();
  EXPECT_EQ(ServerSettings.General.ToolbarOrder, ",online,exit");
  EXPECT_EQ(rebuilt, 1);
  delete window;
}

TEST(AdjustToolbar, OrderStringJoinsKeysWithoutATrailingComma) {
  EXPECT_EQ(ToolbarOrderOf({"online", "", "exit"}), "online,,exit");
  EXPECT_EQ(ToolbarOrderOf({""}), "");
  EXPECT_EQ(ToolbarOrderOf({}), "");
}

}  // namespace
}  // namespace velmorin
