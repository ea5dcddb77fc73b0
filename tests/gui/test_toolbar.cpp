// The toolbar as ToolbarOrder describes it.

#include <gtest/gtest.h>

#include <QAction>
#include <QToolBar>
#include <map>
#include <memory>
#include <string>

#include <QToolButton>

#include "admin-gui/MainWindow.hpp"
#include "admin-gui/Toolbar.hpp"
#include "config/Settings.hpp"

namespace velmorin {
namespace {

// The bar's items: button keys, "|" for a separator.
std::string Items(const QToolBar& bar) {
  std::string items;
  for (const QAction* action : bar.actions()) {
    if (!items.empty()) items += ' ';
    items += action->isSeparator() ? "|" : action->objectName().toStdString();
  }
  return items;
}

TEST(CreateToolbar, FollowsTheOrderSkippingUnknownKeys) {
  struct Case {
    const char* order;
    const char* items;
    bool shown;
  };
  const Case cases[] = {
      {"online,,clear,save", "online | clear save", true},
      {"online,bogus,,Clear,print", "online |", true},  // unknown keys and the wrong case are skipped
      {",online,,,exit,", "| online | | exit |", true},
      {"bogus,,", "", false},  // no button: hidden
      {"", "", false},
  };
  std::map<std::string, std::unique_ptr<QAction>> actions;
  for (const ToolbarButton& button : ToolbarButtons()) {
    auto action = std::make_unique<QAction>(button.key);
    action->setObjectName(button.key);
    actions[button.key] = std::move(action);
  }
  actions.erase("print");  // a button the window has no action for is left out
  for (const Case& c : cases) {
    QToolBar bar;
    bar.show();
    CreateToolbar(bar, c.order, [&](const std::string& key) {
      auto it = actions.find(key);
      return it == actions.end() ? nullptr : it->second.get();
    });
    EXPECT_EQ(Items(bar), c.items) << c.order;
    EXPECT_EQ(!bar.isHidden(), c.shown) << c.order;
  }
}

// A check-style button is the menu entry itself: pressing it ticks the menu and changes the
// setting and the view, and the tick shows on the button.
TEST(MainWindowToolbar, CheckStyleButtonsMirrorTheMenuTicks) {
  const ServerSettingsRecord saved = ServerSettings;
  ServerSettings.General.ToolbarOrder = "scroll,,bogus,exit";
  ServerSettings.General.ToolbarHeight = 380;
  ServerSettings.General.ScrollLog = true;
  MainWindow window;
  window.RebuildToolbar();
  window.LogView().SetScrolling(true);
  window.Action("mnuScrollLog")->setChecked(true);
  auto* button = qobject_cast<QToolButton*>(window.Toolbar().widgetForAction(window.Action("scroll")));
  ASSERT_NE(button, nullptr);
  EXPECT_TRUE(button->isCheckable());
  button->click();
  EXPECT_FALSE(window.Action("mnuScrollLog")->isChecked());
  EXPECT_FALSE(ServerSettings.General.ScrollLog);
  EXPECT_FALSE(window.LogView().Scrolling());
  window.Action("mnuScrollLog")->trigger();
  EXPECT_TRUE(button->isChecked());
  EXPECT_TRUE(window.LogView().Scrolling());
  EXPECT_EQ(window.Toolbar().actions().size(), 3);  // scroll, separator, exit
  ServerSettings = saved;
}

}  // namespace
}  // namespace velmorin
