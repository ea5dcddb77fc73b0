#pragma once
// What the server knows about the connection in one slot.

#include <cstdint>
#include <ctime>
#include <string>

namespace velmorin {

struct ConnectionRecord {
  bool Free = true;
  bool ChatroomAdmin = false;
  bool Away = false;
  long Color = 0;
  std::string Nickname;  // empty until the login is accepted
  long ChatroomID = -1;
  long EncryptionIndex = -1;
  bool EncryptionActive = false;
  bool FullAtConnect = false;
  std::string LoginKey;  // empty while the connection is being or has been removed
  std::string SessionKey;
  std::time_t ConnectTime = 0;
  std::string ClientVersion;
  std::string PendingNickname;   // a login waiting for an older holder of the nickname
  std::string PendingLogin;      // proof NUL colour NUL client version of that login
  std::string PendingConflicts;  // indices of the holders, joined by NUL
  // Tells one occupant of the slot from the next, for code that calls out and comes back.
  std::uint64_t Serial = 0;

  bool LoggedIn() const { return !Nickname.empty(); }
};

}  // namespace velmorin
