#include "chat/ChatroomOperations.hpp"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "codec/Base64.hpp"
#include "codec/IniValues.hpp"
#include "codec/ProfileFile.hpp"
#include "config/Settings.hpp"
#include "config/TextFilters.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

const std::string& ChatroomsFile() { return Paths().chatroomsFile; }

std::string ReadPassword(const std::string& section) {
  return CleanText(Base64Decode(ReadIniValue(section, "Password", "", ChatroomsFile())),
                   kMaxChatroomPasswordLength);
}

bool ContainsMember(const RoomTable& rooms, long id, long connection) {
  const std::vector<long>& members = rooms.Members(id);
  return std::find(members.begin(), members.end(), connection) != members.end();
}

}  // namespace

void LoadChatrooms(RoomTable& rooms, const LanguageFile& language) {
  std::string& standard = ServerSettings.Chatrooms.StandardChatroom;
  bool standardLoaded = false;
  const auto add = [&](const std::string& name, const std::string& comment, const std::string& pwd) {
    if (rooms.Add(name, comment, pwd, true) >= 0 && name == standard) standardLoaded = true;
  };

  std::error_code error;
  if (std::filesystem::exists(ChatroomsFile(), error)) {
    for (const std::string& section : SplitLines(ReadIniValue(std::nullopt, std::nullopt, "", ChatroomsFile()))) {
      // Unescaped before the cut, so that a 40-character name with brackets survives whole.
      const std::string name = CleanText(EscapeSectionName(section, 1), kMaxChatroomNameLength);
      // Names that meet after cleaning would give a room no one can reach by name.
      if (name.empty() || rooms.GetChatroomID(name) >= 0) continue;
      const std::string comment =
          CleanText(ReadIniValue(section, "Description", "", ChatroomsFile()), kMaxChatroomDescriptionLength);
      add(name, comment, ReadPassword(section));
    }
  } else {
    add(CleanText(language.Data("stdChatroom", "modMain"), kMaxChatroomNameLength), "", "");
  }

  if (!standardLoaded) standard.clear();
}

std::string CreateChatroom(RoomTable& rooms, const std::string& name,
                           const std::string& description, const std::string& password,
                           bool permanent) {
  const std::string roomName = CleanText(name, kMaxChatroomNameLength);
  const std::string comment = CleanText(description, kMaxChatroomDescriptionLength);
  const std::string pwd = CleanText(password, kMaxChatroomPasswordLength);
  if (roomName.empty()) return "failed";
  if (rooms.GetChatroomID(roomName) >= 0) return "exists";
  rooms.Add(roomName, comment, pwd, true);
  if (!permanent) return {};
  profile::ProfileBatch oneWrite;
  WriteIniValue(roomName, "Description", comment + " ", ChatroomsFile());
  WriteIniValue(roomName, "Password", Base64Encode(pwd), ChatroomsFile());
  return "created";
}

std::string ModifyChatroom(RoomTable& rooms, const std::string& name, const std::string& field,
                           bool permanent, const std::string& value) {
  // Rooms are stored under their cleaned names: a name is cleaned the same way to find one
  // and to write its section.
  const std::string section = CleanText(name, kMaxChatroomNameLength);
  const long id = rooms.GetChatroomID(section);
  if (id < 0) return "notfound";
  if (field == "description") {
    const std::string comment = CleanText(value, kMaxChatroomDescriptionLength);
    rooms.SetComment(id, comment);
    if (permanent) WriteIniValue(section, "Description", comment + " ", ChatroomsFile());
    return "modified";
  }
  if (field == "password") {
    const std::string pwd = CleanText(value, kMaxChatroomPasswordLength);
    rooms.SetPassword(id, pwd);
    if (permanent) WriteIniValue(section, "Password", Base64Encode(pwd), ChatroomsFile());
    return "modified";
  }
  return "invalid";
}

std::string RemoveChatroom(RoomTable& rooms, ChatroomMemberHost& host, const std::string& name,
                           bool permanent, bool force) {
  const long id = rooms.GetChatroomID(CleanText(name, kMaxChatroomNameLength));
  if (id < 0) return "notfound";
  if (rooms.MemberCount(id) > 0 && !force) return "notempty";

  // Taken now: the room, its name and its member list may all be gone after the first call out.
  const std::string roomName = rooms.Name(id);
  const std::uint64_t serial = rooms.Serial(id);
  const std::vector<long> members = rooms.Members(id);
  const auto sameRoom = [&] { return rooms.Serial(id) == serial; };

  for (long member : members) {
    // A plugin reached through the host may have removed the room or moved the member.
    if (!sameRoom()) break;
    if (!ContainsMember(rooms, id, member)) continue;
    host.SetClientAwayState(member, false);
    host.SendCloseChatroom(member, roomName);
    if (!sameRoom() || !ContainsMember(rooms, id, member)) continue;
    host.SetClientChatroom(member, -1);
    // The last member leaving an unprotected room removes it here already.
    rooms.RemoveUser(id, member);
  }
  if (sameRoom()) rooms.Remove(id);

  if (permanent) WriteIniValue(roomName, std::nullopt, std::nullopt, ChatroomsFile());
  return "removed";
}

std::string SetStandardChatroom(const std::string& name) {
  ServerSettings.Chatrooms.StandardChatroom = CleanText(name, kMaxChatroomNameLength);
  return {};
}

}  // namespace velmorin
