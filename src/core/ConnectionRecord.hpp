#pragma once
// The two parallel records every connection slot has: what the server knows about the
// connection, and the state of its packet reader.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

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

// The packet reader's state. Buffer is consumed from `Start` on: taking a packet moves the
// offset instead of erasing from the front.
struct ReceiveState {
  std::string Buffer;
  std::size_t Start = 0;
  std::vector<std::string> Header;  // command and length text of the front packet
  long SeparatorPos = 0;            // 1-based within the unconsumed part, 0 when none
  long PacketLength = 0;            // the whole front packet
  bool Waiting = false;             // the header is parsed; waiting for the rest

  std::size_t Buffered() const { return Buffer.size() - Start; }
  // Also gives the buffer's memory back: the slot's next connection starts small.
  void Clear() {
    std::string().swap(Buffer);
    Start = 0;
    Header.clear();
  }
};

}  // namespace velmorin
