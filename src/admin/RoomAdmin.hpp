#pragma once
// The chatrooms: the live table and the stored list of config/chatrooms.cfg. A room added with
// `store` is kept in the file as well and comes back at the next start; an edit or a removal of
// a live room reaches its stored entry too. Removing a room with members first closes it for
// each member ("closeChatroom"), as the chatroom information dialog does.
//
// Fields are checked, not silently cut: a name, password or description that CleanText
// (40/40/256 characters) would change is refused.

#include <optional>
#include <string>
#include <vector>

#include "admin/AdminResult.hpp"

namespace velmorin {

class ChatServer;

struct LiveRoom {
  long id = -1;
  std::string name;
  long members = 0;
  bool hasPassword = false;
  std::string description;
  bool isProtected = false;  // stays when empty (the administrator's and the file's rooms)
  bool stored = false;       // in config/chatrooms.cfg
  bool standard = false;
};

struct StoredRoom {
  std::string name;
  std::string description;
  bool hasPassword = false;
};

struct RoomChange {
  std::optional<std::string> description;
  std::optional<std::string> password;
};

class RoomAdmin {
 public:
  explicit RoomAdmin(ChatServer& server) : server_(server) {}

  std::vector<LiveRoom> Live() const;
  std::vector<StoredRoom> Stored() const;
  AdminResult Add(const std::string& name, const std::string& description, const std::string& password, bool store);
  AdminResult Edit(const std::string& name, const RoomChange& change);
  // Removes a room, live and stored. A stored room goes for good, so its removal needs
  // `confirmed` (the window asks first, velmorin-ctl takes --yes); a room that is only live
  // does not.
  AdminResult Remove(const std::string& name, bool confirmed);
  // The room offered to connecting clients; it must be stored, since only stored rooms come
  // back at the next start. An empty name clears the choice.
  AdminResult SetStandard(const std::string& name);

 private:
  AdminResult Refuse(const std::string& notice, const std::string& section) const;

  ChatServer& server_;
};

}  // namespace velmorin
