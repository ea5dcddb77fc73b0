// The phases of a run and the reactions to the server's login and chatroom replies.

#include "LoadRun.hpp"

#include <sys/epoll.h>
#include <unistd.h>

#include <random>
#include <stdexcept>
#include <thread>

#include "client/ProcessStats.hpp"

namespace velmorin::load {
namespace {

constexpr std::int64_t kMillisecond = 1'000'000;
constexpr std::int64_t kSecond = 1'000'000'000;
// Big enough for many relayed messages per read, small enough to stay in cache.
constexpr std::size_t kReadBufferSize = 256 * 1024;
// "Quiet" means no packet but pings for this long; the room's join notices must have settled
// before the server's memory is read.
constexpr std::int64_t kQuietNs = 300 * kMillisecond;
constexpr std::int64_t kQuietLimitNs = 15 * kSecond;
// The server's CPU counter may not move for this long before connecting: a previous run's
// disconnections must not overlap this one.
constexpr std::int64_t kSettleNs = 400 * kMillisecond;
constexpr std::int64_t kSettleLimitNs = 15 * kSecond;
constexpr std::int64_t kQuitLimitNs = 3 * kSecond;

std::int64_t Seconds(double seconds) { return static_cast<std::int64_t>(seconds * 1e9); }

std::string Base36(std::uint32_t value, int digits) {
  std::string text(static_cast<std::size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, value /= 36) text[i] = "0123456789abcdefghijklmnopqrstuvwxyz"[value % 36];
  return text;
}

bool IsLoginKey(std::string_view key) {
  if (key.size() != 32) return false;
  for (char c : key)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  return true;
}

}  // namespace

LoadRun::LoadRun(Options options)
    : options_(std::move(options)), clients_(options_.clients), readBuffer_(kReadBufferSize) {
  epoll_ = epoll_create1(EPOLL_CLOEXEC);
  if (epoll_ < 0) throw std::runtime_error("epoll_create1 failed");
  runId_ = std::random_device{}() % (36 * 36 * 36);
  std::string prefix = "L";
  prefix += Base36(runId_, 3);
  prefix += '_';
  for (std::uint32_t i = 0; i < clients_.size(); ++i) {
    clients_[i].index = i;
    clients_[i].nickname = prefix + std::to_string(i);
  }
  flushQueue_.reserve(clients_.size());
  messageTimeoutNs_ = Seconds(options_.messageTimeoutSeconds);
  if (options_.encrypt && !channel::InitialiseCrypto())
    throw std::runtime_error("the system offers no randomness for the key pairs");
}

LoadRun::~LoadRun() {
  for (Client& client : clients_)
    if (client.Open()) close(client.fd);
  if (epoll_ >= 0) close(epoll_);
}

RunResult LoadRun::Run() {
  startNs_ = NowNs();
  deadlineNs_ = startNs_ + Seconds(options_.deadlineSeconds);
  SettleServer();
  if (options_.serverPid) result_.rssBeforeKb = client::ReadRssKb(options_.serverPid);
  ConnectAll();
  if (!deadlineHit_ && result_.loggedIn > 0) JoinAll();
  if (!deadlineHit_ && result_.joined > 0) WaitQuiet();
  if (!deadlineHit_ && result_.joined > 0) SendMessages();
  QuitAll();
  Finish();
  return result_;
}

void LoadRun::SettleServer() {
  if (!options_.serverPid) return;
  const std::int64_t limit = std::min(NowNs() + kSettleLimitNs, deadlineNs_);
  auto last = client::ReadCpuMicroseconds(options_.serverPid);
  std::int64_t stableSince = NowNs();
  while (last && NowNs() < limit) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto now = client::ReadCpuMicroseconds(options_.serverPid);
    if (now != last) {
      last = now;
      stableSince = NowNs();
    } else if (NowNs() - stableSince >= kSettleNs) {
      return;
    }
  }
}

void LoadRun::ConnectAll() {
  phase_ = Phase::Connect;
  const std::uint32_t total = static_cast<std::uint32_t>(clients_.size());
  RunUntil([&] { return nextToConnect_ == total && loginsInFlight_ == 0; },
           NowNs() + Seconds(options_.phaseLimitSeconds));
  for (Client& client : clients_) {
    if (client.state == ClientState::Idle) ++result_.loginFailures;  // never started
    else if (client.state == ClientState::Connecting || client.state == ClientState::AwaitWelcome ||
             client.state == ClientState::AwaitLogin || client.state == ClientState::AwaitEncryption ||
             client.state == ClientState::AwaitServerKey)
      Fail(client, deadlineHit_ ? "deadline while logging in" : "login timed out");
  }
  if (result_.loggedIn > 0) {
    result_.loginSeconds = static_cast<double>(lastLoginNs_ - firstConnectNs_) / 1e9;
    if (result_.loginSeconds > 0) result_.loginsPerSecond = result_.loggedIn / result_.loginSeconds;
    result_.loginP50Ns = loginTimes_.Percentile(0.5);
    result_.loginMaxNs = loginTimes_.Max();
  }
}

