#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/Settings.hpp"
#include "net/InfoSocket.hpp"
#include "net/SocketTestSupport.hpp"
#include "platform/EventLoop.hpp"

namespace velmorin {
namespace {

using testing::RunUntil;
using Clock = ReplyRateLimiter::Clock;

constexpr int kQuietMs = 100;  // how long "no answer" is waited for

struct FakeServer : ServerInfoProvider {
  long status = 0;
  long users = 0;
  long ServerStatus() const override { return status; }
  long UserCount() const override { return users; }
};

// An address on the loopback network (the whole of 127.0.0.0/8 reaches this machine).
sockaddr_in Loopback(long port, const char* ip = "127.0.0.1") {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  ::inet_pton(AF_INET, ip, &address.sin_addr);
  return address;
}

// A plain UDP socket on 127.0.0.1 playing a client on the network.
class UdpClient {
 public:
  explicit UdpClient(const char* ip = "127.0.0.1") {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr_in local = Loopback(0, ip);
    ::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local);
  }
  ~UdpClient() { ::close(fd_); }
  UdpClient(const UdpClient&) = delete;
  UdpClient& operator=(const UdpClient&) = delete;

  void SendTo(long port, const std::string& data) const {
    const sockaddr_in target = Loopback(port);
    ::sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&target), sizeof target);
  }

  // The next datagram, running the server's loop while waiting; nothing when the time is up.
  std::optional<std::string> Receive(int timeoutMs = 2000) const {
    if (!RunUntil([this] { return Readable(); }, timeoutMs)) return std::nullopt;
    std::vector<char> buffer(65536);
    const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (n < 0) return std::nullopt;
    return std::string(buffer.data(), static_cast<std::size_t>(n));
  }

  // Replies that arrive until the line stays quiet.
  int CountReplies(const std::string& expected) const {
    int replies = 0;
    while (std::optional<std::string> reply = Receive(kQuietMs)) {
      EXPECT_EQ(*reply, expected);
      ++replies;
    }
    return replies;
  }

  // Sends a request and waits for the answer.
  std::optional<std::string> Ask(long port, const std::string& request, int timeoutMs = 2000) const {
    SendTo(port, request);
    return Receive(timeoutMs);
  }

 private:
  bool Readable() const {
    pollfd entry{fd_, POLLIN, 0};
    return ::poll(&entry, 1, 0) > 0;
  }

  int fd_ = -1;
};

// The lines of a reply, split at CR LF.
std::vector<std::string> Lines(const std::string& reply) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = reply.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(reply.substr(start, end - start));
  }
  lines.push_back(reply.substr(start));
  return lines;
}

// A port on 127.0.0.1 that nobody holds right now.
long FreeUdpPort() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in local = Loopback(0);
  ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local);
  socklen_t length = sizeof local;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
  ::close(fd);
  return ntohs(local.sin_port);
}

class Discovery : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = ServerSettings;
    ServerSettings.General.ActivePort = 0;  // the platform chooses; Port() tells which
    ServerSettings.General.MaxUserCount = 256;
    ServerSettings.General.Description = "Test server";
    ServerSettings.Info.Version = "3.0.0";
    // The reply cap counts by this clock, which only the test moves.
    responder.SetClock([this] { return now; });
    ASSERT_TRUE(responder.CreateInfoSocket().ok());
    port = responder.Port();
    ASSERT_GT(port, 0);
  }
  void TearDown() override { ServerSettings = saved_; }

  std::string Expected(const std::string& status, const std::string& users) const {
    return "vm3_serverinfos\r\n" + status + "\r\n" + users + "\r\n3.0.0\r\nTest server";
  }
  // Moves the clock past the reply cap's current second.
  void NextSecond() { now += std::chrono::milliseconds(1001); }

  FakeServer server;
  InfoSocket responder{server};
  UdpClient client;
  long port = 0;
  Clock::time_point now = Clock::time_point() + std::chrono::hours(1);

 private:
  ServerSettingsRecord saved_;
};

