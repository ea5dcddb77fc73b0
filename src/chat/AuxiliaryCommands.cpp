// File-transfer set-up, away messages, encryption negotiation, plugin relays, server commands
// and the user search of a logged-in client.

#include "chat/AuxiliaryCommands.hpp"

#include <stdexcept>

#include "codec/FieldCipher.hpp"
#include "codec/PayloadFields.hpp"
#include "codec/Sha256.hpp"
#include "config/TextFilters.hpp"
#include "platform/Text.hpp"

namespace velmorin {
AuxiliaryCommands::AuxiliaryCommands(const Parts& parts)
    : table_(parts.table),
      rooms_(parts.rooms),
      log_(parts.log),
      events_(parts.events),
      plugins_(parts.plugins),
      language_(parts.language) {}

bool AuxiliaryCommands::HandleAwayMessage(long index, const std::string& payload) {
  RelayUnderSender(index, payload, "awaymessage");
  return true;
}

void AuxiliaryCommands::RelayUnderSender(long index, const std::string& payload, const char* command) {
  const std::vector<std::string> fields = PayloadFields(payload, 2);
  const long recipient = table_.GetUserID(fields[0]);
  if (recipient >= 0) table_.SendCommand(recipient, command, table_.At(index).nickname + kFieldSeparator + fields[1]);
}

bool AuxiliaryCommands::HandleFileRequest(long index, const std::string& payload) {
  std::vector<std::string> fields = PayloadFields(payload, 0);
  if (fields.size() < 7) throw std::runtime_error("fileRequest with fewer than seven fields");
  const long recipient = table_.GetUserID(fields[0]);
  if (recipient < 0) {
    table_.SendCommand(index, "acceptFiles", fields[0] + kFieldSeparator + "userNotFound");
    return true;
  }
  const std::string address = table_.Socket(index) != nullptr ? table_.Socket(index)->RemoteHostIP() : std::string();
  if (address != "127.0.0.1" && fields[1].find(address) == std::string::npos) {
    fields[1] = address + "\r\n" + fields[1];
  }
  fields.resize(7);
  fields[0] = table_.At(index).nickname;
  table_.SendCommand(recipient, "fileRequest", JoinFields(fields));
  return true;
}

bool AuxiliaryCommands::HandleAcceptFiles(long index, const std::string& payload) {
  RelayUnderSender(index, payload, "acceptFiles");
  return true;
}

bool AuxiliaryCommands::HandleAbortFiletransfer(long index, const std::string& payload) {
  const std::vector<std::string> fields = PayloadFields(payload, 3);
  const long recipient = table_.GetUserID(fields[0]);
  if (recipient >= 0) {
    table_.SendCommand(recipient, "abortFiletransfer", table_.At(index).nickname + kFieldSeparator + fields[1] + kFieldSeparator + fields[2]);
  }
  return true;
}

bool AuxiliaryCommands::HandleGetEncryptionlist(long index, const std::string&) {
  table_.SendCommand(index, "encryptionlist", table_.Ciphers().OfferedList());
  return true;
}

bool AuxiliaryCommands::HandleSetEncryption(long index, const std::string& payload) {
  const long plugin = table_.Ciphers().Find(payload);
  if (plugin < 0) {
    table_.SendCommand(index, "acceptEncryption", "failed");
    return true;
  }
  if (table_.At(index).encryptionIndex != plugin) table_.ForgetEncryption(index);
  table_.At(index).encryptionIndex = plugin;
  table_.SendCommand(index, "acceptEncryption", std::string("ok") + kFieldSeparator + payload);
  return true;
}

bool AuxiliaryCommands::HandleEncryptionkey(long index, const std::string& payload) {
  const std::size_t split = payload.find("\r\n");
  const std::string enciphered = payload.substr(0, split);
  const std::string check = split == std::string::npos ? std::string() : payload.substr(split + 2);
  const std::string key = DecryptField(enciphered, table_.At(index).sessionKey);
  const std::uint64_t serial = table_.At(index).serial;
  const auto refuse = [&] {
    if (!table_.SameConnection(index, serial)) return false;
    table_.ForgetEncryption(index);
    table_.SendCommand(index, "encryptionkey", "\r\n\r\nbadCRC");
    return true;
  };
  if (key.empty() || check != SHA256Hex(key + table_.At(index).loginKey)) {
    log_.Log(LogMessageType::ErrorCRC, {{"%id", std::to_string(index)}, {"%cmd", "encryptionkey"}});
    return refuse();
  }
  // Without a chosen plugin, or when the plugin refuses the key, there is no key to answer
  // with: the client hears "badCRC" rather than an empty key announced as "ok".
  const std::optional<std::string> pluginKey = table_.ExchangeEncryptionKey(index, key);
  if (!table_.SameConnection(index, serial)) return false;
  if (!pluginKey.has_value()) {
    log_.Log(LogMessageType::ErrorRaised, {{"%id", std::to_string(index)}, {"%nr", "5"},
                                           {"%description", "No encryption plugin took the key"},
                                           {"%source", "frmServer.encryptionkey"}});
    return refuse();
  }
  const std::string& sessionKey = table_.At(index).sessionKey;
  const std::string& loginKey = table_.At(index).loginKey;
  table_.SendCommand(index, "encryptionkey",
                     EncryptField(*pluginKey, sessionKey) + "\r\n" + SHA256Hex(*pluginKey + loginKey) + "\r\nok");
  return true;
}

bool AuxiliaryCommands::HandleAcceptEncryptionkey(long index, const std::string& payload) {
  if (payload == "ok") {
    if (table_.At(index).encryptionIndex != -1) table_.At(index).encryptionActive = true;
  } else if (payload == "badCRC") {
    table_.ForgetEncryption(index);
    log_.Log(LogMessageType::ErrorCRC, {{"%id", std::to_string(index)}, {"%cmd", "acceptEncryptionkey"}});
  }
  return true;
}

bool AuxiliaryCommands::HandleClientPluginData(long index, const std::string& payload) {
  const std::size_t firstNul = payload.find(kFieldSeparator);
  std::vector<std::string> header = Split(payload.substr(0, firstNul), "\r\n");
  if (header.size() < 3) header.resize(3);
  std::vector<long> found;
  std::vector<std::string> missing;
  // An empty list names nobody (rather than one empty nickname).
  const std::vector<std::string> nicknames = header[2].empty() ? std::vector<std::string>{} : Split(header[2], "\x01");
  for (const std::string& nickname : nicknames) {
    const long recipient = table_.GetUserID(nickname);
    if (recipient >= 0) {
      found.push_back(recipient);
    } else {
      missing.push_back(nickname);
    }
  }
  const std::uint64_t serial = table_.At(index).serial;
  if (!missing.empty()) {
    table_.SendCommand(index, "clientPluginResponse",
                       std::string("usernotfound") + kFieldSeparator + header[0] + kFieldSeparator + JoinFields(missing, "\x01"));
  }
  if (!table_.SameConnection(index, serial)) return false;
  if (found.empty()) return true;
  header[2] = table_.At(index).nickname;
  const std::string relayed =
      JoinFields(header, "\r\n") + (firstNul == std::string::npos ? std::string() : payload.substr(firstNul));
  table_.SendCommandToEach(found, "clientPluginData", relayed);
  return true;
}

bool AuxiliaryCommands::HandlePluginResponse(long index, const std::string& payload) {
  std::vector<std::string> fields = PayloadFields(payload, 3);
  if (!fields[2].empty()) {
    const long recipient = table_.GetUserID(fields[2]);
    if (recipient < 0) return true;
    fields[2] = table_.At(index).nickname;
    table_.SendCommand(recipient, "clientPluginResponse", JoinFields(fields));
    return true;
  }
  CallServerPlugin(fields[1], "ClientPluginResponse", table_.At(index).nickname, fields[0]);
  return true;
}

bool AuxiliaryCommands::HandleServerPluginData(long index, const std::string& payload) {
  const std::size_t firstNul = payload.find(kFieldSeparator);
  std::vector<std::string> header = Split(payload.substr(0, firstNul), "\r\n");
  if (header.size() < 2) header.resize(2);
  const std::string data = firstNul == std::string::npos ? std::string() : payload.substr(firstNul + 1);
  const std::uint64_t serial = table_.At(index).serial;
  if (!CallServerPlugin(header[0], "DataFromClient", header[1] + kFieldSeparator + table_.At(index).nickname, data)) {
    log_.Log(LogMessageType::ErrorRaised, {{"%id", std::to_string(index)}, {"%nr", "5"},
                                           {"%description", "No plugin is registered as " + header[0]},
                                           {"%source", "frmServer.serverPluginData"}});
    if (table_.SameConnection(index, serial)) {
      table_.SendCommand(index, "serverPluginResponse", std::string("pluginnotfound") + kFieldSeparator + header[0]);
    }
  }
  return table_.SameConnection(index, serial);
}

bool AuxiliaryCommands::HandleCommand(long index, const std::string& payload) {
  const std::vector<std::string> fields = PayloadFields(payload, 2);
  const std::uint64_t serial = table_.At(index).serial;
  const bool handled = events_.ServerCommand(fields[0] + kFieldSeparator + table_.At(index).nickname, fields[1]);
  if (!table_.SameConnection(index, serial)) return false;
  if (!handled) {
    table_.SendCommand(index, "message",
                       std::string("server") + kFieldSeparator +
                           ReplaceAll(language_.Data("msgUnknownServerCommand"), "%cmd", fields[0]));
  }
  return true;
}

bool AuxiliaryCommands::HandleFindPerson(long index, const std::string& payload) {
  const std::string search = payload.substr(0, payload.find(kFieldSeparator));
  std::string result;
  if (!search.empty()) {
    const std::string wanted = LowerCase(CleanText(search, 40));
    for (long other = 1; other <= table_.MaxIndex(); ++other) {
      if (!table_.InUse(other)) continue;
      const Connection& record = table_.At(other);
      if (record.nickname.empty()) continue;
      if (LowerCase(record.nickname).find(wanted) == std::string::npos) continue;
      result += record.nickname + '\x01' + rooms_->Name(record.chatroomId) + '\x01' + BoolText(record.away) + "\r\n";
    }
    if (!result.empty()) result.resize(result.size() - 2);
  }
  table_.SendCommand(index, "searchResult", result);
  return true;
}

bool AuxiliaryCommands::HandleGetAwayMessage(long index, const std::string& payload) {
  const long recipient = table_.GetUserID(payload);
  if (recipient >= 0) table_.SendCommand(recipient, "getAwayMessage", table_.At(index).nickname);
  return true;
}

}  // namespace velmorin
