#include "admin-gui/Toolbar.hpp"

#include "config/TextFilters.hpp"
#include "platform/Text.hpp"

namespace velmorin {

const std::vector<ToolbarButton>& ToolbarButtons() {
  static const std::vector<ToolbarButton> buttons{
      {"online", "toolbarOnline", true},
      {"clear", "toolbarClear", false},
      {"print", "toolbarPrint", false},
      {"save", "toolbarSave", false},
      {"font", "toolbarFont", false},
      {"alwaysontop", "toolbarAlwaysOnTop", true},
      {"scroll", "toolbarScrollLog", true},
      {"userinfos", "toolbarUserInfos", false},
      {"chatroomsinfos", "toolbarChatroomInfos", false},
      {"showips", "toolbarShowIPs", false},
      {"serverinfos", "toolbarServerInfos", false},
      {"settings", "toolbarSettings", false},
      {"exit", "toolbarExit", false},
  };
  return buttons;
}

void CreateToolbar(QToolBar& bar, const std::string& order, const std::function<QAction*(const std::string& key)>& actionOf) {
  bar.setUpdatesEnabled(false);
  bar.clear();
  bool anyButton = false;
  for (const std::string& item : Split(order, ",")) {
    const std::string key = TrimBlanks(item);
    if (key.empty()) {
      bar.addSeparator();
      continue;
    }
    bool known = false;
    for (const ToolbarButton& button : ToolbarButtons()) known = known || key == button.key;
    QAction* action = known ? actionOf(key) : nullptr;
    if (action == nullptr) continue;
    bar.addAction(action);
    anyButton = true;
  }
  if (!anyButton) bar.clear();
  bar.setUpdatesEnabled(true);
  if (!anyButton) bar.hide();
}

}  // namespace velmorin