TEST_F(Discovery, AnswersOnlyWhenTheFirstLineIsExactlyTheRequestWord) {
  struct Case {
    std::string datagram;
    bool answered;
  };
  const std::vector<Case> cases = {
      {"vm3_gsi", true},
      {"vm3_gsi\r\nmore", true},
      {"vm3_gsi\r\n", true},
      {"vm3_gsi\r\n" + std::string(65000, 'x'), true},
      {"VM3_GSI", false},
      {" vm3_gsi", false},
      {"vm3_gsi ", false},
      {"vm3_gs", false},
      {"vm3_gsi\n", false},  // only CR LF ends the first line
      {"vm3_gsi\r", false},
      {std::string("vm3_gsi\0\r\n", 10), false},
      {"", false},
      {"garbage", false},
      {"vm3_serverinfos\r\nready", false},  // another server's answer is no request
      {std::string(65507, '\xff'), false},   // the largest datagram there is
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.datagram.substr(0, 20)) + " of " + std::to_string(c.datagram.size()));
    NextSecond();
    // A valid request follows every case: the case's answer, if any, arrives before its answer.
    client.SendTo(port, c.datagram);
    client.SendTo(port, "vm3_gsi");
    const int replies = c.answered ? 2 : 1;
    for (int i = 0; i < replies; ++i) {
      EXPECT_EQ(client.Receive(), Expected("ready", "0/256"));
    }
    EXPECT_EQ(client.Receive(kQuietMs), std::nullopt);
  }
}

TEST_F(Discovery, ReplyCarriesTheFiguresOfTheMomentAsOneDatagram) {
  struct Case {
    long status;
    long users;
    std::string word;
    std::string load;
  };
  const std::vector<Case> cases = {
      {0, 3, "ready", "3/256"},
      {1, 256, "full", "256/256"},
      {2, 0, "stopped", "0/256"},
      {0, 0, "ready", "0/256"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    server.status = c.status;
    server.users = c.users;
    EXPECT_EQ(client.Ask(port, "vm3_gsi"), Expected(c.word, c.load));
  }
}

TEST_F(Discovery, DescriptionIsTheLastLineAsStored) {
  for (const std::string description : {"First part<br>second part", ""}) {
    SCOPED_TRACE(description);
    ServerSettings.General.Description = description;
    const std::optional<std::string> reply = client.Ask(port, "vm3_gsi");
    ASSERT_TRUE(reply);
    const std::vector<std::string> lines = Lines(*reply);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[4], description);
  }
}

TEST_F(Discovery, EachRequestIsAnsweredToItsOwnSender) {
  UdpClient other;
  ASSERT_TRUE(client.Ask(port, "vm3_gsi"));
  ASSERT_TRUE(other.Ask(port, "vm3_gsi"));
  EXPECT_EQ(client.Receive(kQuietMs), std::nullopt);
  ASSERT_TRUE(client.Ask(port, "vm3_gsi"));
  EXPECT_EQ(other.Receive(kQuietMs), std::nullopt);
}

TEST_F(Discovery, ARestartFollowsTheActivePort) {
  const long first = port;
  // Same port, as after a plain restart; then a changed one.
  for (const long next : {first, FreeUdpPort()}) {
    SCOPED_TRACE(next);
    responder.DestroyInfoSocket();
    EXPECT_EQ(responder.Port(), 0);
    EXPECT_EQ(client.Ask(first, "vm3_gsi", kQuietMs), std::nullopt);
    ServerSettings.General.ActivePort = next;
    ASSERT_TRUE(responder.CreateInfoSocket().ok());
    EXPECT_EQ(responder.Port(), next);
    EXPECT_EQ(client.Ask(next, "vm3_gsi"), Expected("ready", "0/256"));
  }
  if (responder.Port() != first) {
    EXPECT_EQ(client.Ask(first, "vm3_gsi", kQuietMs), std::nullopt);
  }
  responder.DestroyInfoSocket();
  responder.DestroyInfoSocket();  // closing twice is harmless
  EXPECT_EQ(responder.Port(), 0);
}

TEST_F(Discovery, APortHeldElsewhereLeavesDiscoveryOffUntilTheNextStart) {
  responder.DestroyInfoSocket();
  const int holder = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const sockaddr_in held = Loopback(port);
  ASSERT_EQ(::bind(holder, reinterpret_cast<const sockaddr*>(&held), sizeof held), 0);
  ServerSettings.General.ActivePort = port;
  EXPECT_EQ(responder.CreateInfoSocket().number, 10048);  // address in use
  EXPECT_EQ(responder.Port(), 0);
  ::close(holder);
  ASSERT_TRUE(responder.CreateInfoSocket().ok());
  EXPECT_EQ(client.Ask(port, "vm3_gsi"), Expected("ready", "0/256"));
}

