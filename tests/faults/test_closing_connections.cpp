// Clients that make the server buffer a lot for them and then quit without reading: their
// connections close gracefully and linger, but the memory they hold stays within a bound
// however many do it, and a small user limit does not let them multiply it.

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "faults/ServerUnderTest.hpp"

namespace velmorin {
namespace {

using namespace std::chrono_literals;
using testing::kWait;
using testing::ServerUnderTest;

constexpr char kNul = '\0';
constexpr int kQuitters = 40;
constexpr std::size_t kTextLength = 8000;
// About 7 MB echoed to each quitter: what the system buffers on the server's side, and the
// rest, under the 4 MiB unsent cap, in the server's own buffer.
constexpr int kEchoes = 900;

TEST(ClosingConnections, QuittersThatLeaveTheirRepliesUnreadHoldBoundedMemory) {
  ServerUnderTest server;
  server.Set("General", "MaxUserCount", "10");
  server.Set("General", "MaxTextLength", std::to_string(kTextLength));
  ASSERT_TRUE(server.Start()) << server.Output();
  // A warm-up quitter brings the allocations to their working size before the baseline.
  std::vector<client::ChatClient> quitters;
  const std::string text(kTextLength, 'q');
  const auto quitAfterEchoes = [&](int number) {
    client::ChatClient client = server.LoggedIn("Quitter" + std::to_string(number));
    // What the system would buffer for the client otherwise (many megabytes) stays at the
    // server, as with a client across a slow network.
    client.SetReceiveBufferSize(4096);
    const std::string room = "Room" + std::to_string(number);
    if (!client.Send("createChatroom", room + kNul + kNul + kNul)) return;
    for (int message = 0; message < kEchoes; ++message) {
      if (!client.Send("message", std::string("normal") + kNul + kNul + text)) return;
    }
    client.Send("quit", "");
    // The socket stays open and unread: the server's replies wait in its buffers.
    quitters.push_back(std::move(client));
  };
  quitAfterEchoes(0);
  std::this_thread::sleep_for(300ms);
  const long rssBefore = server.RssKb().value_or(0);
  const long descriptorsBefore = server.Descriptors().value_or(0);

  for (int number = 1; number <= kQuitters; ++number) quitAfterEchoes(number);
  ASSERT_TRUE(testing::PollUntil([&] { return server.Users() == 0L; }, 5s)) << "the quitters were not all removed";
  std::this_thread::sleep_for(300ms);
  const long rssAfter = server.RssKb().value_or(0);
  const long descriptorsAfter = server.Descriptors().value_or(0);

  std::cout << "[ figures  ] " << kQuitters << " quitters, each leaving about " << kEchoes * kTextLength / 1024
            << " kB of replies unread: RSS " << rssBefore << " kB before, " << rssAfter << " kB after; descriptors "
            << descriptorsBefore << " before, " << descriptorsAfter << " after\n";
  ::testing::Test::RecordProperty("rss_before_kb", std::to_string(rssBefore));
  ::testing::Test::RecordProperty("rss_after_kb", std::to_string(rssAfter));

  // Lingering sockets may hold 16 MiB together; the allocator's quarantine of a sanitized
  // build adds up to 8 MiB. Unbounded, 40 quitters held about 130 MB for 30 s.
  EXPECT_LT(rssAfter - rssBefore, 40 * 1024) << "kB held for connections that are over";
  EXPECT_LE(descriptorsAfter - descriptorsBefore, 64 + 2) << "descriptors held for connections that are over";

  // The server still serves.
  client::ChatClient late = server.LoggedIn("Late");
  EXPECT_TRUE(late.IsConnected());
}

}  // namespace
}  // namespace velmorin
