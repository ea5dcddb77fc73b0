#pragma once
// The part of the administrator front end the chat layer tells about connections: the user
// information list gains, changes or loses a connection's row. Every method has a default that
// does nothing, so a front end implements only what it shows.

#include <string>

namespace velmorin {

class UserListView {
 public:
  virtual ~UserListView() = default;
  virtual void UserListAdd(long /*index*/, const std::string& /*address*/) {}
  virtual void UserListUpdate(long /*index*/) {}
  virtual void UserListRemove(long /*index*/) {}
};

}  // namespace velmorin
