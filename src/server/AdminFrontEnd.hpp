#pragma once
// What the server core tells its administrator front end: the desktop window implements it with
// Qt, headless mode with standard output, tests with a recorder. Every method has a default
// that does nothing, so a front end implements only what it shows.

#include <string>

#include "chat/UserListView.hpp"
#include "logging/LogView.hpp"

namespace velmorin {

class AdminFrontEnd : public LogView, public UserListView {
 public:

  // The status display: icon (0 ready, 1 full, 2 stopped, 3 used), status line, tray tooltip.
  virtual void ShowStatus(long /*icon*/, const std::string& /*statusLine*/, const std::string& /*trayTip*/) {}
  virtual void SetTitle(const std::string& /*title*/) {}
  // The "online" toolbar button and menu ticks.
  virtual void SetOnlineState(bool /*online*/) {}


  // A yes/no question; front ends that cannot ask answer `answerWhenUnattended`.
  virtual bool AskYesNo(const std::string& /*question*/, const std::string& /*title*/, bool answerWhenUnattended) {
    return answerWhenUnattended;
  }
  // Makes the window visible before a question.
  virtual void ShowWindow() {}

  // The user information list (UserListView): a connection's row appears, changes or goes.
  // The information windows refresh their figures, and the chatroom window its list.
  virtual void RefreshServerInfos() {}
  virtual void RefreshChatroomInfos() {}

  // The plugin menu: rebuild every item from PluginCommands::Menu(), or update the one
  // item of an entry in place.
  virtual void RebuildPluginMenu() {}
  virtual void UpdatePluginMenuItem(const std::string& /*plugin*/, const std::string& /*entry*/) {}
  // A balloon at the notification-area icon; icon 0 none, 1 information, 2 warning, 3 error.
  virtual void ShowTrayBalloon(long /*icon*/, const std::string& /*title*/, const std::string& /*text*/) {}
  // The log view's text, as rich text or plain; empty for a front end without a log view.
  virtual std::string LogText(bool /*rich*/) const { return {}; }
};

}  // namespace velmorin
