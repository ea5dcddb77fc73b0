// What clients put into the log, against the running server: values are cut and escaped, and the
// error lines of one connection are limited per second.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "logging/LogWriter.hpp"
#include "support/ServerHarness.hpp"

namespace velmorin {
namespace {

using testing::kWait;
using testing::LoginPayload;
using testing::ServerHarness;

// Log lines far longer than any text and its cut values.
long LongLines(ServerHarness& server) {
  long count = 0;
  for (const std::string& line : server.LogLines()) {
    if (line.size() >= 2 * kMaxLogValueLength) {
      ADD_FAILURE() << line.size() << " characters: " << line.substr(0, 80);
      ++count;
    }
  }
  return count;
}

TEST(ServerLogFlood, RepeatedErrorsOfOneClientAreCountedNotWrittenAndLongValuesCut) {
  ServerHarness server;
  ASSERT_TRUE(server.Start());
  auto guest = server.LoggedIn("Guest");
  // Each packet names a plugin nobody registered, with a name of 120 kB.
  const std::string name(120 * 1024, 'p');
  constexpr long kPackets = 20;
  const auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < kPackets; ++i) {
    ASSERT_TRUE(guest.Send("serverPluginData", name + "\r\nkind" + '\0' + "data"));
    ASSERT_TRUE(guest.ReceiveCommand("serverPluginResponse", kWait)) << guest.LastErrorText();
  }
  const long elapsed =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
  // Checked first: the matchers below are regular expressions, whose matching overflows the stack
  // on lines of that size.
  ASSERT_EQ(LongLines(server), 0);
  guest.Close();
  // The connection's end reports what it had held back.
  ASSERT_TRUE(server.WaitForLog("msgDisconnected", {{"%id", "1"}}));

  const long written = server.CountLog("msgErrorRaised");
  long suppressed = 0;
  const auto report = server.Matcher("msgSuppressedClient", {{"%id", "1"}, {"%type", "ErrorRaised"}});
  for (const std::string& line : server.LogLines()) {
    if (report(line)) suppressed += std::stol(line.substr(line.find(": ") + 2));
  }
  EXPECT_EQ(written + suppressed, kPackets);
  EXPECT_LE(written, elapsed + 2);
}

TEST(ServerLogFlood, NoClientValueStartsALineOrReachesTheLogRaw) {
  ServerHarness server;
  server.Set("LogMessages", "UnknownCommand_Show", "1");
  ASSERT_TRUE(server.Start());
  const std::string forged = "Client 7 logged in as Administrator.";
  // Before any login: the protocol version field.
  auto early = server.Connect();
  ASSERT_TRUE(early.ReceiveWelcome(kWait));
  ASSERT_TRUE(early.Send("login", LoginPayload("Mallory", "", "0.5\r\n" + forged + std::string(100 * 1024, 'v'))));
  const auto reply = early.ReceiveCommand("acceptUser", kWait);
  ASSERT_TRUE(reply) << early.LastErrorText();
  EXPECT_EQ(reply->payload, "unsupported");
  // A command name with a lone LF and a terminal escape sequence.
  auto guest = server.LoggedIn("Guest");
  ASSERT_TRUE(guest.Send("x\n" + forged + "\x1b[2J", ""));
  server.Sync();

  ASSERT_EQ(LongLines(server), 0);
  for (const std::string& line : server.LogLines()) {
    EXPECT_EQ(line.find_first_of("\r\n\x1b"), std::string::npos) << line.substr(0, 80);
    EXPECT_NE(line, forged);
  }
  EXPECT_EQ(server.CountLog("msgErrorVersion"), 1);
  EXPECT_EQ(server.CountLog("msgUnknownCommand"), 1);
}

}  // namespace
}  // namespace velmorin
