// The sockets of the load generator: connecting, reading in batches, cutting packets out of
// the bytes by offset (and handing sealed ones to be opened), and writing each client's output
// once per loop pass (sealing the payloads of a client that agreed on encryption).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "LoadRun.hpp"

namespace velmorin::load {
namespace {

constexpr int kMaxEvents = 512;
// Bounds the time between checks of timeouts and the deadline when nothing happens.
constexpr std::int64_t kMaxPollNs = 50'000'000;
// A client whose reads keep filling the buffer yields to the others after this many.
constexpr int kReadsPerEvent = 4;

}  // namespace

std::int64_t NowNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

bool LoadRun::RunUntil(const std::function<bool()>& done, std::int64_t limitNs) {
  // The phase may have work before anything arrives (first connects, first messages).
  Tick(NowNs());
  FlushQueued();
  for (;;) {
    if (done()) return true;
    const std::int64_t now = NowNs();
    if (now >= deadlineNs_) {
      deadlineHit_ = true;
      return false;
    }
    if (now >= limitNs) return false;
    PollOnce(std::min(limitNs, deadlineNs_));
  }
}

void LoadRun::PollOnce(std::int64_t untilNs) {
  std::int64_t now = NowNs();
  std::int64_t wakeNs = std::min(untilNs, now + kMaxPollNs);
  if (phase_ == Phase::Messages && sendIntervalNs_ > 0) {
    // Only senders that may send now: one held by its window wakes on deliveries instead.
    for (std::uint32_t s = 0; s < nextDueNs_.size(); ++s)
      if (traffic_->MaySend(s)) wakeNs = std::min(wakeNs, nextDueNs_[s]);
  }
  // A nanosecond timeout: with whole milliseconds an open-loop sender would leave up to 1 ms
  // late, and that would show up as latency.
  const std::int64_t waitNs = wakeNs > now ? wakeNs - now : 0;
  const timespec timeout{static_cast<time_t>(waitNs / 1'000'000'000), static_cast<long>(waitNs % 1'000'000'000)};

  epoll_event events[kMaxEvents];
  const int count = epoll_pwait2(epoll_, events, kMaxEvents, &timeout, nullptr);
  for (int i = 0; i < count; ++i) OnEvents(clients_[events[i].data.u32], events[i].events);
  now = NowNs();
  Tick(now);
  FlushQueued();
}

void LoadRun::StartConnect(Client& client, std::int64_t nowNs) {
  client.connectStartNs = nowNs;
  client.state = ClientState::Connecting;  // from here on a failure counts as a failed login
  client.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (client.fd < 0) {
    Fail(client, std::string("socket: ") + std::strerror(errno));
    return;
  }
  // The loop already gathers a pass's output per client; waiting for more only adds latency.
  const int one = 1;
  setsockopt(client.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(options_.port);
  address.sin_addr.s_addr = options_.address;
  if (connect(client.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
      errno != EINPROGRESS) {
    Fail(client, std::string("connect: ") + std::strerror(errno));
    return;
  }
  epoll_event event{};
  event.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP;  // writable = connect finished
  event.data.u32 = client.index;
  client.writeWatched = true;
  if (epoll_ctl(epoll_, EPOLL_CTL_ADD, client.fd, &event) != 0) {
    Fail(client, std::string("epoll_ctl: ") + std::strerror(errno));
  }
}

void LoadRun::OnEvents(Client& client, std::uint32_t events) {
  if (!client.Open()) return;
  if (client.state == ClientState::Connecting) {
    FinishConnect(client);
    if (client.state == ClientState::Connecting || !client.Open()) return;
  }
  if (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) ReadFrom(client);
  if (client.Open() && (events & EPOLLOUT) && client.writeWatched) Flush(client);
}

void LoadRun::FinishConnect(Client& client) {
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(client.fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
  if (error == EINPROGRESS) return;
  if (error != 0) {
    Fail(client, std::string("connect: ") + std::strerror(error));
    return;
  }
  client.state = ClientState::AwaitWelcome;
  WatchWrite(client, false);
}

void LoadRun::ReadFrom(Client& client) {
  for (int round = 0; round < kReadsPerEvent && client.Open(); ++round) {
    const ssize_t got = read(client.fd, readBuffer_.data(), readBuffer_.size());
    if (got > 0) {
      // One clock reading per read: every packet of the batch arrived at the same moment.
      Consume(client, readBuffer_.data(), static_cast<std::size_t>(got), NowNs());
      if (static_cast<std::size_t>(got) < readBuffer_.size()) return;
      continue;
    }
    if (got == 0) {
      OnConnectionLost(client, "closed by the server");
      return;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) OnConnectionLost(client, std::strerror(errno));
    return;
  }
}

void LoadRun::Consume(Client& client, const char* data, std::size_t size, std::int64_t nowNs) {
  if (client.in.empty()) {
    // Nothing carried over: parse straight from the read buffer and keep only the tail.
    const std::size_t used = ParsePackets(client, {data, size}, nowNs);
    if (!client.Open()) return;
    client.in.Append({data + used, size - used});
    return;
  }
  client.in.Append({data, size});
  const std::size_t used = ParsePackets(client, client.in.View(), nowNs);
  if (!client.Open()) return;
  client.in.Consume(used);
}

std::size_t LoadRun::ParsePackets(Client& client, std::string_view bytes, std::int64_t nowNs) {
  std::size_t offset = 0;
  PacketView packet;
  while (client.Open()) {
    switch (client.reader.Read(bytes.substr(offset), packet)) {
      case ReadResult::Packet:
        offset += packet.size;
        if (client.cipher.Sealing()) OnSealedPacket(client, packet.command, packet.payload, nowNs);
        else OnPacket(client, packet.command, packet.payload, nowNs);
        break;
      case ReadResult::NeedMore:
        return offset;
      case ReadResult::Invalid:
      case ReadResult::LengthError:
        Fail(client, "malformed packet from the server");
        return offset;
    }
  }
  return offset;
}

void LoadRun::Send(Client& client, std::string_view command, std::string_view payload) {
  if (!client.Open()) return;
  if (client.cipher.Sealing()) AppendPacket(client.out, command, client.cipher.Outgoing(payload));
  else AppendPacket(client.out, command, payload);
  QueueFlush(client);
}

void LoadRun::QueueFlush(Client& client) {
  if (client.flushQueued) return;
  client.flushQueued = true;
  flushQueue_.push_back(&client);
}

void LoadRun::FlushQueued() {
  // Index loop: a flush that fails closes the client but never queues another.
  for (std::size_t i = 0; i < flushQueue_.size(); ++i) {
    Client& client = *flushQueue_[i];
    client.flushQueued = false;
    if (client.Open() && !client.writeWatched) Flush(client);
  }
  flushQueue_.clear();
}

void LoadRun::Flush(Client& client) {
  while (!client.out.empty()) {
    const ssize_t sent = send(client.fd, client.out.data(), client.out.size(), MSG_NOSIGNAL);
    if (sent > 0) {
      client.out.Consume(static_cast<std::size_t>(sent));
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      WatchWrite(client, true);
      return;
    }
    OnConnectionLost(client, std::string("send: ") + std::strerror(errno));
    return;
  }
  if (client.writeWatched) WatchWrite(client, false);
}

void LoadRun::WatchWrite(Client& client, bool watch) {
  epoll_event event{};
  event.events = EPOLLIN | EPOLLRDHUP | (watch ? EPOLLOUT : 0u);
  event.data.u32 = client.index;
  epoll_ctl(epoll_, EPOLL_CTL_MOD, client.fd, &event);
  client.writeWatched = watch;
}

void LoadRun::CloseSocket(Client& client, ClientState state) {
  if (client.Open()) {
    epoll_ctl(epoll_, EPOLL_CTL_DEL, client.fd, nullptr);
    close(client.fd);
    client.fd = -1;
  }
  client.state = state;
  client.in.Release();
  client.reader.Reset();
  client.out.Clear();
  client.writeWatched = false;
  // The key material is wiped as it goes.
  client.ownKeys.reset();
  client.cipher.Stop();
}

void LoadRun::OnConnectionLost(Client& client, const std::string& why) {
  if (client.state == ClientState::Quitting) {
    CloseSocket(client, ClientState::Closed);
    return;
  }
  Fail(client, why);
}

}  // namespace velmorin::load
