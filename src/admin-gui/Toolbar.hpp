#pragma once
// The main window's toolbar: its buttons and their order, as ToolbarOrder gives them.
//
//   ToolbarButtons()            the button table: key, the language key of its tooltip, and
//                               whether it is a check-style button
//   kStandardToolbarOrder       the order "standard toolbar" restores
//   CreateToolbar(bar, order, actionOf)
//                               clears the bar and fills it left to right: an empty item is a
//                               separator, a known key adds its button, an unknown key is
//                               skipped. A button is the window's own action of that meaning
//                               (actionOf(key)), so a check-style button's state is the menu's
//                               tick. An order without buttons hides the bar; it is shown again
//                               by the caller.

#include <QAction>
#include <QToolBar>
#include <functional>
#include <string>
#include <vector>

namespace velmorin {

struct ToolbarButton {
  const char* key;
  const char* tooltipKey;
  bool checkStyle;
};

const std::vector<ToolbarButton>& ToolbarButtons();

inline constexpr const char* kStandardToolbarOrder =
    "online,,clear,save,font,,alwaysontop,scroll,,userinfos,chatroomsinfos,showips,serverinfos,settings,,exit";

void CreateToolbar(QToolBar& bar, const std::string& order, const std::function<QAction*(const std::string& key)>& actionOf);

}  // namespace velmorin
