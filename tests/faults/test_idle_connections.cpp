// A thousand connections that never log in, against the real executable with a small user
// limit: real clients still get in, log in and chat, and the idle connections are removed
// within a bounded time, those that answer pings as well as those that stay silent.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client/Packet.hpp"
#include "faults/ServerUnderTest.hpp"

namespace velmorin {
namespace {

using namespace std::chrono_literals;
using testing::kWait;
using testing::PollUntil;
using testing::ServerUnderTest;

constexpr char kNul = '\0';

// Connections that connect and never log in. Every other one answers the server's pings, as a
// client that keeps its slot on purpose would; the rest stay silent. A thread reads them all
// and notes which ones the server has closed.
class IdleCrowd {
 public:
  IdleCrowd(std::uint16_t port, int count) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < count; ++i) {
      const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      if (fd < 0) break;
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
      members_.push_back(Member{fd, i % 2 == 0, false, {}});
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
  int Pongs() const { return pongs_; }

 private:
  struct Member {
    int fd;
    bool answersPings;
    bool closed;
    client::PacketDecoder decoder;
  };

  void Pump() {
    std::vector<pollfd> entries(members_.size());
    while (running_) {
      for (std::size_t i = 0; i < members_.size(); ++i) {
        entries[i] = pollfd{members_[i].closed ? -1 : members_[i].fd, POLLIN, 0};
      }
      if (::poll(entries.data(), entries.size(), 50) <= 0) continue;
      for (std::size_t i = 0; i < members_.size(); ++i) {
        if (entries[i].revents != 0) Read(members_[i]);
      }
    }
  }

  void Read(Member& member) {
    char buffer[16384];
    const ssize_t got = ::recv(member.fd, buffer, sizeof buffer, 0);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (got <= 0) {
      member.closed = true;
      ++closed_;
      return;
    }
    if (!member.answersPings) return;
    member.decoder.Feed(std::string_view(buffer, static_cast<std::size_t>(got)));
    while (const auto packet = member.decoder.Pop()) {
      if (packet->command != "ping") continue;
      const std::string pong = client::EncodePacket("pong", packet->payload);
      if (::send(member.fd, pong.data(), pong.size(), MSG_NOSIGNAL) > 0) ++pongs_;
    }
  }

  std::vector<Member> members_;
  std::atomic<bool> running_{true};
  std::atomic<int> closed_{0};
  std::atomic<int> pongs_{0};
  std::thread pump_;
};

// Reads whatever arrived (answering pings) for a moment.
void Keep(client::ChatClient& client) {
  client.Receive(10ms);
  client.TakePending();
}

TEST(IdleConnections, AThousandThatNeverLogInLockNobodyOutAndAreRemovedInBoundedTime) {
  constexpr int kIdle = 1000;
  ASSERT_TRUE(testing::RaiseDescriptorLimit(kIdle + 512));
  ServerUnderTest server;
  server.Set("General", "MaxUserCount", "20");
  server.Set("General", "PingDelay", "1000");
  server.Set("General", "PingTimeout", "500");
  ASSERT_TRUE(server.Start()) << server.Output();
  // The first connection opens what the server keeps open from then on (the log, say).
  server.Welcomed().Close();
  std::this_thread::sleep_for(200ms);
  const long baseline = server.Descriptors().value_or(-1);

  const auto opened = std::chrono::steady_clock::now();
  auto crowd = std::make_unique<IdleCrowd>(server.port(), kIdle);
  ASSERT_EQ(crowd->Opened(), kIdle);
  std::this_thread::sleep_for(300ms);  // the server is busy with the crowd now
  const long descriptorsWithCrowd = server.Descriptors().value_or(-1);

  // Real clients get in at once, not after the crowd has been pinged out.
  const auto arrived = std::chrono::steady_clock::now();
  client::ChatClient ann = server.LoggedIn("Ann");
  client::ChatClient bob = server.LoggedIn("Bob");
  const auto loginMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - arrived);
  ASSERT_TRUE(ann.Send("createChatroom", std::string("lobby") + kNul + kNul + kNul));
  const auto created = ann.ReceiveCommand("acceptChatroom", kWait);
  ASSERT_TRUE(bob.Send("joinChatroom", std::string("lobby") + kNul));
  const auto joined = bob.ReceiveCommand("acceptChatroom", kWait);
  ASSERT_TRUE(ann.Send("message", std::string("normal") + kNul + kNul + "still here"));
  const auto heard = bob.ReceiveCommand("message", kWait);

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
  const int pongs = crowd->Pongs();

  // The real clients are still there and still talk.
  ASSERT_TRUE(bob.Send("message", std::string("normal") + kNul + kNul + "and me"));
  const auto heardBack = ann.ReceiveCommand("message", kWait);
  const long usersWithClients = server.Users().value_or(-1);
  crowd.reset();
  ann.Close();
  bob.Close();
  const bool settled = PollUntil([&] { return server.Descriptors() == baseline && server.Users() == 0L; }, 5s);
  const long descriptorsAfter = server.Descriptors().value_or(-1);

  std::cout << "[ figures  ] idle connections: " << kIdle << " opened; real clients logged in after "
            << loginMs.count() << " ms; closed by the server " << closedByServer << " after " << removedMs.count()
            << " ms (pongs sent by the crowd " << pongs << ")\n"
            << "[ figures  ] descriptors: baseline " << baseline << ", with the crowd " << descriptorsWithCrowd
            << ", at the end " << descriptorsAfter << "; users with the two clients " << usersWithClients << "\n";
  ::testing::Test::RecordProperty("idle_closed_by_server", std::to_string(closedByServer));
  ::testing::Test::RecordProperty("idle_removed_ms", std::to_string(removedMs.count()));
  ::testing::Test::RecordProperty("login_ms_with_crowd", std::to_string(loginMs.count()));

  ASSERT_TRUE(created && joined && heard) << "the real clients could not chat while the crowd was connected";
  EXPECT_EQ(created->payload, std::string("lobby") + kNul + "ok");
  EXPECT_EQ(joined->payload, std::string("lobby") + kNul + "ok");
  EXPECT_NE(heard->payload.find("still here"), std::string::npos);
  EXPECT_TRUE(allRemoved) << closedByServer << " of " << kIdle << " idle connections removed after "
                          << removedMs.count() << " ms";
  ASSERT_TRUE(heardBack) << ann.LastErrorText();
  EXPECT_NE(heardBack->payload.find("and me"), std::string::npos);
  EXPECT_EQ(usersWithClients, 2);
  EXPECT_TRUE(settled) << "descriptors " << descriptorsAfter << " (baseline " << baseline << "), users "
                       << server.Users().value_or(-1);
  EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
}  // namespace velmorin
