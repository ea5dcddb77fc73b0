// Plugin commands that act on the running server: connected users, messages, chatrooms,
// data for other plugins, and the online state.

#include <ctime>
#include <utility>

#include "chat/ChatroomOperations.hpp"
#include "codec/PayloadFields.hpp"
#include "config/Settings.hpp"
#include "config/TextFilters.hpp"
#include "platform/Text.hpp"
#include "server/PluginCommands.hpp"

namespace velmorin {
namespace {

using plugin_text::Fields;
using plugin_text::Flag;

const char kSoh = '\x01';

// A connection found now, to be checked again after a call out.
struct Target {
  long index;
  std::uint64_t serial;
};

// Every logged-in connection from index 1 up, in index order.
std::vector<Target> EveryUser(const ConnectionTable& table) {
  std::vector<Target> targets;
  for (long index = 1; index <= table.MaxIndex(); ++index) {
    if (table.InUse(index) && !table.At(index).nickname.empty()) {
      targets.push_back({index, table.At(index).serial});
    }
  }
  return targets;
}

// Recipients given as nicknames joined by SOH (everybody when empty); the absent ones go to
// `missing` when given.
std::vector<Target> Recipients(const ConnectionTable& table, const std::string& list,
                               std::vector<std::string>* missing = nullptr) {
  if (list.empty()) return EveryUser(table);
  std::vector<Target> targets;
  for (const std::string& nickname : Split(list, std::string_view(&kSoh, 1))) {
    const long index = table.GetUserID(nickname);
    if (index >= 0) {
      targets.push_back({index, table.At(index).serial});
    } else if (missing != nullptr) {
      missing->push_back(nickname);
    }
  }
  return targets;
}

// The targets still holding their connection, as indices.
std::vector<long> StillThere(const ConnectionTable& table, const std::vector<Target>& targets) {
  std::vector<long> indices;
  for (const Target& target : targets) {
    if (table.SameConnection(target.index, target.serial)) indices.push_back(target.index);
  }
  return indices;
}

}  // namespace

// ---- Connected users ------------------------------------------------------------------------

std::string PluginCommands::GetUserInfo(const std::string&, const std::string& p1, const std::string& p2) {
  const long index = table_.GetUserID(p1);
  if (index < 0) return {};
  const Connection& user = table_.At(index);
  if (p2 == "admin") return BoolText(user.chatroomAdmin);
  if (p2 == "away") return BoolText(user.away);
  if (p2 == "chatcolor") return std::to_string(user.color);
  if (p2 == "chatroom") return user.chatroomId >= 0 ? Rooms().Name(user.chatroomId) : std::string();
  if (p2 == "ip") {
    const StreamSocket* socket = table_.Socket(index);
    return socket != nullptr ? socket->RemoteHostIP() : std::string();
  }
  if (p2 == "since") return std::to_string(static_cast<long long>(std::time(nullptr) - user.connectTime));
  if (p2 == "version") return user.clientVersion;
  return {};
}

std::string PluginCommands::GetUserList(const std::string&, const std::string& p1, const std::string&) {
  std::vector<std::string> nicknames;
  if (p1.empty()) {
    for (const Target& user : EveryUser(table_)) nicknames.push_back(table_.At(user.index).nickname);
  } else {
    const long room = Rooms().GetChatroomID(p1);
    if (room < 0) return {};
    for (long member : Rooms().Members(room)) {
      if (table_.InUse(member)) nicknames.push_back(table_.At(member).nickname);
    }
  }
  return JoinFields(nicknames, std::string_view(&kSoh, 1));
}

std::string PluginCommands::KickUser(const std::string&, const std::string& p1, const std::string& p2) {
  const long index = table_.GetUserID(p1);
  if (index < 0) return "notfound";
  connections_.RemoveUser(index, {.reason = TrimBlanks(p2), .tellRoom = true});
  return "kicked";
}

std::string PluginCommands::ThrowUser(const std::string&, const std::string& p1, const std::string& p2) {
  const long index = table_.GetUserID(p1);
  if (index < 0) return "usernotfound";
  const long room = table_.At(index).chatroomId;
  if (room < 0) return "roomnotfound";
  const std::uint64_t serial = table_.At(index).serial;
  const std::uint64_t roomSerial = Rooms().Serial(room);
  messages_.SetClientAwayState(index, false);
  messages_.SendCloseChatroom(index, Rooms().Name(room));
  // A failed send removes the connection, and with it its room membership.
  if (!table_.SameConnection(index, serial)) return "done";
  messages_.UserLeftEvent(index, -1, room, p2);
  if (!table_.SameConnection(index, serial) || table_.At(index).chatroomId != room) return "done";
  if (Rooms().Serial(room) == roomSerial) Rooms().RemoveUser(room, index);
  messages_.SetClientChatroom(index, -1);
  return "done";
}

std::string PluginCommands::SetAdminStatus(const std::string&, const std::string& p1, const std::string& p2) {
  const long index = table_.GetUserID(p1);
  if (index < 0) return "notfound";
  const std::optional<bool> admin = ToBool(p2);
  if (!admin || *admin == table_.At(index).chatroomAdmin) return "done";
  table_.At(index).chatroomAdmin = *admin;
  const long room = table_.At(index).chatroomId;
  if (room >= 0) {
    const std::vector<long> members = Rooms().Members(room);  // a copy: sends may remove
    const std::string state = table_.At(index).nickname + kFieldSeparator + (*admin ? "admin" : "noadmin");
    table_.SendCommandToEach(members, "newClientState", state);
  }
  return "done";
}

// ---- Messages and data for clients ----------------------------------------------------------

std::string PluginCommands::SendMessage(const std::string&, const std::string& p1, const std::string& p2) {
  const std::string text = TrimBlanks(p2);
  if (text.empty()) return "invalidmsg";
  const std::vector<long> targets = StillThere(table_, Recipients(table_, p1));
  if (targets.empty()) return "notsent";
  table_.SendCommandToEach(targets, "message", std::string("server") + kFieldSeparator + text);
  return "sent";
}

std::string PluginCommands::SendDataToClient(const std::string& sender, const std::string& p1, const std::string& p2) {
  const std::vector<std::string> f = Fields(p1, 2);
  if (f[0].empty()) return "invalid";
  std::vector<std::string> missing;
  const std::vector<Target> found = Recipients(table_, f[1], &missing);
  if (!missing.empty()) {
    plugins_.Call(sender, "ClientPluginResponse", JoinFields(missing, std::string_view(&kSoh, 1)), "usernotfound");
  }
  // The sender's answer may have changed the connection table: send to those still there.
  table_.SendCommandToEach(StillThere(table_, found), "serverPluginData", sender + "\r\n" + f[0] + kFieldSeparator + p2);
  return "sent";
}

// ---- Data for other plugins -----------------------------------------------------------------

std::string PluginCommands::SendDataToPlugin(const std::string& sender, const std::string& p1, const std::string& p2) {
  const std::vector<std::string> f = Fields(p1, 2);
  if (f[0].empty() || f[1].empty()) return "invalid";
  return plugins_.Call(f[1], "DataFromPlugin", f[0] + kFieldSeparator + sender, p2).has_value() ? "sent" : "notfound";
}

std::string PluginCommands::SendDataToPluginSynch(const std::string& sender, const std::string& p1,
                                                  const std::string& p2) {
  const std::vector<std::string> f = Fields(p1, 2);
  if (f[0].empty() || f[1].empty()) return {};
  return plugins_.Call(f[1], "DataFromPluginSynch", f[0] + kFieldSeparator + sender, p2).value_or(std::string());
}

// ---- Chatrooms ------------------------------------------------------------------------------

std::string PluginCommands::CreateChatroom(const std::string&, const std::string& p1, const std::string&) {
  const std::vector<std::string> f = Fields(p1, 4);
  return velmorin::CreateChatroom(Rooms(), f[0], f[1], f[2], Flag(f[3]));
}

std::string PluginCommands::ModifyChatroom(const std::string&, const std::string& p1, const std::string& p2) {
  const std::vector<std::string> f = Fields(p1, 3);
  return velmorin::ModifyChatroom(Rooms(), f[0], f[1], Flag(f[2]), p2);
}

std::string PluginCommands::RemoveChatroom(const std::string&, const std::string& p1, const std::string& p2) {
  const std::vector<std::string> f = Fields(p1, 2);
  return velmorin::RemoveChatroom(Rooms(), messages_, f[0], Flag(f[1]), Flag(p2));
}

std::string PluginCommands::GetChatroomInfos(const std::string&, const std::string& p1, const std::string&) {
  const RoomTable& rooms = Rooms();
  const long room = rooms.GetChatroomID(p1);
  if (room < 0) return {};
  return rooms.Password(room) + kFieldSeparator + BoolText(rooms.IsProtected(room)) + kFieldSeparator + std::to_string(rooms.MemberCount(room)) + kFieldSeparator +
         rooms.Comment(room);
}

std::string PluginCommands::GetChatroomList(const std::string&, const std::string&, const std::string&) {
  const RoomTable& rooms = Rooms();
  std::vector<std::string> names;
  for (long room = 0; room <= rooms.MaxID(); ++room) {
    if (!rooms.Name(room).empty()) names.push_back(rooms.Name(room));
  }
  return JoinFields(names);
}

// ---- Online state ---------------------------------------------------------------------------

std::string PluginCommands::StartServer(const std::string&, const std::string& p1, const std::string&) {
  if (status_.IsOnline()) return "started";
  const std::optional<long> port = ToLong(p1);
  if (port && *port >= 1 && *port <= 65535) {
    ServerSettings.General.Port = *port;
    ServerSettings.General.ActivePort = *port;
  }
  onlineSwitch_.ChangeStatus(false);
  return "done";
}

std::string PluginCommands::StopServer(const std::string&, const std::string& p1, const std::string&) {
  if (!status_.IsOnline()) return "stopped";
  if (!Flag(p1) && table_.UserCount() > 0) return "notempty";
  onlineSwitch_.ChangeStatus(false);
  return "done";
}

}  // namespace velmorin
