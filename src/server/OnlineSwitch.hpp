#pragma once
// Takes the server online or offline, as the plugin commands StartServer and StopServer ask.
// The server implements it; the chat layer's StatusHost tells which way it stands.

namespace velmorin {

class OnlineSwitch {
 public:
  virtual ~OnlineSwitch() = default;
  // Offline when online, online when offline. With `ask`, stopping a server that has users
  // asks the administrator first.
  virtual void ChangeStatus(bool ask) = 0;
};

}  // namespace velmorin
