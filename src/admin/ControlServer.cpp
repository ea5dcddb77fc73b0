#include "admin/ControlServer.hpp"

#include <algorithm>
#include <exception>
#include <optional>
#include <utility>

#include "admin/ControlProtocol.hpp"
#include "admin/FieldCheck.hpp"

namespace velmorin {
namespace {

constexpr const char* kFollowUsage = "usage: log follow [--lines N]";

// N of "--lines N": digits only; more than the backlog keeps gives what it keeps.
std::optional<std::size_t> BacklogCount(const std::vector<std::string>& words) {
  if (words.size() == 2) return 0;
  if (words.size() != 4 || words[2] != "--lines") return std::nullopt;
  const std::string& count = words[3];
  if (count.empty() || count.size() > 9 || count.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  return std::min<std::size_t>(std::stoul(count), LogBacklog::kMaxLines);
}

// Followers never end by themselves, so they get only half of the slots: the other half stays
// free for requests, which end or time out.
std::size_t MaxFollowers(const ControlSocket::Limits& limits) { return std::max<std::size_t>(1, limits.maxConnections / 2); }

}  // namespace

ControlServer::ControlServer(EventLoop& loop, const ControlRegistry& registry, LogFeed& feed, std::string version,
                             ControlSocket::Limits limits)
    : registry_(registry), feed_(feed), version_(std::move(version)), socket_(loop, *this, limits) {}

ControlServer::~ControlServer() { Close(); }

int ControlServer::Open(const std::string& path, std::optional<gid_t> adminGroup) {
  return socket_.Listen(path, ErrorJson("too many control connections; try again later"), adminGroup);
}

void ControlServer::Close() { socket_.Close(); }

void ControlServer::OnOpened(ControlSocket::ConnectionId connection) {
  socket_.Send(connection, GreetingJson(version_));
}

void ControlServer::OnLine(ControlSocket::ConnectionId connection, std::string_view line) {
  // A following connection only listens; what it sends is not a request any more.
  if (followers_.contains(connection)) return;
  std::string error;
  const std::optional<ControlLine> request = ParseControlRequest(line, &error);
  if (!request) {
    socket_.Send(connection, ErrorJson(error));
    return;
  }
  ControlReply reply;
  // A value the server would store with '?' in place of what was typed is refused whole, before
  // any command sees it: a password "секрет" must not become "??????".
  if (auto refused = CheckCarried("command", request->uncarriedInWords)) {
    reply = ControlReply::From(*refused);
  } else if (auto refusedInput = CheckCarried("password (secret input)", request->uncarriedInInput)) {
    reply = ControlReply::From(*refusedInput);
  } else if (!request->words.empty() && request->words.front() == "log") {
    reply = Follow(connection, request->words);
    socket_.Send(connection, ReplyJson(reply, request->version));
    SendBacklog(connection);
    return;
  } else {
    // A handler's fault must not end the server or leave the client without an answer.
    try {
      reply = registry_.Run(request->words, request->input);
    } catch (const std::exception& fault) {
      const std::string failed = std::string("the command failed: ") + fault.what();
      Audit(connection, request->words, ControlReply::From(AdminResult::Refused("error", failed)));
      socket_.Send(connection, ErrorJson(failed));
      return;
    }
  }
  if (!request->words.empty() && request->words.front() != "log") Audit(connection, request->words, reply);
  socket_.Send(connection, ReplyJson(reply, request->version));
}

void ControlServer::Audit(ControlSocket::ConnectionId connection, const std::vector<std::string>& words,
                          const ControlReply& reply) {
  if (audit_) audit_(socket_.PeerUser(connection), words, reply);
}

ControlReply ControlServer::Follow(ControlSocket::ConnectionId connection, const std::vector<std::string>& words) {
  const std::optional<std::size_t> backlog = words.size() >= 2 && words[1] == "follow" ? BacklogCount(words) : std::nullopt;
  if (!backlog) return ControlReply::Usage(kFollowUsage);
  if (followers_.size() >= MaxFollowers(socket_.limits())) {
    return ControlReply::From(AdminResult::Refused(
        "tooManyFollowers", "the log is followed by " + std::to_string(followers_.size()) +
                                " connections already; close one of them first"));
  }
  socket_.StopWaitingForRequests(connection);
  Follower& follower = followers_[connection];
  follower.backlog = *backlog;
  follower.listener = feed_.Subscribe([this, connection](std::optional<LogMessageType> type, long color,
                                                         const std::string& line) {
    SendLogLine(connection, type, color, line);
  });
  return ControlReply::From(AdminResult::Done("following the log; close the connection to stop"));
}

void ControlServer::SendBacklog(ControlSocket::ConnectionId connection) {
  const auto found = followers_.find(connection);
  if (found == followers_.end() || found->second.backlog == 0) return;
  const std::size_t count = std::exchange(found->second.backlog, 0);
  // The lines as the follower would have got them, bounded by its output as those are.
  for (const LogBacklog::Line& line : feed_.Backlog().Last(count)) SendLogLine(connection, line.type, line.color, line.text);
}

void ControlServer::SendLogLine(ControlSocket::ConnectionId connection, std::optional<LogMessageType> type, long color,
                                const std::string& line) {
  const auto found = followers_.find(connection);
  if (found == followers_.end()) return;
  Follower& follower = found->second;
  // Half of the connection's output bound is for log lines; the rest keeps room for the
  // note on dropped lines.
  if (socket_.Unsent(connection) > socket_.limits().maxUnsentOutput / 2) {
    ++follower.dropped;
    return;
  }
  if (follower.dropped > 0) {
    socket_.Send(connection, DroppedLinesJson(follower.dropped));
    follower.dropped = 0;
  }
  const std::string_view name =
      type.has_value() && static_cast<std::size_t>(*type) < kLogMessageTypeCount
          ? kLogMessageTypeNames[static_cast<std::size_t>(*type)]
          : std::string_view();
  socket_.Send(connection, LogLineJson(name, color, line));
}

void ControlServer::OnOversizedLine(ControlSocket::ConnectionId connection) {
  socket_.Send(connection, ErrorJson("request line too long (at most " +
                                     std::to_string(socket_.limits().maxRequestLine) + " bytes); closing"));
}

void ControlServer::OnRequestTimeout(ControlSocket::ConnectionId connection) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(socket_.limits().requestTimeout).count();
  socket_.Send(connection, ErrorJson("no request within " + std::to_string(seconds) + " seconds; closing"));
}

void ControlServer::OnClosed(ControlSocket::ConnectionId connection) {
  const auto found = followers_.find(connection);
  if (found == followers_.end()) return;
  feed_.Unsubscribe(found->second.listener);
  followers_.erase(found);
}

}  // namespace velmorin
