// A thousand connections that never log in, against the real executable with a small user
// limit: real clients still get in, log in and chat, and the idle connections are removed
// within a bounded time: silent ones, ones that answer pings, and ones that keep asking for a
// live user's nickname.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client/PacketDecoder.hpp"
#include "codec/PacketWriter.hpp"
#include "faults/ServerUnderTest.hpp"

namespace velmorin {
namespace {

using namespace std::chrono_literals;
using testing::kWait;
using testing::PollUntil;
using testing::ServerUnderTest;

constexpr char kNul = '\0';

// Connections that connect and never complete a login, in three kinds: silent ones; ones that
// answer the server's pings, as a client that keeps its slot on purpose would; and campers that
// send a login for a live user's nickname every second, so that their login keeps waiting for
// that user to answer. A thread reads them all and notes which ones the server has closed.
class IdleCrowd {
 public:
  enum class Kind { kSilent, kAnswersPings, kCamper };

  IdleCrowd(std::uint16_t port, int count, std::string takenNickname) : takenNickname_(std::move(takenNickname)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < count; ++i) {
      const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      if (fd < 0) break;
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
      members_.push_back(Member{fd, static_cast<Kind>(i % 3), false, false, {}, {}});
    }
    pump_ = std::thread([this] { Pump(); });
  }
  ~IdleCrowd() {
    running_ = false;
    pump_.join();
    for (const Member& member : members_) ::close(member.fd);
  }

  int Opened() const { return static_cast<int>(members_.size()); }
  int Closed() const { return closed_; }
  // Closed before the server sent anything: refused rather than served and removed.
  int Refused() const { return refused_; }
  int Pongs() const { return pongs_; }
  int Logins() const { return logins_; }

 private:
  using Clock = std::chrono::steady_clock;
  struct Member {
    int fd;
    Kind kind;
    bool closed;
    bool welcomed;  // received bytes from the server
    Clock::time_point nextLogin;
    client::PacketDecoder decoder;
  };

  void Pump() {
    std::vector<pollfd> entries(members_.size());
    while (running_) {
      for (std::size_t i = 0; i < members_.size(); ++i) {
        entries[i] = pollfd{members_[i].closed ? -1 : members_[i].fd, POLLIN, 0};
      }
      if (::poll(entries.data(), entries.size(), 50) > 0) {
        for (std::size_t i = 0; i < members_.size(); ++i) {
          if (entries[i].revents != 0) Read(members_[i]);
        }
      }
      for (Member& member : members_) Camp(member);
    }
  }

  void Read(Member& member) {
    char buffer[16384];
    const ssize_t got = ::recv(member.fd, buffer, sizeof buffer, 0);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (got <= 0) {
      member.closed = true;
      ++closed_;
      if (!member.welcomed) ++refused_;
      return;
    }
    if (!member.welcomed) member.nextLogin = Clock::now();
    member.welcomed = true;
    if (member.kind == Kind::kSilent) return;
    member.decoder.Feed(std::string_view(buffer, static_cast<std::size_t>(got)));
    while (const auto packet = member.decoder.Pop()) {
      if (packet->command == "ping" && Send(member, FramePacket("pong", packet->payload))) ++pongs_;
    }
  }

  void Camp(Member& member) {
    if (member.kind != Kind::kCamper || member.closed || !member.welcomed || Clock::now() < member.nextLogin) return;
    const std::string login = takenNickname_ + kNul + kNul + "0" + kNul + "camper" + kNul + "0.6";
    if (Send(member, FramePacket("login", login))) ++logins_;
    member.nextLogin = Clock::now() + std::chrono::seconds(1);
  }

