#pragma once
// The audit trail of the administration: one log line for every administrator action, saying
// where it came from (the window, velmorin-ctl with the peer's user, a signal), what it
// changed (the command's words, with every password masked) and how it ended (done, or refused
// and why). Reading commands (list, get, status, ...) leave no line.
//
//   audit.Record(audit.FromControl(uid), AuditedWords(words), result)
//   audit.RecordStop(audit.StopBySignal(SIGTERM, pid, uid))
//
// The lines are written whatever the settings show of the log's message types: an audit trail
// that an administrator could switch off from the window would prove nothing. Values are cut as
// client values are, and the log writer escapes control characters, so a say text cannot forge
// a line. A plugin's administration commands are audited where they are run
// (server/PluginCommandAudit), in the same form.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "admin/AdminResult.hpp"

namespace velmorin {

class ChatServer;

class AdminAudit {
 public:
  explicit AdminAudit(ChatServer& server) : server_(server) {}

  // Where an action came from, as the line names it.
  std::string FromControl(std::optional<uid_t> peerUser) const;
  std::string FromWindow() const;
  std::string FromSignal(int signal) const;

  // The server is stopping, and why.
  std::string StopBySignal(int signal, pid_t sender, uid_t senderUser) const;
  std::string StopByWindow() const;

  void Record(const std::string& origin, const std::string& action, const AdminResult& outcome);
  // Records an action of the window and hands its result on, for a call site to stay one line.
  AdminResult RecordWindow(const std::string& action, AdminResult outcome);
  void RecordStop(const std::string& cause);

 private:
  std::string Text(const char* key) const;

  ChatServer& server_;
};

// The words as the audit line shows them: the word after every word that names a password
// ("--password", a settings key such as "Chatrooms.Password") is replaced with "***", so a room
// password typed on the command line never reaches the log. (Account passwords come as secret
// input and are never part of the words.)
std::string AuditedWords(const std::vector<std::string>& words);

// Whether a control request changes something: everything but the reading commands.
bool ChangesSomething(const std::vector<std::string>& words);

// The user's name, or the number when the system knows no name for it.
std::string UserName(uid_t user);

}  // namespace velmorin
