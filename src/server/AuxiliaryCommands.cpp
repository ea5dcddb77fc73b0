// File-transfer set-up, encryption negotiation, plugin relays, server commands, search and
// away-message requests of a logged-in client.

#include <stdexcept>

#include "server/clsServer.hpp"
#include "platform/Text.hpp"
#include "codec/PayloadFields.hpp"
#include "codec/modEncryption.hpp"
#include "platform/modFilter.hpp"
#include "codec/modSHA256.hpp"

namespace velmorin {
namespace {

const char kNul = '\0';

}  // namespace

bool clsServer::HandleFileRequest(long index, const std::string& payload) {
  std::vector<std::string> fields = PayloadFields(payload, 0);
  if (fields.size() < 7) throw std::runtime_error("fileRequest with fewer than seven fields");
  const long recipient = GetUserID(fields[0]);
  if (recipient < 0) {
    SendCommand(index, "acceptFiles", fields[0] + kNul + "userNotFound");
    return true;
  }
  const std::string address = Socket(index) != nullptr ? Socket(index)->RemoteHostIP() : std::string();
  if (address != "127.0.0.1" && fields[1].find(address) == std::string::npos) {
    fields[1] = address + "\r\n" + fields[1];
  }
  fields.resize(7);
  fields[0] = Record(index).Nickname;
  SendCommand(recipient, "fileRequest", JoinFields(fields));
  return true;
}

bool clsServer::HandleAcceptFiles(long index, const std::string& payload) {
  RelayUnderSender(index, payload, "acceptFiles");
  return true;
}

bool clsServer::HandleAbortFiletransfer(long index, const std::string& payload) {
  const std::vector<std::string> fields = PayloadFields(payload, 3);
  const long recipient = GetUserID(fields[0]);
  if (recipient >= 0) {
    SendCommand(recipient, "abortFiletransfer", Record(index).Nickname + kNul + fields[1] + kNul + fields[2]);
  }
  return true;
}

bool clsServer::HandleGetEncryptionlist(long index, const std::string&) {
  SendCommand(index, "encryptionlist", encryptionPlugins_.OfferedList());
  return true;
}

bool clsServer::HandleSetEncryption(long index, const std::string& payload) {
  const long plugin = encryptionPlugins_.Find(payload);
  if (plugin < 0) {
    SendCommand(index, "acceptEncryption", "failed");
    return true;
  }
  if (Record(index).EncryptionIndex != plugin) table_.ForgetEncryption(index);
  Record(index).EncryptionIndex = plugin;
  SendCommand(index, "acceptEncryption", std::string("ok") + kNul + payload);
  return true;
}

bool clsServer::HandleEncryptionkey(long index, const std::string& payload) {
  const std::size_t split = payload.find("\r\n");
  const std::string enciphered = payload.substr(0, split);
  const std::string check = split == std::string::npos ? std::string() : payload.substr(split + 2);
  const std::string key = DecryptField(enciphered, Record(index).SessionKey);
  const std::uint64_t serial = Record(index).Serial;
  const auto refuse = [&] {
    if (!SameConnection(index, serial)) return false;
    table_.ForgetEncryption(index);
    SendCommand(index, "encryptionkey", "\r\n\r\nbadCRC");
    return true;
  };
  if (key.empty() || check != SHA256Hex(key + Record(index).LoginKey)) {
    log_.Log(LogMessageType::ErrorCRC, {{"%id", std::to_string(index)}, {"%cmd", "encryptionkey"}});
    return refuse();
  }
  // Without a chosen plugin, or when the plugin refuses the key, there is no key to answer
  // with: the client hears "badCRC" rather than an empty key announced as "ok".
  const std::optional<std::string> pluginKey = table_.ExchangeEncryptionKey(index, key);
  if (!SameConnection(index, serial)) return false;
  if (!pluginKey.has_value()) {
    log_.Log(LogMessageType::ErrorRaised, {{"%id", std::to_string(index)}, {"%nr", "5"},
                                           {"%description", "No encryption plugin took the key"},
                                           {"%source", "frmServer.encryptionkey"}});
    return refuse();
  }
  const std::string& sessionKey = Record(index).SessionKey;
  SendCommand(index, "encryptionkey",
              EncryptField(*pluginKey, sessionKey) + "\r\n" + SHA256Hex(*pluginKey + Record(index).LoginKey) + "\r\nok");
  return true;
}

bool clsServer::HandleAcceptEncryptionkey(long index, const std::string& payload) {
  if (payload == "ok") {
    if (Record(index).EncryptionIndex != -1) Record(index).EncryptionActive = true;
  } else if (payload == "badCRC") {
    table_.ForgetEncryption(index);
    log_.Log(LogMessageType::ErrorCRC, {{"%id", std::to_string(index)}, {"%cmd", "acceptEncryptionkey"}});
  }
  return true;
}

bool clsServer::HandleClientPluginData(long index, const std::string& payload) {
  const std::size_t firstNul = payload.find(kNul);
  std::vector<std::string> header = Split(payload.substr(0, firstNul), "\r\n");
  if (header.size() < 3) header.resize(3);
  std::vector<long> found;
  std::vector<std::string> missing;
  // An empty list names nobody (rather than one empty nickname).
  const std::vector<std::string> nicknames = header[2].empty() ? std::vector<std::string>{} : Split(header[2], "\x01");
  for (const std::string& nickname : nicknames) {
    const long recipient = GetUserID(nickname);
    if (recipient >= 0) {
      found.push_back(recipient);
    } else {
      missing.push_back(nickname);
    }
  }
  const std::uint64_t serial = Record(index).Serial;
  if (!missing.empty()) {
    SendCommand(index, "clientPluginResponse", std::string("usernotfound") + kNul + header[0] + kNul + JoinFields(missing, "\x01"));
  }
  if (!SameConnection(index, serial)) return false;
  if (found.empty()) return true;
  header[2] = Record(index).Nickname;
  const std::string relayed =
      JoinFields(header, "\r\n") + (firstNul == std::string::npos ? std::string() : payload.substr(firstNul));
  SendCommandToEach(found, "clientPluginData", relayed);
  return true;
}

bool clsServer::HandlePluginResponse(long index, const std::string& payload) {
  std::vector<std::string> fields = PayloadFields(payload, 3);
  if (!fields[2].empty()) {
    const long recipient = GetUserID(fields[2]);
    if (recipient < 0) return true;
    fields[2] = Record(index).Nickname;
    SendCommand(recipient, "clientPluginResponse", JoinFields(fields));
    return true;
  }
  CallServerPlugin(fields[1], "ClientPluginResponse", Record(index).Nickname, fields[0]);
  return true;
}

bool clsServer::HandleServerPluginData(long index, const std::string& payload) {
  const std::size_t firstNul = payload.find(kNul);
  std::vector<std::string> header = Split(payload.substr(0, firstNul), "\r\n");
  if (header.size() < 2) header.resize(2);
  const std::string data = firstNul == std::string::npos ? std::string() : payload.substr(firstNul + 1);
  const std::uint64_t serial = Record(index).Serial;
  if (!CallServerPlugin(header[0], "DataFromClient", header[1] + kNul + Record(index).Nickname, data)) {
    log_.Log(LogMessageType::ErrorRaised, {{"%id", std::to_string(index)}, {"%nr", "5"},
                                           {"%description", "No plugin is registered as " + header[0]},
                                           {"%source", "frmServer.serverPluginData"}});
    if (SameConnection(index, serial)) {
      SendCommand(index, "serverPluginResponse", std::string("pluginnotfound") + kNul + header[0]);
    }
  }
  return SameConnection(index, serial);
}

bool clsServer::HandleCommand(long index, const std::string& payload) {
  const std::vector<std::string> fields = PayloadFields(payload, 2);
  const std::uint64_t serial = Record(index).Serial;
  const bool handled = events_.ServerCommand(fields[0] + kNul + Record(index).Nickname, fields[1]);
  if (!SameConnection(index, serial)) return false;
  if (!handled) {
    SendCommand(index, "message",
                std::string("server") + kNul + ReplaceAll(language_.data("msgUnknownServerCommand"), "%cmd", fields[0]));
  }
  return true;
}

bool clsServer::HandleFindPerson(long index, const std::string& payload) {
  const std::string search = payload.substr(0, payload.find(kNul));
  std::string result;
  if (!search.empty()) {
    const std::string wanted = LowerCase(CleanText(search, 40));
    for (long other = 1; other <= MaxIndex(); ++other) {
      if (!InUse(other)) continue;
      const velmorin::Connection& record = Connection(other);
      if (record.Nickname.empty()) continue;
      if (LowerCase(record.Nickname).find(wanted) == std::string::npos) continue;
      result += record.Nickname + '\x01' + chatrooms_->name(record.ChatroomID) + '\x01' + BoolText(record.Away) + "\r\n";
    }
    if (!result.empty()) result.resize(result.size() - 2);
  }
  SendCommand(index, "searchResult", result);
  return true;
}

bool clsServer::HandleGetAwayMessage(long index, const std::string& payload) {
  const long recipient = GetUserID(payload);
  if (recipient >= 0) SendCommand(recipient, "getAwayMessage", Record(index).Nickname);
  return true;
}

}  // namespace velmorin
