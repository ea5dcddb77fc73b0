#include "admin/AdminAudit.hpp"

#include <pwd.h>
#include <signal.h>

#include <algorithm>
#include <array>
#include <string_view>

#include "i18n/LanguageFile.hpp"
#include "logging/LogWriter.hpp"
#include "platform/Text.hpp"
#include "server/ChatServer.hpp"

namespace velmorin {
namespace {

constexpr long kAuditColor = 0x800000;  // dark blue: the administrator's lines stand apart
constexpr std::string_view kMask = "***";

bool NamesPassword(std::string_view word) { return LowerCase(word).find("password") != std::string::npos; }

std::string SignalName(int signal) {
  switch (signal) {
    case SIGTERM: return "SIGTERM";
    case SIGINT: return "SIGINT";
    case SIGHUP: return "SIGHUP";
    case SIGQUIT: return "SIGQUIT";
    default: return "signal " + std::to_string(signal);
  }
}

// Whether the request only reads: a reading command, or a "list" or "get" of a subject.
bool IsReading(const std::vector<std::string>& words) {
  if (words.empty()) return true;
  static constexpr std::array<std::string_view, 6> kReadingCommands = {"status", "ips", "sysinfo", "users", "rooms", "log"};
  if (std::find(kReadingCommands.begin(), kReadingCommands.end(), words[0]) != kReadingCommands.end()) return true;
  return words.size() >= 2 && (words[1] == "list" || words[1] == "get");
}

}  // namespace

std::string UserName(uid_t user) {
  passwd entry{};
  passwd* found = nullptr;
  std::array<char, 4096> buffer{};
  if (getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr && found->pw_name != nullptr) {
    return found->pw_name;
  }
  return std::to_string(user);
}

std::string AuditedWords(const std::vector<std::string>& words) {
  std::string text;
  bool maskNext = false;
  for (const std::string& word : words) {
    if (!text.empty()) text += ' ';
    // A flag such as "account edit --password" takes no value: the next option is shown.
    if (maskNext && !word.starts_with("--")) {
      text += kMask;
      maskNext = false;
      continue;
    }
    text += word;
    maskNext = NamesPassword(word);
  }
  return text;
}

bool ChangesSomething(const std::vector<std::string>& words) { return !IsReading(words); }

std::string AdminAudit::Text(const char* key) const { return server_.Language().Data(key); }

std::string AdminAudit::FromControl(std::optional<uid_t> peerUser) const {
  if (!peerUser) return Text("auditFromControlUnknown");
  return FillPlaceholders(Text("auditFromControl"), {{"%user", UserName(*peerUser)}, {"%uid", std::to_string(*peerUser)}});
}

std::string AdminAudit::FromWindow() const { return Text("auditFromWindow"); }

std::string AdminAudit::FromSignal(int signal) const {
  return FillPlaceholders(Text("auditFromSignal"), {{"%signal", SignalName(signal)}});
}

std::string AdminAudit::StopBySignal(int signal, pid_t sender, uid_t senderUser) const {
  return FillPlaceholders(Text("stopBySignal"), {{"%signal", SignalName(signal)},
                                                 {"%pid", std::to_string(sender)},
                                                 {"%user", UserName(senderUser)},
                                                 {"%uid", std::to_string(senderUser)}});
}

std::string AdminAudit::StopByWindow() const { return Text("stopByWindow"); }

void AdminAudit::Record(const std::string& origin, const std::string& action, const AdminResult& outcome) {
  const char* key = !outcome.done ? "msgAuditRefused" : outcome.message.empty() ? "msgAuditDone" : "msgAuditDoneSaying";
  // A refusal without a text of its own is named by its notice.
  const std::string& message = !outcome.done && outcome.message.empty() ? outcome.notice : outcome.message;
  const std::string line = FillPlaceholders(
      Text(key), {{"%origin", origin}, {"%action", action}, {"%message", message}}, kMaxLogValueLength);
  server_.Log().WriteLogLine(line + "\r\n", kAuditColor);
}

AdminResult AdminAudit::RecordWindow(const std::string& action, AdminResult outcome) {
  Record(FromWindow(), action, outcome);
  return outcome;
}

void AdminAudit::RecordStop(const std::string& cause) {
  server_.Log().WriteLogLine(FillPlaceholders(Text("msgStopping"), {{"%cause", cause}}) + "\r\n", kAuditColor);
}

}  // namespace velmorin