  static bool Send(const Member& member, const std::string& bytes) {
    return ::send(member.fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }

  std::string takenNickname_;
  std::vector<Member> members_;
  std::atomic<bool> running_{true};
  std::atomic<int> closed_{0};
  std::atomic<int> refused_{0};
  std::atomic<int> pongs_{0};
  std::atomic<int> logins_{0};
  std::thread pump_;
};

// A logged-in user that reads (and so answers pings) on a thread of its own until it ends.
class Resident {
 public:
  explicit Resident(client::ChatClient client) : client_(std::move(client)) {
    thread_ = std::thread([this] {
      while (running_ && client_.IsConnected()) {
        if (!client_.Receive(std::chrono::milliseconds(20)) && client_.LastError() != client::ClientError::kTimeout) {
          lost_ = true;
          return;
        }
        client_.TakePending();
      }
    });
  }
  ~Resident() {
    running_ = false;
    thread_.join();
  }
  bool Lost() const { return lost_; }

 private:
  client::ChatClient client_;
  std::atomic<bool> running_{true};
  std::atomic<bool> lost_{false};
  std::thread thread_;
};

// Reads whatever arrived (answering pings) for a moment.
void Keep(client::ChatClient& client) {
  if (!client.IsConnected()) return;
  client.Receive(10ms);
  client.TakePending();
}

std::string Printable(std::string text) {
  std::replace(text.begin(), text.end(), kNul, '|');
  return text;
}

// Whether a room message with that text arrives in time (the own echo and others pass by).
bool Hears(client::ChatClient& client, const std::string& text) {
  const auto deadline = std::chrono::steady_clock::now() + kWait;
  while (std::chrono::steady_clock::now() < deadline) {
    const auto packet = client.ReceiveCommand("message", kWait);
    if (!packet) return false;
    if (packet->payload.ends_with(kNul + text)) return true;
  }
  return false;
}

// Ann and Bob log in (when `fresh`), meet in a room and hear each other; what went wrong, or
// nothing.
std::string LogInAndTalk(ServerUnderTest& server, client::ChatClient& ann, client::ChatClient& bob, bool fresh) {
  const std::string room = fresh ? "crowded" : "afterwards";
  if (fresh) {
    for (auto [client, nickname] : {std::pair{&ann, "Ann"}, std::pair{&bob, "Bob"}}) {
      client->Close();
      if (!client->Connect("127.0.0.1", server.port(), kWait) || !client->ReceiveWelcome(kWait)) {
        return std::string(nickname) + " got no welcome: " + client->LastErrorText();
      }
      const auto reply = client->Login(nickname, "", 0, "fault test", kWait);
      if (!reply || !reply->Accepted()) {
        return std::string(nickname) + " was not accepted: " + (reply ? reply->status : client->LastErrorText());
      }
    }
  }
  ann.TakePending();
  bob.TakePending();
  if (!ann.Send("createChatroom", room + kNul + kNul + kNul)) return "Ann could not send";
  const auto created = ann.ReceiveCommand("acceptChatroom", kWait);
  if (!created || created->payload != room + kNul + "ok") {
    return "Ann could not create the room: " + (created ? Printable(created->payload) : ann.LastErrorText());
  }
  if (!bob.Send("joinChatroom", room + kNul)) return "Bob could not send";
  const auto joined = bob.ReceiveCommand("acceptChatroom", kWait);
  if (!joined || joined->payload != room + kNul + "ok") {
    return "Bob could not join the room: " + (joined ? Printable(joined->payload) : bob.LastErrorText());
  }
  ann.Send("message", std::string("normal") + kNul + kNul + "hello Bob");
  if (!Hears(bob, "hello Bob")) return "Bob did not hear Ann";
  bob.Send("message", std::string("normal") + kNul + kNul + "hello Ann");
  if (!Hears(ann, "hello Ann")) return "Ann did not hear Bob";
  return "";
}

TEST(IdleConnections, AThousandThatNeverLogInLockNobodyOutAndAreRemovedInBoundedTime) {
  constexpr int kIdle = 1000;
  ASSERT_TRUE(testing::RaiseDescriptorLimit(kIdle + 512));
  ServerUnderTest server;
  server.Set("General", "MaxUserCount", "20");
  server.Set("General", "PingDelay", "1000");
  server.Set("General", "PingTimeout", "500");
  // The crowd and the real clients all come from one address, far faster than the connection
  // rate allows; this is about connections that got in, so the rate is not limited here.
  server.Set("General", "MaxConnectionRate", "0");
  ASSERT_TRUE(server.Start()) << server.Output();
  // The first connection opens what the server keeps open from then on (the log, say).
  server.Welcomed().Close();
  std::this_thread::sleep_for(200ms);
  const long baseline = server.Descriptors().value_or(-1);

  // The user whose nickname the campers ask for.
  auto keeper = std::make_unique<Resident>(server.LoggedIn("Keeper"));

  const auto opened = std::chrono::steady_clock::now();
  auto crowd = std::make_unique<IdleCrowd>(server.port(), kIdle, "Keeper");
  ASSERT_EQ(crowd->Opened(), kIdle);
  std::this_thread::sleep_for(300ms);  // the server is busy with the crowd now
  const long descriptorsWithCrowd = server.Descriptors().value_or(-1);

  // Real clients get in at once, not after the crowd has been pinged out.
  const auto arrived = std::chrono::steady_clock::now();
  client::ChatClient ann, bob;
  const std::string firstTalk = LogInAndTalk(server, ann, bob, true);
  const auto loginMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - arrived);

