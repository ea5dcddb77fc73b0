#include "admin/RoomAdmin.hpp"

#include "admin/FieldCheck.hpp"
#include "admin/StoreRefusal.hpp"

#include "chat/ChatroomOperations.hpp"
#include "chat/RoomTable.hpp"
#include "codec/Base64.hpp"
#include "codec/IniValues.hpp"
#include "config/Settings.hpp"
#include "config/TextFilters.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/Text.hpp"
#include "server/ChatServer.hpp"

namespace velmorin {

namespace {


const std::string& RoomsFile() { return Paths().chatroomsFile; }

// The stored spelling of a room in the file, found without regard to case.
std::optional<std::string> StoredName(const std::vector<StoredRoom>& stored, const std::string& name) {
  const std::string lowered = LowerCase(name);
  for (const StoredRoom& room : stored) {
    if (LowerCase(room.name) == lowered) return room.name;
  }
  return std::nullopt;
}

long WriteStoredRoom(const std::string& name, const std::optional<std::string>& description,
                     const std::optional<std::string>& password) {
  long error = 0;
  if (description) error = WriteIniValue(name, "Description", *description, RoomsFile());
  if (error == 0 && password) error = WriteIniValue(name, "Password", Base64Encode(*password), RoomsFile());
  return error;
}

}  // namespace

std::vector<StoredRoom> RoomAdmin::Stored() const {
  std::vector<StoredRoom> rooms;
  for (const std::string& escaped : SplitLines(ReadIniValue(std::nullopt, std::nullopt, "", RoomsFile()))) {
    const std::string name = EscapeSectionName(escaped, 1);
    if (name.empty()) continue;
    const std::vector<std::string> values = ReadIniValues(name, {"Description", "Password"}, "", RoomsFile());
    rooms.push_back({name, CleanText(values[0], kMaxChatroomDescriptionLength), !Base64Decode(values[1]).empty()});
  }
  return rooms;
}

std::vector<LiveRoom> RoomAdmin::Live() const {
  const RoomTable& rooms = server_.Chatrooms();
  const std::vector<StoredRoom> stored = Stored();
  std::vector<LiveRoom> live;
  for (long id = 0; id <= rooms.MaxID(); ++id) {
    if (rooms.Name(id).empty()) continue;
    LiveRoom room;
    room.id = id;
    room.name = rooms.Name(id);
    room.members = rooms.MemberCount(id);
    room.hasPassword = rooms.PasswordRequired(id);
    room.description = rooms.Comment(id);
    room.isProtected = rooms.IsProtected(id);
    room.stored = StoredName(stored, room.name).has_value();
    room.standard = room.name == ServerSettings.Chatrooms.StandardChatroom;
    live.push_back(std::move(room));
  }
  return live;
}

AdminResult RoomAdmin::Refuse(const std::string& notice, const std::string& section) const {
  return AdminResult::Refused(notice, server_.Language().Data(notice, section));
}

AdminResult RoomAdmin::Add(const std::string& name, const std::string& description, const std::string& password,
                           bool store) {
  if (TrimBlanks(name).empty()) return Refuse("noticeMissingName", "frmCreateChat");
  if (auto refused = CheckTextField("name", name, kMaxChatroomNameLength)) return *refused;
  if (auto refused = CheckTextField("password", password, kMaxChatroomPasswordLength)) return *refused;
  if (auto refused = CheckTextField("description", description, kMaxChatroomDescriptionLength)) return *refused;
  RoomTable& rooms = server_.Chatrooms();
  // A stored room that is not live (a client-made namesake went, or the file was edited) would
  // be overwritten by the save; it counts as existing too.
  if (rooms.GetChatroomID(name) >= 0 || StoredName(Stored(), name)) return Refuse("noticeAlreadyExist", "frmCreateChat");

  if (store && WriteStoredRoom(name, description, password) != 0) {
    WriteIniValue(name, std::nullopt, std::nullopt, RoomsFile());
    return AdminResult::Refused("failed", "config/chatrooms.cfg could not be written.");
  }
  rooms.Add(name, description, password, true);
  return AdminResult::Done("Chatroom " + name + " added.");
}

AdminResult RoomAdmin::Edit(const std::string& name, const RoomChange& change) {
  RoomTable& rooms = server_.Chatrooms();
  const long id = rooms.GetChatroomID(name);
  if (id < 0) return Refuse("noticeChatroomDoesNotExist", "frmSendServerMsg");
  if (change.password) {
    if (auto refused = CheckTextField("password", *change.password, kMaxChatroomPasswordLength)) return *refused;
  }
  if (change.description) {
    if (auto refused = CheckTextField("description", *change.description, kMaxChatroomDescriptionLength)) return *refused;
  }
  const std::string roomName = rooms.Name(id);
  if (const auto stored = StoredName(Stored(), roomName)) {
    if (WriteStoredRoom(*stored, change.description, change.password) != 0) {
      return AdminResult::Refused("failed", "config/chatrooms.cfg could not be written.");
    }
  }
  if (change.password) rooms.SetPassword(id, *change.password);
  if (change.description) rooms.SetComment(id, *change.description);
  return AdminResult::Done("Chatroom " + roomName + " changed.");
}

AdminResult RoomAdmin::Remove(const std::string& name, bool confirmed) {
  RoomTable& rooms = server_.Chatrooms();
  const long id = rooms.GetChatroomID(name);
  const std::optional<std::string> stored = StoredName(Stored(), name);
  if (id < 0 && !stored) return Refuse("noticeChatroomDoesNotExist", "frmSendServerMsg");
  const std::string roomName = id >= 0 ? rooms.Name(id) : *stored;
  if (stored && !confirmed) {
    // The last stored room leaves a server that starts with no room at all.
    const std::string why = Stored().size() == 1
                                ? roomName + " is the last chatroom in chatrooms.cfg: after a restart the server "
                                             "would have no chatroom at all."
                                : roomName + " is stored in chatrooms.cfg and is removed from there for good.";
    return AdminResult::Refused("notConfirmed", why + " Add --yes to remove it.");
  }

  // The standard room that names it is cleared first, so that a failed save changes nothing.
  std::string& standard = ServerSettings.Chatrooms.StandardChatroom;
  const std::string standardBefore = standard;
  if (!standard.empty() && LowerCase(standard) == LowerCase(roomName)) {
    standard.clear();
    if (const int error = SaveSettings(); error != 0) {
      standard = standardBefore;
      return RefuseStore(server_, Paths().settingsFile, error, "failed");
    }
  }
  if (stored && WriteIniValue(*stored, std::nullopt, std::nullopt, RoomsFile()) != 0) {
    if (standard != standardBefore) {
      standard = standardBefore;
      SaveSettings();
    }
    return AdminResult::Refused("failed", "config/chatrooms.cfg could not be written.");
  }
  // Each member is made present, sent "closeChatroom", moved to no room and taken out.
  if (id >= 0) RemoveChatroom(rooms, server_.Messages(), roomName, false, true);
  return AdminResult::Done("Chatroom " + roomName + " removed.");
}

AdminResult RoomAdmin::SetStandard(const std::string& name) {
  std::string& standard = ServerSettings.Chatrooms.StandardChatroom;
  const std::string before = standard;
  if (name.empty()) {
    standard.clear();
  } else {
    // Only a stored room is there again after a restart, where the standard room is looked up.
    const std::optional<std::string> stored = StoredName(Stored(), name);
    if (!stored && server_.Chatrooms().GetChatroomID(name) >= 0) return Refuse("noticeChatroomNotStored", "frmAddEditChatroom");
    if (!stored || server_.Chatrooms().GetChatroomID(*stored) < 0) {
      return Refuse("noticeChatroomDoesNotExist", "frmSendServerMsg");
    }
    standard = *stored;
  }
  if (const int error = SaveSettings(); error != 0) {
    standard = before;
    return RefuseStore(server_, Paths().settingsFile, error, "failed");
  }
  return AdminResult::Done(standard.empty() ? "No standard chatroom." : "Standard chatroom: " + standard + ".");
}

}  // namespace velmorin
