// Connect and disconnect rounds of every kind against the real executable: afterwards its
// descriptor count is back at its start value and discovery reports no user. A churn of bare
// connects from one address is held to the connection rate and costs a bounded number of log
// bytes, while a client from another address gets in.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <iostream>
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

std::string LoginPayload(const std::string& nickname) {
  return nickname + kNul + kNul + "0" + kNul + "fault test" + kNul + "0.6";
}

// A plain connected socket, for the ways of leaving the client library does not offer.
class RawConnection {
 public:
  explicit RawConnection(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }
  ~RawConnection() { ::close(fd_); }
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  bool connected() const { return connected_; }
  void Send(const std::string& bytes) const { (void)!::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
  // Closing with unread data or with SO_LINGER 0 sends a reset instead of a FIN.
  void Reset() const {
    const linger abort{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  }

 private:
  int fd_;
  bool connected_ = false;
};

// Connects from `source` (a loopback address) and closes at once, as fast as it can, until
// stopped or `most` cycles are done.
class Churn {
 public:
  Churn(std::uint16_t port, const char* source, int most)
      : thread_([this, port, source, most] {
          for (int i = 0; i < most && running_; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in local{};
            local.sin_family = AF_INET;
            ::inet_pton(AF_INET, source, &local.sin_addr);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(port);
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 &&
                ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
              ++cycles_;
            }
            // A reset leaves no TIME_WAIT behind: thousands of ports held for a minute would
            // keep other tests' servers from listening on them.
            const linger abort{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            ::close(fd);
          }
        }) {}
  ~Churn() { Stop(); }
  Churn(const Churn&) = delete;
  Churn& operator=(const Churn&) = delete;

  int Stop() {
    running_ = false;
    if (thread_.joinable()) thread_.join();
    return cycles_;
  }

 private:
  std::atomic<bool> running_{true};
  std::atomic<int> cycles_{0};
  std::thread thread_;
};

// One connection's life, chosen by the round number.
enum class Round { kCloseAtOnce, kCloseAfterWelcome, kQuit, kCloseLoggedIn, kChatAndClose, kHalfPacket, kReset,
                   kLoginAndReset, kBadFraming, kCount };

const char* Name(Round round) {
  static const char* names[] = {"close at once", "close after the welcome", "quit", "close logged in",
                                "chat and close", "half a packet", "reset", "login and reset", "bad framing"};
  return names[static_cast<int>(round)];
}

// False when the round could not do its part (the server refused or did not answer).
bool Play(ServerUnderTest& server, Round round, int number) {
  const std::string nickname = "Churn" + std::to_string(number);
  switch (round) {
    case Round::kCloseAtOnce:
      return RawConnection(server.port()).connected();
    case Round::kCloseAfterWelcome:
      return server.Welcomed().IsConnected();
    case Round::kQuit: {
      client::ChatClient client = server.LoggedIn(nickname);
      return client.Send("quit", "bye") && client.WaitForClose(kWait);
    }
    case Round::kCloseLoggedIn:
      return server.LoggedIn(nickname).IsConnected();
    case Round::kChatAndClose: {
      client::ChatClient client = server.LoggedIn(nickname);
      const std::string room = "churn" + std::to_string(number % 3);
      client.Send("createChatroom", room + kNul + kNul + kNul);
      client.Send("joinChatroom", room + kNul);
      client.Send("message", std::string("normal") + kNul + kNul + "hello");
      return client.ReceiveCommand("message", kWait).has_value();
    }
    case Round::kHalfPacket: {
      RawConnection raw(server.port());
      raw.Send("message\r\n100\r\n\x02\r\nnot all of it");
      return raw.connected();
    }
    case Round::kReset: {
      RawConnection raw(server.port());
      raw.Reset();
      return raw.connected();
    }
    case Round::kLoginAndReset: {
      RawConnection raw(server.port());
      raw.Send(FramePacket("login", LoginPayload(nickname)));
      std::this_thread::sleep_for(2ms);
      raw.Reset();
      return raw.connected();
    }
    case Round::kBadFraming: {
      client::ChatClient client = server.Welcomed();
      client.SendRaw("no header here\r\n\x02\r\n" + std::string(200, 'x'));
      return client.WaitForClose(kWait);
    }
    case Round::kCount:
      break;
  }
  return false;
}

TEST(ConnectionChurn, TwoHundredRoundsOfEveryKindLeaveNoDescriptorOrUserBehind) {
  constexpr int kRounds = 200;
  constexpr int kWaiting = 5;
  ServerUnderTest server;
  server.Set("General", "PingTimeout", "200");
  // The rounds connect from one address faster than the connection rate allows; they are about
  // what connections leave behind, so the rate is not limited here.
  server.Set("General", "MaxConnectionRate", "0");
  ASSERT_TRUE(server.Start()) << server.Output();
  // The first round opens what the server keeps open from then on (the log, say).
  ASSERT_TRUE(Play(server, Round::kChatAndClose, -1));
  ASSERT_TRUE(PollUntil([&] { return server.Users() == 0L; }, 5s));
  std::this_thread::sleep_for(200ms);
  const long baseline = server.Descriptors().value_or(-1);

  // Logins that wait for a taken nickname, then log in again under another name; the holders
  // leave while they wait. The waits end during the rounds below.
  std::vector<client::ChatClient> holders, waiting;
  for (int i = 0; i < kWaiting; ++i) {
    holders.push_back(server.LoggedIn("Holder" + std::to_string(i)));
    waiting.push_back(server.Welcomed());
    waiting.back().Send("login", LoginPayload("Holder" + std::to_string(i)));
  }
  for (int i = 0; i < kWaiting; ++i) {
    const auto again = waiting[static_cast<std::size_t>(i)].Login("Second" + std::to_string(i), "", 0, "fault test", kWait);
    EXPECT_TRUE(again && again->Accepted()) << "a new login while an earlier one waits is taken";
    holders[static_cast<std::size_t>(i)].Send("quit", "");
  }
  const auto waitsBegan = std::chrono::steady_clock::now();

  int failures = 0;
  long peakDescriptors = 0;
  for (int number = 0; number < kRounds; ++number) {
    const Round round = static_cast<Round>(number % static_cast<int>(Round::kCount));
    if (!Play(server, round, number)) {
      ++failures;
      ADD_FAILURE() << "round " << number << " (" << Name(round) << ") did not play";
    }
    if (number % 10 == 0) peakDescriptors = std::max(peakDescriptors, server.Descriptors().value_or(0));
  }
  // The waits run 2 s past the ping timeout; let them end before the waiting clients leave.
  std::this_thread::sleep_until(waitsBegan + 3s);
  const long usersBeforeLeaving = server.Users().value_or(-1);
  for (auto& client : waiting) client.Close();
  for (auto& client : holders) client.Close();

  const auto left = std::chrono::steady_clock::now();
  const bool settled = PollUntil([&] { return server.Descriptors() == baseline && server.Users() == 0L; }, 10s);
  const auto settleMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - left);
  const long descriptorsAfter = server.Descriptors().value_or(-1);
  const long usersAfter = server.Users().value_or(-1);

  std::cout << "[ figures  ] churn: " << kRounds << " rounds (" << static_cast<int>(Round::kCount)
            << " kinds in turn) + " << kWaiting << " waiting logins, " << failures << " rounds failed\n"
            << "[ figures  ] descriptors: baseline " << baseline << ", peak sampled " << peakDescriptors
            << ", after " << descriptorsAfter << " (" << (settled ? "settled" : "not settled") << " after "
            << settleMs.count() << " ms); users before the waiting clients left " << usersBeforeLeaving
            << " (expected " << kWaiting << "), after " << usersAfter << "\n";
  ::testing::Test::RecordProperty("descriptors_baseline", std::to_string(baseline));
  ::testing::Test::RecordProperty("descriptors_after", std::to_string(descriptorsAfter));
  ::testing::Test::RecordProperty("users_after", std::to_string(usersAfter));

  EXPECT_EQ(usersBeforeLeaving, kWaiting) << "each waiting client counts once";
  EXPECT_EQ(descriptorsAfter, baseline);
  EXPECT_EQ(usersAfter, 0);
  EXPECT_EQ(server.Stop(), 0);
}

TEST(ConnectionChurn, BareConnectsFromOneAddressAreHeldToTheRateAndCostBoundedLogBytes) {
  constexpr auto kChurnTime = 3s;
  ServerUnderTest server;
  server.Set("Log", "Pattern", "%date/%longtime: %message");
  server.Set("Logging", "Enabled", "1");
  server.Set("Logging", "LogNamingByDate", "0");
  ASSERT_TRUE(server.Start()) << server.Output();
  server.LoggedIn("Before").Close();
  const std::string logFile = server.dir().path("logs/Server@" + std::to_string(server.port()) + ".log");
  ASSERT_TRUE(PollUntil([&] { return std::filesystem::exists(logFile); }, 5s));
  const auto fileBefore = std::filesystem::file_size(logFile);
  const std::size_t outputBefore = server.Output().size();

  const auto started = std::chrono::steady_clock::now();
  Churn churn(server.port(), "127.0.0.2", 15000);
  std::this_thread::sleep_for(kChurnTime / 2);
  // A client from another address gets in while the churn goes on.
  client::ChatClient legitimate = server.LoggedIn("Legitimate");
  EXPECT_TRUE(legitimate.IsConnected());
  std::this_thread::sleep_until(started + kChurnTime);
  const int cycles = churn.Stop();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  // The refusals are reported once their interval has passed.
  const bool reported = PollUntil([&] { return server.Output().find("connections were refused") != std::string::npos; },
                                  15s);
  const auto fileBytes = std::filesystem::file_size(logFile) - fileBefore;
  const std::size_t outputBytes = server.Output().size() - outputBefore;
  std::cout << "[ figures  ] churn from one address: " << cycles << " connects in " << seconds << " s; log file +"
            << fileBytes << " bytes, standard output +" << outputBytes << " bytes\n";

  EXPECT_GT(cycles, 1000) << "the churn was too slow to show anything";
  EXPECT_TRUE(reported) << server.Output().substr(outputBefore);
  // A few lines per second: the first connect and close of each second, what was held back,
  // the legitimate client's lines and the refusal report (before: about 100 bytes per connect).
  const auto bound = static_cast<std::uintmax_t>(2048 * (seconds + 12));
  EXPECT_LT(fileBytes, bound);
  EXPECT_LT(outputBytes, bound);
  EXPECT_TRUE(legitimate.IsConnected());
  EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
}  // namespace velmorin
