#include "admin/StoreRefusal.hpp"

#include "config/StoreSnapshot.hpp"
#include "server/ChatServer.hpp"

namespace velmorin {

AdminResult RefuseStore(ChatServer& server, const std::string& file, int error, const std::string& writeFailedNotice) {
  const std::string text = SaveFailureText(server.Language(), file, error);
  server.Log().WriteLogLine(text + "\r\n", 255);
  return AdminResult::Refused(error == kFileChangedOnDisk ? "msgChangedOnDisk" : writeFailedNotice, text);
}

}  // namespace velmorin