TEST_F(Discovery, AReplyThatCannotBeSentDoesNotEndDiscovery) {
  // Larger than any datagram: the send fails and the socket reports an error.
  ServerSettings.General.Description = std::string(70000, 'd');
  EXPECT_EQ(client.Ask(port, "vm3_gsi", kQuietMs), std::nullopt);
  ServerSettings.General.Description = "Test server";
  EXPECT_EQ(client.Ask(port, "vm3_gsi"), Expected("ready", "0/256"));
  EXPECT_EQ(responder.Port(), port);
}

// Some of the burst may be dropped by the platform; what is answered must be one reply per
// request, never replies run together.
TEST_F(Discovery, AFloodGetsOnlyWholeSeparateReplies) {
  UdpClient flooder;
  constexpr int kRequests = 300;
  for (int i = 0; i < kRequests; ++i) {
    flooder.SendTo(port, i % 3 == 0 ? "vm3_gsi" : std::string(1000, static_cast<char>(i)));
  }
  EXPECT_LE(flooder.CountReplies(Expected("ready", "0/256")), 5);
  NextSecond();
  EXPECT_EQ(client.Ask(port, "vm3_gsi"), Expected("ready", "0/256"));
}

}  // namespace
}  // namespace velmorin

namespace velmorin {
namespace {

// Forged requests must not make the server a traffic multiplier: each second, one address gets
// at most five replies and all addresses together at most the global number.
TEST_F(Discovery, ABurstFromOneAddressGetsFiveRepliesUntilItsSecondHasPassed) {
  const std::string reply = Expected("ready", "0/256");
  for (int i = 0; i < 40; ++i) client.SendTo(port, "vm3_gsi");
  EXPECT_EQ(client.CountReplies(reply), 5);
  // Another address is still answered: the cap of the first one is its own.
  UdpClient elsewhere("127.0.0.2");
  EXPECT_EQ(elsewhere.Ask(port, "vm3_gsi"), reply);
  now += std::chrono::milliseconds(900);  // the same second
  EXPECT_EQ(client.Ask(port, "vm3_gsi", kQuietMs), std::nullopt);
  NextSecond();
  for (int i = 0; i < 40; ++i) client.SendTo(port, "vm3_gsi");
  EXPECT_EQ(client.CountReplies(reply), 5);
}

TEST_F(Discovery, ManyAddressesTogetherGetNoMoreThanTheGlobalCap) {
  responder.SetReplyLimits({.perSource = 5, .total = 12, .sources = 256});
  const std::string reply = Expected("ready", "0/256");
  const char* addresses[] = {"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4"};
  std::vector<std::unique_ptr<UdpClient>> senders;
  for (const char* address : addresses) senders.push_back(std::make_unique<UdpClient>(address));
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    for (const auto& sender : senders) {
      for (int i = 0; i < 5; ++i) sender->SendTo(port, "vm3_gsi");
    }
    int replies = 0;
    for (const auto& sender : senders) replies += sender->CountReplies(reply);
    EXPECT_EQ(replies, 12);
    NextSecond();
  }
}

TEST(ReplyRateLimiter, RemembersABoundedNumberOfAddresses) {
  ReplyRateLimiter limiter({.perSource = 2, .total = 1000, .sources = 3});
  Clock::time_point now{};
  for (const char* address : {"10.0.0.1", "10.0.0.2", "10.0.0.3"}) EXPECT_TRUE(limiter.Allow(address, now));
  // The table is full of addresses still inside their second: a newcomer is refused, a known
  // address keeps its own count.
  EXPECT_FALSE(limiter.Allow("10.0.0.4", now));
  EXPECT_TRUE(limiter.Allow("10.0.0.1", now));
  EXPECT_FALSE(limiter.Allow("10.0.0.1", now));
  EXPECT_EQ(limiter.RememberedSources(), 3u);
  // Once their second has passed, old addresses make room.
  now += std::chrono::seconds(1);
  for (int i = 0; i < 20; ++i) {
    EXPECT_TRUE(limiter.Allow("10.1.0." + std::to_string(i), now + std::chrono::seconds(i))) << i;
    EXPECT_LE(limiter.RememberedSources(), 3u);
  }
}

}  // namespace
}  // namespace velmorin
