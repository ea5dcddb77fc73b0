#pragma once
// The Plugins menu of the main window and the keys offered to plugins.
//
//   BuildPluginMenu(menu, entries, click)   one item per entry in order; its data holds the
//                                           owner, CR LF, the entry name; a click calls
//                                           click(owner, name). An empty menu is disabled.
//   UpdatePluginMenuItem(menu, entries, owner, name)
//                                           the item of that entry takes its caption, tick and
//                                           enabled state again
//   OfferedShortcut(key, modifiers)         the key code and shift state a released key is
//                                           offered to plugins with, or none: with Ctrl or Alt
//                                           every key, otherwise only F1-F12, Insert, Delete,
//                                           Page Up and Page Down. Codes are the classic virtual
//                                           key numbers plugins expect (F1 112, Delete 46);
//                                           the shift state adds 1 Shift, 2 Ctrl, 4 Alt.
//                                           With everyKey, every key that has a code.
//   PluginShortcuts                         an event filter on the window that offers them (on
//                                           the settings dialog's lists: every key)

#include <QMenu>
#include <QObject>
#include <functional>
#include <optional>
#include <string>

#include "plugins/PluginMenu.hpp"

namespace velmorin {

using PluginMenuClick = std::function<void(const std::string& owner, const std::string& name)>;

void BuildPluginMenu(QMenu& menu, const PluginMenu& entries, const PluginMenuClick& click);
void UpdatePluginMenuItem(QMenu& menu, const PluginMenu& entries, const std::string& owner, const std::string& name);

struct OfferedKey {
  long keyCode;
  long shiftState;
};
std::optional<OfferedKey> OfferedShortcut(int qtKey, Qt::KeyboardModifiers modifiers, bool everyKey = false);

class PluginShortcuts : public QObject {
 public:
  using Offer = std::function<void(long shiftState, long keyCode)>;
  PluginShortcuts(QObject& parent, Offer offer, bool everyKey = false)
      : QObject(&parent), offer_(std::move(offer)), everyKey_(everyKey) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Offer offer_;
  bool everyKey_;
  // A key event passed on from the log view to the window is offered once: the same event object
  // with the same time stamp and key (a later event may reuse the object's address).
  const QEvent* lastEvent_ = nullptr;
  quint64 lastStamp_ = 0;
  int lastKey_ = 0;
};

}  // namespace velmorin
