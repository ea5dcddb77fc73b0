// The chatroom control commands: "rooms" lists the live rooms and the stored ones, "room" adds,
// edits and removes a room and chooses the standard room.

#include "admin/RoomControl.hpp"

#include "admin/AdminService.hpp"
#include "admin/ControlWords.hpp"
#include "admin/RoomAdmin.hpp"

namespace velmorin {

namespace {

constexpr const char* kUsage =
    "usage: room add NAME [--password P] [--description TEXT] [--store] | "
    "room edit NAME [--password P] [--description TEXT] | room remove NAME [--yes] | room standard NAME|--none";

ControlReply ListRooms(RoomAdmin& rooms) {
  ControlReply reply;
  reply.table.columns = {"id", "name", "members", "password", "stored", "standard", "description"};
  reply.table.numericColumns = {0, 2};
  for (const LiveRoom& room : rooms.Live()) {
    reply.table.rows.push_back({std::to_string(room.id), room.name, std::to_string(room.members),
                                room.hasPassword ? "*" : "", room.stored ? "yes" : (room.isProtected ? "no" : "client"),
                                room.standard ? "yes" : "", room.description});
  }
  std::string storedNames;
  for (const StoredRoom& room : rooms.Stored()) storedNames += (storedNames.empty() ? "" : ", ") + room.name;
  reply.fields.push_back({"stored", storedNames});
  return reply;
}

ControlReply Add(RoomAdmin& rooms, const std::vector<std::string>& words) {
  const ControlWords split = SplitControlWords(words, 1, {"--store"}, {"--password", "--description"});
  if (!split.valid || split.plain.size() != 1) {
    return ControlReply::Usage("usage: room add NAME [--password P] [--description TEXT] [--store]");
  }
  return ControlReply::From(rooms.Add(split.plain[0], split.Value("--description").value_or(""),
                                      split.Value("--password").value_or(""), split.Has("--store")));
}

ControlReply Edit(RoomAdmin& rooms, const std::vector<std::string>& words) {
  const ControlWords split = SplitControlWords(words, 1, {}, {"--password", "--description"});
  if (!split.valid || split.plain.size() != 1) {
    return ControlReply::Usage("usage: room edit NAME [--password P] [--description TEXT]");
  }
  return ControlReply::From(rooms.Edit(split.plain[0], {split.Value("--description"), split.Value("--password")}));
}

ControlReply Remove(RoomAdmin& rooms, const std::vector<std::string>& words) {
  const ControlWords split = SplitControlWords(words, 1, {"--yes"}, {});
  if (!split.valid || split.plain.size() != 1) return ControlReply::Usage("usage: room remove NAME [--yes]");
  return ControlReply::From(rooms.Remove(split.plain[0], split.Has("--yes")));
}

}  // namespace

void RegisterRoomControl(ControlRegistry& registry, AdminService& admin) {
  registry.Add("rooms", [&admin](const ControlRequest& request) {
    if (!request.words.empty()) return ControlReply::Usage("usage: rooms");
    return ListRooms(admin.Rooms());
  });
  registry.Add("room", [&admin](const ControlRequest& request) {
    RoomAdmin& rooms = admin.Rooms();
    const std::vector<std::string>& words = request.words;
    const std::string sub = words.empty() ? "" : words[0];
    if (sub == "add") return Add(rooms, words);
    if (sub == "edit") return Edit(rooms, words);
    if (sub == "remove") return Remove(rooms, words);
    if (sub == "standard" && words.size() == 2) {
      return ControlReply::From(rooms.SetStandard(words[1] == "--none" ? "" : words[1]));
    }
    return ControlReply::Usage(kUsage);
  });
}

}  // namespace velmorin
