// A reader that stops in a busy room: the real executable keeps its memory bounded (it may
// drop the stopped reader once its unsent cap is reached) and everybody else in the room gets
// every message, in the order each sender sent them.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "faults/ServerUnderTest.hpp"

namespace velmorin {
namespace {

using namespace std::chrono_literals;
using testing::kWait;
using testing::ServerUnderTest;

constexpr char kNul = '\0';
constexpr int kSenders = 3;
constexpr int kMessagesPerSender = 2500;  // 57 MiB to each reader: far past any cap
constexpr int kWarmUpMessages = 150;  // per sender, read by everybody, before the baseline
constexpr std::size_t kTextLength = 8000;
constexpr int kWindow = 16;  // own messages in flight before a sender waits for its echo

std::string Nick(int sender) { return "Chatter" + std::to_string(sender); }

// "Chatter1:42:" and a filler up to the text length.
std::string MessageText(int sender, int sequence) {
  std::string text = Nick(sender) + ":" + std::to_string(sequence) + ":";
  text.resize(kTextLength, static_cast<char>('a' + sequence % 26));
  return text;
}

// What one chatter saw: per sender the next sequence number expected, and the faults.
struct Reception {
  std::map<std::string, int> next;
  long outOfOrder = 0;
  long malformed = 0;
  long received = 0;

  // "normal" NUL nickname NUL color NUL text
  void Take(const client::Packet& packet) {
    if (packet.command != "message") return;
    const std::vector<std::string> fields = Fields(packet.payload);
    if (fields.size() != 4 || fields[0] != "normal") {
      ++malformed;
      return;
    }
    const std::string& text = fields[3];
    const std::size_t colon = text.find(':');
    const std::size_t second = text.find(':', colon + 1);
    if (colon == std::string::npos || second == std::string::npos || text.substr(0, colon) != fields[1] ||
        text.size() != kTextLength) {
      ++malformed;
      return;
    }
    const int sequence = std::stoi(text.substr(colon + 1, second - colon - 1));
    int& expected = next[fields[1]];
    if (sequence != expected) ++outOfOrder;
    expected = sequence + 1;
    ++received;
  }
  int From(const std::string& nick) const {
    const auto found = next.find(nick);
    return found == next.end() ? 0 : found->second;
  }
  static std::vector<std::string> Fields(const std::string& payload) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
      const std::size_t end = payload.find(kNul, start);
      fields.push_back(payload.substr(start, end - start));
      if (end == std::string::npos) return fields;
      start = end + 1;
    }
  }
};

bool JoinRoom(client::ChatClient& client, const std::string& command, const std::string& payload) {
  if (!client.Send(command, payload)) return false;
  const auto reply = client.ReceiveCommand("acceptChatroom", kWait);
  return reply && reply->payload == std::string("busy") + kNul + "ok";
}

// Sends `count` messages with a window on its own echoes, and reads until it has every
// message of every sender or the time is up. A reader that does not send passes self -1.
void Chat(client::ChatClient& client, int self, int count, Reception& seen, std::atomic<bool>& failed) {
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  int sent = self < 0 ? count : 0;
  const std::string own = Nick(self);
  const long everything = static_cast<long>(kSenders) * count;
  while (seen.received < everything && std::chrono::steady_clock::now() < deadline) {
    while (sent < count && sent - seen.From(own) < kWindow) {
      if (!client.Send("message", std::string("normal") + kNul + kNul + MessageText(self, sent))) {
        failed = true;
        return;
      }
      ++sent;
    }
    const auto packet = client.Receive(5s);
    if (!packet) {
      failed = true;
      return;
    }
    seen.Take(*packet);
  }
}

// Every chatter (and the reader, when given) on a thread of its own until all have all.
void ChatAll(std::vector<client::ChatClient>& chatters, client::ChatClient* reader, int count,
         std::vector<Reception>& seen, std::atomic<bool>& failed) {
  std::vector<std::thread> threads;
  for (int sender = 0; sender < kSenders; ++sender) {
    threads.emplace_back(Chat, std::ref(chatters[static_cast<std::size_t>(sender)]), sender, count,
                         std::ref(seen[static_cast<std::size_t>(sender)]), std::ref(failed));
  }
  if (reader != nullptr) threads.emplace_back(Chat, std::ref(*reader), -1, count, std::ref(seen.back()), std::ref(failed));
  for (auto& thread : threads) thread.join();
}

