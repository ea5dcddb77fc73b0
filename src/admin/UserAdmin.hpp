#pragma once
// The logged-in users: the list the user information window shows, disconnecting a user, and
// server messages in the three modes of the server-message editor (everybody, one user, the
// members of one room). Messages go out through the plugin command interface, which already
// sends them the way clients expect ("message" with "server", NUL, the text).

#include <cstddef>
#include <string>
#include <vector>

#include "admin/AdminResult.hpp"

namespace velmorin {

class ChatServer;

// One row of the user list: ID, nickname, chatroom, remote address, client version.
struct UserRow {
  long id = 0;
  std::string nickname;
  std::string chatroom;  // empty while the user is in no room
  std::string address;
  std::string clientVersion;
};

// The longest server message the administration sends; longer texts are refused.
inline constexpr std::size_t kMaxServerMessageLength = 4096;
// The longest reason for a disconnect.
inline constexpr std::size_t kMaxKickReasonLength = 400;

class UserAdmin {
 public:
  explicit UserAdmin(ChatServer& server) : server_(server) {}

  // Every logged-in user, in connection order.
  std::vector<UserRow> Users();
  // Closes the user's connection; the user is told first (a server message with the reason,
  // then its own "userLeft" with no new room, by which a client knows it was disconnected on
  // purpose and should not connect again on its own), the room hears the reason, the log
  // names it. An empty reason is allowed.
  AdminResult Disconnect(const std::string& nickname, const std::string& reason = {});

  AdminResult SendToAll(const std::string& text);
  AdminResult SendToUser(const std::string& nickname, const std::string& text);
  AdminResult SendToRoom(const std::string& room, const std::string& text);

 private:
  // The trimmed text, or the refusal of an empty, oversized or malformed one.
  AdminResult CheckText(const std::string& text, std::string& trimmed) const;
  // What the kicked user is sent before its connection closes.
  void TellDisconnected(long index, const std::string& reason);
  AdminResult Send(const std::string& recipients, const std::string& text, const std::string& done);
  AdminResult Notice(const std::string& key) const;

  ChatServer& server_;
};

}  // namespace velmorin
