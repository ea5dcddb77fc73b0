#include "net/ControlSocket.hpp"

#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace velmorin {
namespace {

constexpr std::size_t kReadChunk = 16 * 1024;
// Reads per readiness event, so one busy client cannot hold the loop.
constexpr int kReadsPerEvent = 4;
constexpr int kAcceptsPerEvent = 32;
constexpr int kBacklog = 16;
// The time-outs are checked four times per time-out (a connection goes at most a quarter of it
// late), and not more often than this.
constexpr std::chrono::milliseconds kMinSweepInterval{10};

}  // namespace

ControlSocket::ControlSocket(EventLoop& loop, Handler& handler, Limits limits)
    : loop_(loop), handler_(handler), limits_(limits), self_(std::make_shared<ControlSocket*>(this)) {}

ControlSocket::~ControlSocket() { Close(); }

int ControlSocket::Listen(const std::string& path, std::string busyLine, std::optional<gid_t> group) {
  Close();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return ENAMETOOLONG;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

  struct stat status{};
  if (::lstat(path.c_str(), &status) == 0) {
    // Only a socket of ours is ours to replace; anything else there (a link too) was put by
    // someone else and is left as it is.
    if (!S_ISSOCK(status.st_mode)) return EEXIST;
    if (status.st_uid != ::geteuid()) return EPERM;
    if (::unlink(path.c_str()) != 0) return errno;
  }
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return errno;
  int error = 0;
  // chown and chmod follow a link, but only this user can write the run directory, so the path is
  // still the socket just bound.
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    error = errno;
  } else if ((group && ::chown(path.c_str(), static_cast<uid_t>(-1), *group) != 0) ||
             ::chmod(path.c_str(), group ? 0660 : 0600) != 0 || ::listen(fd, kBacklog) != 0) {
    error = errno;
    ::unlink(path.c_str());
  }
  if (error != 0) {
    ::close(fd);
    return error;
  }
  listenWatch_ = loop_.Watch(fd, true, false, [this](std::uint32_t) { AcceptAll(); });
  if (listenWatch_ == 0) {
    error = errno;
    ::close(fd);
    ::unlink(path.c_str());
    return error;
  }
  listenFd_ = fd;
  path_ = path;
  busyLine_ = std::move(busyLine);
  return 0;
}

void ControlSocket::Close() {
  std::vector<ConnectionId> ids;
  ids.reserve(connections_.size());
  for (const auto& [id, connection] : connections_) ids.push_back(id);
  for (const ConnectionId id : ids) Drop(id);
  if (listenFd_ < 0) return;
  loop_.Unwatch(listenWatch_);
  ::close(listenFd_);
  listenFd_ = -1;
  listenWatch_ = 0;
  ::unlink(path_.c_str());
  path_.clear();
}

ControlSocket::Connection* ControlSocket::Find(ConnectionId id) {
  const auto found = connections_.find(id);
  return found == connections_.end() ? nullptr : &found->second;
}

std::size_t ControlSocket::Unsent(ConnectionId id) const {
  const auto found = connections_.find(id);
  return found == connections_.end() ? 0 : found->second.output.size();
}

std::optional<uid_t> ControlSocket::PeerUser(ConnectionId id) const {
  const auto found = connections_.find(id);
  return found == connections_.end() ? std::nullopt : found->second.peerUser;
}

void ControlSocket::AcceptAll() {
  for (int i = 0; i < kAcceptsPerEvent; ++i) {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;  // EAGAIN, or an error of this one attempt; the next event tries again
    if (connections_.size() >= limits_.maxConnections) {
      if (!busyLine_.empty()) (void)!::send(fd, busyLine_.data(), busyLine_.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
      ::close(fd);
      continue;
    }
    const ConnectionId id = nextId_++;
    const EventLoop::WatchId watch = loop_.Watch(fd, true, false, [this, id](std::uint32_t events) { OnEvents(id, events); });
    if (watch == 0) {
      ::close(fd);
      continue;
    }
    Connection& connection = connections_[id];
    connection.fd = fd;
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 && length == sizeof credentials) {
      connection.peerUser = credentials.uid;
    }
    connection.watch = watch;
    connection.lastRequest = Clock::now();
    StartSweep();
    handler_.OnOpened(id);
  }
}