void LoadRun::JoinAll() {
  phase_ = Phase::Join;
  const std::int64_t start = NowNs();
  const std::int64_t limit = start + Seconds(options_.phaseLimitSeconds);
  // One client first: when the room is missing it creates it, and the others then simply
  // join instead of racing to create it.
  Client* first = nullptr;
  for (Client& client : clients_)
    if (client.state == ClientState::LoggedIn) {
      first = &client;
      break;
    }
  if (first == nullptr) return;
  ++joinsInFlight_;
  SendJoin(*first);
  RunUntil([&] { return joinsInFlight_ == 0; }, limit);
  for (Client& client : clients_) {
    if (client.state != ClientState::LoggedIn) continue;
    ++joinsInFlight_;
    SendJoin(client);
  }
  RunUntil([&] { return joinsInFlight_ == 0; }, limit);
  for (Client& client : clients_)
    if (client.state == ClientState::AwaitJoin || client.state == ClientState::AwaitCreate)
      Fail(client, deadlineHit_ ? "deadline while joining" : "join timed out");
  result_.joinSeconds = static_cast<double>(NowNs() - start) / 1e9;
}

void LoadRun::WaitQuiet() {
  phase_ = Phase::Quiet;
  RunUntil([&] { return NowNs() - lastTrafficNs_ >= kQuietNs; }, NowNs() + kQuietLimitNs);
  if (!options_.serverPid) return;
  result_.rssJoinedKb = client::ReadRssKb(options_.serverPid);
  if (result_.rssBeforeKb && result_.rssJoinedKb && result_.joined > 0) {
    result_.rssPerConnectionKb =
        (static_cast<double>(*result_.rssJoinedKb) - static_cast<double>(*result_.rssBeforeKb)) /
        result_.joined;
  }
}

void LoadRun::QuitAll() {
  phase_ = Phase::Quit;
  for (Client& client : clients_) {
    if (!client.Open()) continue;
    if (client.state == ClientState::Connecting) {
      CloseSocket(client, ClientState::Closed);
      continue;
    }
    Send(client, "quit", "loadgen done");
    client.state = ClientState::Quitting;
  }
  FlushQueued();
  if (!deadlineHit_) {
    RunUntil(
        [&] {
          for (const Client& client : clients_)
            if (client.Open()) return false;
          return true;
        },
        NowNs() + kQuitLimitNs);
  }
  for (Client& client : clients_) {
    if (!client.Open()) continue;
    if (!deadlineHit_) ++result_.quitUnanswered;
    CloseSocket(client, ClientState::Closed);
  }
}

void LoadRun::Finish() {
  const TrafficTotals& t = result_.traffic;
  const bool clean = result_.loginFailures == 0 && result_.loggedIn == options_.clients &&
                     result_.joined == options_.clients && result_.messagePhaseRan &&
                     result_.dropped == 0 && result_.wrongSender == 0 && result_.undecryptable == 0 &&
                     t.lost == 0 && t.extra == 0 && t.outOfOrder == 0 && t.timedOut == 0 && t.late == 0 &&
                     t.sent == static_cast<std::uint64_t>(options_.senders) * options_.messages;
  if (deadlineHit_) {
    result_.status = "deadline";
    result_.exitCode = 3;
  } else if (!clean) {
    result_.status = "lost-or-failed";
    result_.exitCode = 1;
  } else {
    result_.status = "ok";
    result_.exitCode = 0;
  }
}

void LoadRun::Tick(std::int64_t nowNs) {
  if (phase_ == Phase::Connect) {
    while (loginsInFlight_ < options_.concurrency && nextToConnect_ < clients_.size()) {
      if (firstConnectNs_ == 0) firstConnectNs_ = nowNs;
      ++loginsInFlight_;
      StartConnect(clients_[nextToConnect_++], nowNs);
    }
  } else if (phase_ == Phase::Messages) {
    TickMessages(nowNs);
  }
}

void LoadRun::Fail(Client& client, const std::string& why) {
  const ClientState was = client.state;
  CloseSocket(client, ClientState::Failed);
  if (result_.firstFailure.empty()) result_.firstFailure = client.nickname + ": " + why;
  switch (was) {
    case ClientState::Connecting:
    case ClientState::AwaitWelcome:
    case ClientState::AwaitLogin:
    case ClientState::AwaitEncryption:
    case ClientState::AwaitServerKey:
      ++result_.loginFailures;
      --loginsInFlight_;
      break;
    case ClientState::AwaitJoin:
    case ClientState::AwaitCreate:
      --joinsInFlight_;
      break;
    case ClientState::Joined:
      ++result_.dropped;
      if (traffic_) {
        traffic_->RemoveReceiver(client.index);
        if (client.sender >= 0) traffic_->StopSender(static_cast<std::uint32_t>(client.sender));
      }
      break;
    default:
      break;
  }
}

