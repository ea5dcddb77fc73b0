#pragma once
// The chatroom file config/chatrooms.cfg and the room operations offered to plugins.
//
// The file holds one section per permanent room (name escaped as every section name),
// with Description and Password (Base64). Every room in it is loaded as protected.
//
//   LoadChatrooms(rooms, language)   fills a fresh table from the file, or with one default room
//                                    when there is no file; clears a StandardChatroom that no
//                                    loaded room spells exactly (case counts)
//   CreateChatroom(...)              "failed", "exists", "created" (permanent) or "" (memory only)
//   ModifyChatroom(...)              "modified", "notfound", "invalid"
//   RemoveChatroom(...)              "removed", "notempty", "notfound"; members are sent out first
//   SetStandardChatroom(name)        "" ; changes the settings in memory only
//
// Names given by plugins are looked up as given, without regard to case.

#include <string>

#include "chat/RoomTable.hpp"
#include "i18n/LanguageFile.hpp"

namespace velmorin {

// What removing a room needs from the connection table. Any of these calls may reach plugins,
// which may in turn change the chatroom table.
class ChatroomMemberHost {
 public:
  virtual ~ChatroomMemberHost() = default;
  virtual void SetClientAwayState(long connection, bool away) = 0;
  // Sends the client "closeChatroom" with the room's name.
  virtual void SendCloseChatroom(long connection, const std::string& roomName) = 0;
  // -1 means no room.
  virtual void SetClientChatroom(long connection, long roomId) = 0;
};

// The default room's name comes from the language's "stdChatroom" text of "modMain".
void LoadChatrooms(RoomTable& rooms, const LanguageFile& language = CurrentLanguage());

// Cleans name (40), description (256) and password (40). A permanent room is also written to the
// file, its description followed by one space.
std::string CreateChatroom(RoomTable& rooms, const std::string& name,
                           const std::string& description, const std::string& password,
                           bool permanent);

// Field "description" or "password", exact case. When permanent, the key is written to the
// section named as given here, not as the room spells it.
std::string ModifyChatroom(RoomTable& rooms, const std::string& name, const std::string& field,
                           bool permanent, const std::string& value);

// A room with members is removed only when forced: each member in turn is made present, sent
// "closeChatroom", moved to no room and taken out of the room. When permanent, the room's section
// is deleted from the file.
std::string RemoveChatroom(RoomTable& rooms, ChatroomMemberHost& host, const std::string& name,
                           bool permanent, bool force);

std::string SetStandardChatroom(const std::string& name);

}  // namespace velmorin