void ControlSocket::OnEvents(ConnectionId id, std::uint32_t events) {
  Connection* connection = Find(id);
  if (connection == nullptr) return;
  if (connection->closing && (events & (EPOLLHUP | EPOLLERR)) != 0) {
    Drop(id);
    return;
  }
  if ((events & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0 && !connection->closing) ReadFrom(id);
  if ((events & EPOLLOUT) != 0 && Find(id) != nullptr) Flush(id);
}

void ControlSocket::ReadFrom(ConnectionId id) {
  char buffer[kReadChunk];
  for (int i = 0; i < kReadsPerEvent; ++i) {
    Connection* connection = Find(id);
    if (connection == nullptr || connection->closing) return;
    const ssize_t size = ::recv(connection->fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (size < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (size < 0) {
      Drop(id);
      return;
    }
    if (size == 0) {
      // The client is done sending; what it asked for still goes out.
      CloseAfterSending(id);
      return;
    }
    connection->input.append(buffer, static_cast<std::size_t>(size));
    HandleLines(id);
  }
}

void ControlSocket::HandleLines(ConnectionId id) {
  // Lines are taken from `start` on and the buffer is cut once at the end, so many short lines
  // in one read cost one move of the rest, not one each. The connection (and its buffer) may go
  // while a line is handled; it is looked up again after each.
  std::size_t start = 0;
  for (;;) {
    Connection* connection = Find(id);
    if (connection == nullptr) return;
    std::string& input = connection->input;
    if (connection->closing) {
      input.clear();
      return;
    }
    const std::size_t end = input.find('\n', start);
    const std::size_t length = (end == std::string::npos ? input.size() : end) - start;
    if (length > limits_.maxRequestLine) {
      input.clear();
      input.shrink_to_fit();
      connection->closing = true;
      handler_.OnOversizedLine(id);
      CloseAfterSending(id);
      return;
    }
    if (end == std::string::npos) {
      input.erase(0, start);
      return;
    }
    std::string line = input.substr(start, end - start);
    start = end + 1;
    connection->lastRequest = Clock::now();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    handler_.OnLine(id, line);
  }
}

bool ControlSocket::Send(ConnectionId id, std::string_view bytes) {
  Connection* connection = Find(id);
  if (connection == nullptr || connection->dropping) return false;
  if (connection->output.size() + bytes.size() > limits_.maxUnsentOutput) {
    // A client that does not read its answers is not kept at the server's expense.
    connection->dropping = true;
    connection->output.clear();
    connection->output.shrink_to_fit();
    QueueFlush(id, *connection);
    return false;
  }
  if (connection->output.empty()) connection->lastOutputProgress = Clock::now();
  connection->output.append(bytes);
  QueueFlush(id, *connection);
  return true;
}

void ControlSocket::StopWaitingForRequests(ConnectionId id) {
  if (Connection* connection = Find(id)) connection->waitingForRequests = false;
}

void ControlSocket::CloseAfterSending(ConnectionId id) {
  Connection* connection = Find(id);
  if (connection == nullptr) return;
  connection->closing = true;
  QueueFlush(id, *connection);
}

void ControlSocket::QueueFlush(ConnectionId id, Connection& connection) {
  if (connection.flushQueued) return;
  connection.flushQueued = true;
  loop_.Defer([self = std::weak_ptr<ControlSocket*>(self_), id] {
    if (const auto socket = self.lock()) (*socket)->Flush(id);
  });
}

void ControlSocket::Flush(ConnectionId id) {
  Connection* connection = Find(id);
  if (connection == nullptr) return;
  connection->flushQueued = false;
  if (connection->dropping) {
    Drop(id);
    return;
  }
  std::size_t sent = 0;
  while (sent < connection->output.size()) {
    const ssize_t size = ::send(connection->fd, connection->output.data() + sent, connection->output.size() - sent,
                                MSG_DONTWAIT | MSG_NOSIGNAL);
    if (size < 0 && errno == EINTR) continue;
    if (size < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (size <= 0) {
      Drop(id);
      return;
    }
    sent += static_cast<std::size_t>(size);
  }
  if (sent > 0) connection->lastOutputProgress = Clock::now();
  connection->output.erase(0, sent);
  const bool pending = !connection->output.empty();
  if (!pending && connection->closing) {
    Drop(id);
    return;
  }
  loop_.SetInterest(connection->watch, !connection->closing, pending);
}

void ControlSocket::Drop(ConnectionId id) {
  const auto found = connections_.find(id);
  if (found == connections_.end()) return;
  loop_.Unwatch(found->second.watch);
  ::close(found->second.fd);
  connections_.erase(found);
  if (connections_.empty()) StopSweep();
  handler_.OnClosed(id);
}

void ControlSocket::StartSweep() {
  if (sweepTimer_ != 0) return;
  const auto interval = std::max(std::min(limits_.requestTimeout, limits_.stalledOutputTimeout) / 4, kMinSweepInterval);
  sweepTimer_ = loop_.StartTimer(interval, [this] { Sweep(); });
}

void ControlSocket::StopSweep() {
  if (sweepTimer_ == 0) return;
  loop_.StopTimer(sweepTimer_);
  sweepTimer_ = 0;
}

void ControlSocket::Sweep() {
  const Clock::time_point now = Clock::now();
  std::vector<ConnectionId> stalled, silent;
  for (const auto& [id, connection] : connections_) {
    if (!connection.output.empty() && now - connection.lastOutputProgress >= limits_.stalledOutputTimeout) {
      stalled.push_back(id);
    } else if (connection.waitingForRequests && !connection.closing &&
               now - connection.lastRequest >= limits_.requestTimeout) {
      silent.push_back(id);
    }
  }
  // A peer that takes nothing would not take a farewell either.
  for (const ConnectionId id : stalled) Drop(id);
  for (const ConnectionId id : silent) {
    Connection* connection = Find(id);
    if (connection == nullptr || connection->closing) continue;
    connection->closing = true;
    connection->input.clear();
    handler_.OnRequestTimeout(id);
    CloseAfterSending(id);
  }
}

}  // namespace velmorin