void LoadRun::OnPacket(Client& client, std::string_view command, std::string_view payload,
                       std::int64_t nowNs) {
  if (command == "message") {
    lastTrafficNs_ = nowNs;
    OnRoomMessage(client, payload, nowNs);
    return;
  }
  if (command == "ping") {
    // Pings come on the server's own schedule and say nothing about our traffic settling.
    Send(client, "pong", {});
    return;
  }
  lastTrafficNs_ = nowNs;
  if (command == "welcome") OnWelcome(client, payload);
  else if (command == "acceptUser") OnAcceptUser(client, payload, nowNs);
  else if (command == "acceptChatroom") OnAcceptChatroom(client, payload);
  else if (command == "acceptEncryption") OnAcceptEncryption(client, payload);
  else if (command == "encryptionkey") OnServerKey(client, payload, nowNs);
  // Join and leave notices, user lists and the rest need no answer.
}

void LoadRun::OnWelcome(Client& client, std::string_view payload) {
  if (client.state != ClientState::AwaitWelcome) return;
  std::string_view rest = payload;
  std::string_view lines[9];
  for (std::string_view& line : lines) line = TakeLine(rest);
  if (rest.empty()) {
    Fail(client, "welcome with fewer than 10 lines");
    return;
  }
  if (lines[1] != "ok") {
    Fail(client, "welcome says the server is " + std::string(lines[1]));
    return;
  }
  if (!IsLoginKey(lines[8])) {
    Fail(client, "welcome without a login key");
    return;
  }
  std::uint64_t maxText = 0;
  if (ParseUnsigned(lines[3], maxText)) result_.maxTextLength = maxText;
  if (options_.encrypt) client.loginKey = lines[8];

  // A guest: nickname, no password proof, colour 0 (black), client version, protocol version.
  std::string login = client.nickname;
  login.append(1, kFieldSeparator).append(1, kFieldSeparator).append("0").append(1, kFieldSeparator);
  login.append("loadgen").append(1, kFieldSeparator).append(kProtocolVersion);
  Send(client, "login", login);
  client.state = ClientState::AwaitLogin;
}

void LoadRun::OnAcceptUser(Client& client, std::string_view payload, std::int64_t nowNs) {
  if (client.state != ClientState::AwaitLogin) return;
  FieldCursor fields(payload);
  const std::string_view word = fields.Next();
  if (word != "ok" && word != "ok_nopwd") {
    Fail(client, "login refused: " + std::string(word));
    return;
  }
  client.nickname = std::string(fields.Rest());  // the server's cleaned form is what it relays
  if (options_.encrypt) {
    StartEncryption(client);  // counts as logged in once the payloads are sealed
    return;
  }
  CountLoggedIn(client, nowNs);
}

void LoadRun::CountLoggedIn(Client& client, std::int64_t nowNs) {
  client.state = ClientState::LoggedIn;
  client.loggedInNs = nowNs;
  --loginsInFlight_;
  ++result_.loggedIn;
  lastLoginNs_ = nowNs;
  loginTimes_.Add(static_cast<std::uint64_t>(nowNs - client.connectStartNs));
}

void LoadRun::SendJoin(Client& client) {
  std::string payload = options_.room;
  payload.append(1, kFieldSeparator);  // no password proof
  Send(client, "joinChatroom", payload);
  client.state = ClientState::AwaitJoin;
}

void LoadRun::OnAcceptChatroom(Client& client, std::string_view payload) {
  if (client.state != ClientState::AwaitJoin && client.state != ClientState::AwaitCreate) return;
  // The server switched before it read our join, so its answer comes sealed; one in clear means
  // the run would measure unencrypted traffic while it claims otherwise.
  if (options_.encrypt && !client.cipher.Confirmed()) {
    Fail(client, "the server answered the join in clear: its payloads are not sealed");
    return;
  }
  FieldCursor fields(payload);
  fields.Next();  // the room name, possibly cleaned by the server
  const std::string_view status = fields.Next();
  if (status == "ok" || status == "alreadyjoined") {
    if (client.state == ClientState::AwaitCreate) result_.roomCreated = true;
    client.state = ClientState::Joined;
    --joinsInFlight_;
    ++result_.joined;
    return;
  }
  if (status == "notfound" && client.state == ClientState::AwaitJoin) {
    // Name, description, enciphered password, password check: an open room.
    std::string create = options_.room;
    create.append(3, kFieldSeparator);
    Send(client, "createChatroom", create);
    client.state = ClientState::AwaitCreate;
    return;
  }
  if (status == "notcreated" && !client.joinRetried) {
    // Somebody else created it in the meantime.
    client.joinRetried = true;
    SendJoin(client);
    return;
  }
  Fail(client, "chatroom refused: " + std::string(status));
}

}  // namespace velmorin::load