TEST(SlowConsumer, AReaderThatStopsInABusyRoomCostsBoundedMemoryAndTheOthersLoseNothing) {
  ServerUnderTest server;
  server.Set("General", "MaxTextLength", std::to_string(kTextLength));
  ASSERT_TRUE(server.Start()) << server.Output();

  std::vector<client::ChatClient> chatters;
  for (int sender = 0; sender < kSenders; ++sender) chatters.push_back(server.LoggedIn(Nick(sender)));
  ASSERT_TRUE(JoinRoom(chatters[0], "createChatroom", std::string("busy") + kNul + kNul + kNul));
  for (int sender = 1; sender < kSenders; ++sender) {
    ASSERT_TRUE(JoinRoom(chatters[static_cast<std::size_t>(sender)], "joinChatroom", std::string("busy") + kNul));
  }
  client::ChatClient slow = server.LoggedIn("Sleeper");
  ASSERT_TRUE(JoinRoom(slow, "joinChatroom", std::string("busy") + kNul));
  for (auto& chatter : chatters) chatter.TakePending();

  // A warm-up that everybody reads brings the server's allocations to their working size, so
  // the baseline holds what the traffic itself needs.
  std::atomic<bool> failed{false};
  std::vector<Reception> warmUp(kSenders + 1);
  ChatAll(chatters, &slow, kWarmUpMessages, warmUp, failed);
  ASSERT_FALSE(failed) << "the warm-up, with everybody reading, did not get through";
  for (const Reception& reception : warmUp) ASSERT_EQ(reception.received, kSenders * kWarmUpMessages);
  std::this_thread::sleep_for(200ms);
  const long rssBefore = server.RssKb().value_or(0);
  std::atomic<bool> sampling{true};
  std::atomic<long> rssPeak{rssBefore};
  std::thread sampler([&] {
    while (sampling) {
      rssPeak = std::max(rssPeak.load(), server.RssKb().value_or(0));
      std::this_thread::sleep_for(20ms);
    }
  });

  // From here on the sleeper reads nothing.
  std::vector<Reception> seen(kSenders);
  const auto started = std::chrono::steady_clock::now();
  ChatAll(chatters, nullptr, kMessagesPerSender, seen, failed);
  const auto chatMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);

  // Four users while the sleeper is still connected (its data waits at the server and in the
  // kernel), three once the server has dropped it.
  const long usersAfter = server.Users().value_or(-1);
  std::this_thread::sleep_for(300ms);
  const long rssAfter = server.RssKb().value_or(0);
  sampling = false;
  sampler.join();

  long lost = 0, outOfOrder = 0, malformed = 0;
  for (const Reception& reception : seen) {
    for (int sender = 0; sender < kSenders; ++sender) lost += kMessagesPerSender - reception.From(Nick(sender));
    outOfOrder += reception.outOfOrder;
    malformed += reception.malformed;
  }
  const double relayedMb = static_cast<double>(kSenders) * kMessagesPerSender * kTextLength / (1024.0 * 1024.0);
  std::cout << "[ figures  ] slow consumer: " << kSenders << " senders x " << kMessagesPerSender << " messages of "
            << kTextLength << " bytes (" << relayedMb << " MiB to each reader) in " << chatMs.count() << " ms\n"
            << "[ figures  ] RSS before " << rssBefore << " kB, peak " << rssPeak << " kB, after " << rssAfter
            << " kB (peak growth " << (rssPeak - rssBefore) << " kB)\n"
            << "[ figures  ] messages lost " << lost << ", out of order " << outOfOrder << ", malformed " << malformed
            << "; users counted afterwards " << usersAfter << " (3: the sleeper was dropped)\n";
  ::testing::Test::RecordProperty("rss_before_kb", std::to_string(rssBefore));
  ::testing::Test::RecordProperty("rss_peak_kb", std::to_string(rssPeak.load()));
  ::testing::Test::RecordProperty("rss_after_kb", std::to_string(rssAfter));
  ::testing::Test::RecordProperty("messages_lost", std::to_string(lost));

  EXPECT_FALSE(failed) << "a chatter stopped: nothing arrived for 5 s or a send failed";
  EXPECT_EQ(lost, 0);
  EXPECT_EQ(outOfOrder, 0);
  EXPECT_EQ(malformed, 0);
  // The sleeper may hold at most its unsent cap (4 MiB) at the server; on top come what the
  // allocator keeps of freed blocks (the quarantine of a sanitized build is 8 MiB here), a
  // buffer's copy while it grows, and the other readers' lag on a busy machine. A server that
  // kept what it could not send would grow by all 57 MiB; the bound is half of that, so it
  // tells the two apart with room to spare for a loaded two-core machine.
  const long boundKb = static_cast<long>(relayedMb * 1024.0 / 2.0);
  EXPECT_LT(rssPeak - rssBefore, boundKb) << "kB of growth while " << relayedMb << " MiB went to the sleeper";
  EXPECT_LT(rssAfter - rssBefore, boundKb);
  EXPECT_TRUE(usersAfter == kSenders || usersAfter == kSenders + 1) << usersAfter;

  // Whatever happened to it, the sleeper never gets a torn stream: what it reads now parses.
  slow.SetAutoPong(true);
  while (const auto packet = slow.Receive(500ms)) {
  }
  EXPECT_TRUE(slow.LastError() == client::ClientError::kTimeout || slow.LastError() == client::ClientError::kClosed)
      << slow.LastErrorText();
  EXPECT_EQ(server.Stop(), 0) << server.Output().substr(0, 4000);
}

}  // namespace
}  // namespace velmorin