  // Every idle connection is removed within a bound: a login deadline of a few ping timeouts
  // plus the time to work through the crowd.
  const bool allRemoved = PollUntil(
      [&] {
        Keep(ann);
        Keep(bob);
        return crowd->Closed() == kIdle;
      },
      15s);
  const auto removedMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - opened);
  const int closedByServer = crowd->Closed();
  const int refused = crowd->Refused();
  const int pongs = crowd->Pongs();
  const int campingLogins = crowd->Logins();

  // The real clients are still there and still talk (or, when they could not get in before,
  // can now).
  const std::string secondTalk = LogInAndTalk(server, ann, bob, !firstTalk.empty());
  const long usersWithClients = server.Users().value_or(-1);
  crowd.reset();
  const bool keeperLost = keeper->Lost();
  keeper.reset();
  ann.Close();
  bob.Close();
  const bool settled = PollUntil([&] { return server.Descriptors() == baseline && server.Users() == 0L; }, 5s);
  const long descriptorsAfter = server.Descriptors().value_or(-1);

  std::cout << "[ figures  ] idle connections: " << kIdle << " opened; real clients with the crowd: "
            << (firstTalk.empty() ? "logged in and talked" : firstTalk) << " (" << loginMs.count()
            << " ms); closed by the server " << closedByServer << " of " << kIdle << " after " << removedMs.count()
            << " ms (" << refused << " of them refused without a welcome); the crowd sent " << pongs << " pongs and "
            << campingLogins << " logins for a live user's name\n"
            << "[ figures  ] descriptors: baseline " << baseline << ", with the crowd " << descriptorsWithCrowd
            << ", at the end " << descriptorsAfter << "; users with the three real clients " << usersWithClients << "\n";
  ::testing::Test::RecordProperty("idle_closed_by_server", std::to_string(closedByServer));
  ::testing::Test::RecordProperty("idle_refused", std::to_string(refused));
  ::testing::Test::RecordProperty("idle_removed_ms", std::to_string(removedMs.count()));
  ::testing::Test::RecordProperty("login_ms_with_crowd", std::to_string(loginMs.count()));

  EXPECT_EQ(firstTalk, "") << "while the crowd was connected";
  EXPECT_TRUE(allRemoved) << closedByServer << " of " << kIdle << " idle connections removed after "
                          << removedMs.count() << " ms";
  EXPECT_EQ(secondTalk, "") << "after the crowd was removed";
  EXPECT_EQ(usersWithClients, 3) << "Keeper, Ann and Bob";
  EXPECT_FALSE(keeperLost) << "the user whose name the campers asked for lost the connection";
  EXPECT_TRUE(settled) << "descriptors " << descriptorsAfter << " (baseline " << baseline << "), users "
                       << server.Users().value_or(-1);
  EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
}  // namespace velmorin
