#pragma once
// The commands of a logged-in client besides chat and rooms: file-transfer set-up, away
// messages, encryption negotiation, plugin relays, server commands and the user search. Each
// handler returns whether the reader goes on with the connection's next packet.

#include <memory>
#include <string>

#include "chat/ConnectionTable.hpp"
#include "chat/RoomTable.hpp"
#include "i18n/LanguageFile.hpp"
#include "logging/LogWriter.hpp"
#include "plugins/PluginEvents.hpp"
#include "plugins/PluginRegistry.hpp"

namespace velmorin {

class AuxiliaryCommands {
 public:
  struct Parts {
    ConnectionTable& table;
    const std::unique_ptr<RoomTable>& rooms;
    LogWriter& log;
    PluginEvents& events;
    const PluginObjects& plugins;  // the running general plugins
    const LanguageFile& language;
  };
  explicit AuxiliaryCommands(const Parts& parts);

  bool HandleFileRequest(long index, const std::string& payload);
  bool HandleAcceptFiles(long index, const std::string& payload);
  bool HandleAbortFiletransfer(long index, const std::string& payload);
  bool HandleAwayMessage(long index, const std::string& payload);
  bool HandleGetAwayMessage(long index, const std::string& payload);
  bool HandleGetEncryptionlist(long index, const std::string& payload);
  bool HandleSetEncryption(long index, const std::string& payload);
  bool HandleEncryptionkey(long index, const std::string& payload);
  bool HandleAcceptEncryptionkey(long index, const std::string& payload);
  bool HandleClientPluginData(long index, const std::string& payload);
  bool HandlePluginResponse(long index, const std::string& payload);
  bool HandleServerPluginData(long index, const std::string& payload);
  bool HandleCommand(long index, const std::string& payload);
  bool HandleFindPerson(long index, const std::string& payload);

 private:
  // Payload: a nickname, NUL, a text. The named user (if any) gets `command` with the sender's
  // nickname, NUL, the text.
  void RelayUnderSender(long index, const std::string& payload, const char* command);
  // Whether the running plugin with that identity took the call.
  bool CallServerPlugin(const std::string& ident, const std::string& event, const std::string& first,
                        const std::string& second) {
    return plugins_.Call(ident, event, first, second).has_value();
  }

  ConnectionTable& table_;
  const std::unique_ptr<RoomTable>& rooms_;
  LogWriter& log_;
  PluginEvents& events_;
  const PluginObjects& plugins_;
  const LanguageFile& language_;
};

}  // namespace velmorin
