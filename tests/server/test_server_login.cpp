// The greeting and the login, against the running server.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <regex>
#include <thread>

#include "client/PacketDecoder.hpp"
#include "codec/Base64.hpp"
#include "codec/PacketReader.hpp"
#include "codec/PacketWriter.hpp"
#include "i18n/LanguageFile.hpp"
#include "net/SocketTestSupport.hpp"
#include "support/ServerHarness.hpp"

namespace velmorin {
namespace {

using testing::kWait;
using testing::LoginPayload;
using testing::ServerHarness;

TEST(ServerWelcome, TenLinesWithTheSettingsAFreshLoginKeyAndTheWelcomeText) {
  ServerHarness server;
  server.Set("Chatrooms", "StandardChatroom", "Garden");
  server.dir().write("config/chatrooms.cfg", "[Lobby]\r\nDescription=\r\n[Garden]\r\nDescription=\r\n");
  server.dir().write("config/welcome.msg", "Hello from %adminname\r\nSecond line\r\n");
  ASSERT_TRUE(server.Start());

  auto client = server.Connect();
  const auto packet = client.ReceiveCommand("welcome", kWait);
  ASSERT_TRUE(packet) << client.LastErrorText();
  const std::string& payload = packet->payload;
  const std::string lines = payload.substr(0, payload.find('\0'));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 9);
  EXPECT_EQ(payload.substr(payload.find('\0') + 1), "Hello from Ada Admin\r\nSecond line");

  const auto welcome = client::ParseWelcome(payload);
  ASSERT_TRUE(welcome);
  EXPECT_EQ(welcome->version, "3.0.0");
  EXPECT_EQ(welcome->status, "ok");
  EXPECT_EQ(welcome->language, server.Call([](ChatServer&) { return CurrentLanguage().LanguageName(); }));
  EXPECT_FALSE(welcome->language.empty());
  EXPECT_EQ(welcome->maxTextLength, 300);
  EXPECT_EQ(welcome->adminName, "Ada Admin");
  EXPECT_EQ(welcome->adminMail, "ada@example.org");
  EXPECT_EQ(welcome->standardRoom, "Garden");
  EXPECT_EQ(welcome->onlyRoom, "");  // two rooms
  EXPECT_TRUE(std::regex_match(welcome->loginKey, std::regex("[0-9A-F]{32}"))) << welcome->loginKey;
  EXPECT_EQ(welcome->protocol, "0.6");

  auto second = server.Connect();
  const auto other = second.ReceiveWelcome(kWait);
  ASSERT_TRUE(other);
  EXPECT_NE(other->loginKey, welcome->loginKey);
}

TEST(ServerWelcome, TheOnlyRoomIsNamedAndTheTextIsLeftOutWhenSwitchedOff) {
  ServerHarness server;
  server.Set("WelcomeMessage", "SendWelcomeMessage", "0");
  server.dir().write("config/chatrooms.cfg", "[Lobby]\r\nDescription=\r\n");
  ASSERT_TRUE(server.Start());

  auto client = server.Connect();
  const auto packet = client.ReceiveCommand("welcome", kWait);
  ASSERT_TRUE(packet);
  EXPECT_EQ(packet->payload.back(), '\0');  // "0.6", NUL and nothing after it
  const auto welcome = client::ParseWelcome(packet->payload);
  ASSERT_TRUE(welcome);
  EXPECT_EQ(welcome->onlyRoom, "Lobby");
  EXPECT_EQ(welcome->standardRoom, "");
}

// Accounts, bans and nicknames that the login table below works with.
class ServerLogin : public ::testing::Test {
 protected:
  void SetUp() override {
    server.dir().write("config/users.cfg",
                       "[Keeper]\r\nActive=1\r\nPassword=" + Base64Encode("s3cret") +
                           "\r\n"
                           "[Open]\r\nActive=1\r\nPassword=\r\n"
                           "[Loose]\r\nActive=1\r\n"
                           "[Sleeper]\r\nActive=0\r\nPassword=\r\n"
                           "[EvilAdmin]\r\nActive=1\r\n");
    server.dir().write("config/ban.cfg", "[Nick-Range]\r\n0=evil\r\n");
  }

  struct Outcome {
    std::string status;
    std::string nickname;
  };
  // One login on a new connection.
  Outcome LogIn(const std::string& nickname, const std::string& password) {
    auto client = server.Connect();
    if (!client.ReceiveWelcome(kWait)) return {"no welcome", ""};
    const auto reply = client.Login(nickname, password, 0, "test", kWait);
    if (!reply) return {"no reply: " + client.LastErrorText(), ""};
    if (!reply->Accepted() && !client.WaitForClose(kWait)) return {reply->status + " but still open", ""};
    return {reply->status, reply->nickname};
  }

  ServerHarness server;
};

TEST_F(ServerLogin, OutcomesByAccountPasswordBanAndNickname) {
  ASSERT_TRUE(server.Start());
  struct Case {
    const char* nickname;
    const char* password;
    const char* status;
    const char* accepted;  // the nickname in the reply
  };
  const Case cases[] = {
      {"Guest1", "", "ok", "Guest1"},
      {"Keeper", "s3cret", "ok", "Keeper"},
      {"keeper", "wrong", "denied", ""},
      {"Open", "", "ok", "Open"},
      {"loose", "anything", "ok_nopwd", "loose"},  // an account without password takes any proof
      {"Sleeper", "", "denied", ""},             // inactive, although guests are welcome
      {"MrEVILguy", "", "denied", ""},           // banned part, any case
      {"EvilAdmin", "", "ok", "EvilAdmin"},      // accounts are not held to the nickname bans
      {"", "", "denied", ""},
      {" @ @\t", "", "denied", ""},
      {"@Alice ", "", "ok", "Alice"},
      {"Say \"Hi\"", "", "ok", "Say 'Hi'"},
      {"Long456789012345678901234567890123456789012345", "", "ok", "Long456789012345678901234567890123456789"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = LogIn(c.nickname, c.password);
    EXPECT_EQ(outcome.status, c.status) << "'" << c.nickname << "'";
    EXPECT_EQ(outcome.nickname, c.accepted) << "'" << c.nickname << "'";
  }
  EXPECT_TRUE(server.WaitForLog("msgErrorDenied", {{"%name", "keeper"}}));
  EXPECT_TRUE(server.WaitForLog("msgClientAccepted", {{"%name", "Alice"}}));
}

TEST_F(ServerLogin, AnyProtocolVersionButTheCurrentIsUnsupported) {
  ASSERT_TRUE(server.Start());
  const std::string threeFields = std::string("Guest") + '\0' + "" + '\0' + "0";
  for (const std::string& payload : {LoginPayload("Guest", "", "0.5"), threeFields}) {
    auto client = server.Connect();
    ASSERT_TRUE(client.ReceiveWelcome(kWait));
    ASSERT_TRUE(client.Send("login", payload));
    const auto reply = client.ReceiveCommand("acceptUser", kWait);
    ASSERT_TRUE(reply) << client.LastErrorText();
    EXPECT_EQ(reply->payload, "unsupported");
    EXPECT_TRUE(client.WaitForClose(kWait));
  }
  EXPECT_TRUE(server.WaitForLog("msgErrorVersion", {{"%ver", "0.5"}}));
}

TEST_F(ServerLogin, WithoutGuestsOnlyAccountsGetIn) {
  server.Set("General", "AllowGuests", "0");
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(LogIn("Stranger", "").status, "noguests");
  EXPECT_TRUE(server.WaitForLog("msgErrorNoGuests", {{"%name", "Stranger"}}));
  EXPECT_EQ(LogIn("Open", "").status, "ok");
}

TEST_F(ServerLogin, CommandsBeforeTheLoginAreIgnoredAndASecondLoginToo) {
  ASSERT_TRUE(server.Start());
  auto client = server.Connect();
  ASSERT_TRUE(client.ReceiveWelcome(kWait));
  ASSERT_TRUE(client.Send("ping", ""));
  ASSERT_TRUE(client.Send("message", std::string("public") + '\0' + "hello"));
  const auto reply = client.Login("Early", "", 0, "test", kWait);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status, "ok");
  // A "pong" to the early ping would have arrived before the reply.
  EXPECT_TRUE(client.TakePending().empty());

  ASSERT_TRUE(client.Send("login", LoginPayload("Other")));
  ASSERT_TRUE(client.Send("ping", ""));
  const auto pong = client.Receive(kWait);
  ASSERT_TRUE(pong) << client.LastErrorText();
  EXPECT_EQ(pong->command, "pong");  // nothing came back for the second login
}

TEST_F(ServerLogin, UnknownCommandsAreLoggedAndCommandNamesAreCaseSensitive) {
  server.Set("LogMessages", "UnknownCommand_Show", "1");
  ASSERT_TRUE(server.Start());
  auto client = server.LoggedIn("Typo");
  ASSERT_TRUE(client.Send("Ping", "abc"));
  ASSERT_TRUE(client.Send("ping", ""));
  const auto answer = client.Receive(kWait);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->command, "pong");  // nothing for "Ping"
  EXPECT_TRUE(server.WaitForLog("msgUnknownCommand", {{"%id", "1"}, {"%cmd", "Ping"}, {"%size", "3"}}));
}

TEST_F(ServerLogin, AConnectionMadeBeforeTheServerFilledUpCannotLogInBeyondTheLimit) {
  server.Set("General", "MaxUserCount", "1");
  ASSERT_TRUE(server.Start());
  auto early = server.Connect();
  ASSERT_TRUE(early.ReceiveWelcome(kWait));
  auto first = server.LoggedIn("First");
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.ServerStatus(); }), StatusFull);
  const auto reply = early.Login("Early", "", 0, "test", kWait);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status, "denied");
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().UserCount(); }), 1);
}

// The holder of a nickname that answers its pings keeps it, and the newcomer hears "used" as
// soon as it has answered; a dead one loses it to the newcomer, who waits PingTimeout * 1.25 +
// 2000 ms (here 2250 ms) for that.
class ServerNicknameWait : public ::testing::Test {
 protected:
  ServerHarness server;
};

TEST_F(ServerNicknameWait, ALiveHolderKeepsTheNicknameAndTheNewcomerHearsUsedOnceItHasAnswered) {
  server.Set("General", "PingDelay", "300");
  server.Set("General", "PingTimeout", "8000");  // a full wait would take 12 s
  ASSERT_TRUE(server.Start());
  auto holder = server.LoggedIn("Sam");
  // The holder answers pings while the newcomer waits.
  std::atomic<bool> done{false};
  std::thread answering([&] {
    while (!done) holder.Receive(std::chrono::milliseconds(20));
  });
  auto newcomer = server.Connect();
  newcomer.SetAutoPong(false);
  ASSERT_TRUE(newcomer.ReceiveWelcome(kWait));
  const auto start = std::chrono::steady_clock::now();
  const auto reply = newcomer.Login("SAM", "", 0, "test", std::chrono::seconds(6));
  const auto waited = std::chrono::steady_clock::now() - start;
  done = true;
  answering.join();
  ASSERT_TRUE(reply) << newcomer.LastErrorText();
  EXPECT_EQ(reply->status, "used");
  // Not the whole wait: the answer to the holder's ping settled it.
  EXPECT_LT(waited, std::chrono::seconds(6));
  EXPECT_TRUE(newcomer.WaitForClose(kWait));
  EXPECT_TRUE(server.WaitForLog("msgChatnameAlreadyUsed", {{"%id", "2"}}));
  // The ping cycle passes over a waiting login: at most a ping from before the login came.
  EXPECT_LE(newcomer.TakePending().size(), 1u);

  ASSERT_TRUE(holder.Send("ping", ""));
  EXPECT_TRUE(holder.ReceiveCommand("pong", kWait));
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().At(1).nickname; }), "Sam");
}

TEST_F(ServerNicknameWait, ADeadHolderIsDroppedByItsPingAndTheNewcomerGetsIn) {
  ASSERT_TRUE(server.Start());
  auto holder = server.LoggedIn("Sam");
  holder.SetAutoPong(false);
  auto newcomer = server.Connect();
  ASSERT_TRUE(newcomer.ReceiveWelcome(kWait));
  const auto reply = newcomer.Login("sam", "", 0, "test", std::chrono::seconds(6));
  ASSERT_TRUE(reply) << newcomer.LastErrorText();
  EXPECT_EQ(reply->status, "ok");
  EXPECT_EQ(reply->nickname, "sam");
  EXPECT_TRUE(server.WaitForLog("msgPingTimeout", {{"%id", "1"}}));
  EXPECT_TRUE(holder.WaitForClose(kWait));
}

TEST_F(ServerNicknameWait, AWaitThatEndsOnAFullServerIsDenied) {
  server.Set("General", "MaxUserCount", "2");
  ASSERT_TRUE(server.Start());
  auto holder = server.LoggedIn("Sam");
  holder.SetAutoPong(false);
  auto newcomer = server.Connect();
  ASSERT_TRUE(newcomer.ReceiveWelcome(kWait));
  ASSERT_TRUE(newcomer.Send("login", LoginPayload("Sam")));
  ASSERT_TRUE(server.WaitForLog("msgPingTimeout", {{"%id", "1"}}));
  // The wait has two seconds to go when these two fill the server.
  auto other = server.LoggedIn("Other");
  auto third = server.LoggedIn("Third");
  const auto reply = newcomer.ReceiveCommand("acceptUser", std::chrono::seconds(6));
  ASSERT_TRUE(reply) << newcomer.LastErrorText();
  EXPECT_EQ(reply->payload, "denied");
  EXPECT_TRUE(newcomer.WaitForClose(kWait));
  EXPECT_TRUE(server.WaitForLog("msgErrorDenied", {{"%id", "2"}, {"%name", "Sam"}}));
}

TEST_F(ServerNicknameWait, ASecondLoginEndsTheWaitAndNothingIsCountedTwice) {
  server.Set("General", "MaxUserCount", "2");
  server.Set("General", "PingTimeout", "40");  // the wait: 2050 ms
  ASSERT_TRUE(server.Start());
  auto holder = server.LoggedIn("Sam");
  holder.SetAutoPong(false);  // dropped by its ping; the wait would then hand "Sam" over
  auto newcomer = server.Connect();
  ASSERT_TRUE(newcomer.ReceiveWelcome(kWait));
  ASSERT_TRUE(newcomer.Send("login", LoginPayload("Sam")));
  server.Sync();
  const auto reply = newcomer.Login("Tom", "", 0, "test", kWait);
  ASSERT_TRUE(reply) << newcomer.LastErrorText();
  EXPECT_EQ(reply->status, "ok");
  EXPECT_EQ(reply->nickname, "Tom");
  EXPECT_TRUE(server.Call([](ChatServer& s) { return s.Connections().At(2).pendingNickname.empty(); }));
  EXPECT_FALSE(server.Call([](ChatServer& s) { return s.IsTimerActive(2); }));

  // Past the end of the first wait, the newcomer is still Tom and counted once.
  std::this_thread::sleep_for(std::chrono::milliseconds(2200));
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().At(2).nickname; }), "Tom");
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().UserCount(); }), 1);
  EXPECT_FALSE(newcomer.ReceiveCommand("acceptUser", std::chrono::milliseconds(0)));

  newcomer.Close();
  holder.Close();
  ASSERT_TRUE(server.WaitForLog("msgDisconnected", {{"%id", "2"}}));
  server.Sync();
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().UserCount(); }), 0);
  EXPECT_TRUE(server.Call([](ChatServer& s) { return s.Connections().CountsAgreeWithTable(); }));
  auto later = server.Connect();
  const auto welcome = later.ReceiveWelcome(kWait);
  ASSERT_TRUE(welcome);
  EXPECT_EQ(welcome->status, "ok");
}

TEST_F(ServerNicknameWait, AConnectionThatKeepsRetryingALiveNicknameIsRefusedAtTheHoldersFirstAnswer) {
  server.Set("General", "PingTimeout", "2000");  // a full wait: 4500 ms
  ASSERT_TRUE(server.Start());
  auto holder = server.LoggedIn("Sam");
  std::atomic<bool> done{false};
  std::thread answering([&] {
    while (!done) holder.Receive(std::chrono::milliseconds(10));
  });
  auto retrier = server.Connect();
  ASSERT_TRUE(retrier.ReceiveWelcome(kWait));
  const auto start = std::chrono::steady_clock::now();
  bool closed = false;
  while (!closed && std::chrono::steady_clock::now() - start < std::chrono::milliseconds(5000)) {
    retrier.Send("login", LoginPayload("Sam"));
    closed = retrier.WaitForClose(std::chrono::milliseconds(300));
  }
  const auto lasted = std::chrono::steady_clock::now() - start;
  done = true;
  answering.join();
  EXPECT_TRUE(closed);
  EXPECT_LT(lasted, std::chrono::milliseconds(4000));
  const auto reply = retrier.ReceiveCommand("acceptUser", std::chrono::milliseconds(0));
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->payload, "used");
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().At(1).nickname; }), "Sam");
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().ConnectionCount(); }), 1);
  EXPECT_TRUE(server.Call([](ChatServer& s) { return s.Connections().CountsAgreeWithTable(); }));
}

TEST_F(ServerNicknameWait, ConnectionsThatKeepRetryingANicknameOnlyTheyWaitForAreRemovedAtTheirLoginDeadline) {
  server.Set("General", "PingTimeout", "40");  // the wait: 2050 ms; the deadline: 3 * 40 + 3000 ms
  ASSERT_TRUE(server.Start());
  // A holder that never answers: it goes at its ping time-out, and then each retrier waits
  // only for the other, whose next login starts that wait anew.
  auto holder = server.LoggedIn("Sam");
  holder.SetAutoPong(false);
  auto first = server.Connect();
  auto second = server.Connect();
  ASSERT_TRUE(first.ReceiveWelcome(kWait));
  ASSERT_TRUE(second.ReceiveWelcome(kWait));
  const auto start = std::chrono::steady_clock::now();
  bool firstClosed = false;
  bool secondClosed = false;
  while (!(firstClosed && secondClosed) && std::chrono::steady_clock::now() - start < std::chrono::milliseconds(5000)) {
    if (!firstClosed) {
      first.Send("login", LoginPayload("Sam"));
      firstClosed = first.WaitForClose(std::chrono::milliseconds(150));
    }
    if (!secondClosed) {
      second.Send("login", LoginPayload("Sam"));
      secondClosed = second.WaitForClose(std::chrono::milliseconds(150));
    }
  }
  const auto lasted = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(firstClosed && secondClosed);
  EXPECT_LT(lasted, std::chrono::milliseconds(4000));
  EXPECT_FALSE(first.ReceiveCommand("acceptUser", std::chrono::milliseconds(0)));
  EXPECT_TRUE(server.WaitForLog("msgPingTimeout", {{"%id", "2"}}));
  EXPECT_TRUE(server.WaitForLog("msgPingTimeout", {{"%id", "3"}}));
  server.Sync();
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().ConnectionCount(); }), 0);
}

TEST_F(ServerNicknameWait, WhatArrivesWhileALoginWaitsIsBounded) {
  ASSERT_TRUE(server.Start());
  // The holder stays silent for now: a holder that answers settles a waiting login at once.
  auto holder = server.LoggedIn("Sam");
  auto waiting = server.Connect();
  ASSERT_TRUE(waiting.ReceiveWelcome(kWait));
  // Logins for the holder's nickname: the first one waits for the holder's answer, so the
  // reader takes one packet per arrival at most. Twice as much as it may hold unhandled, in
  // one go.
  const std::string login = FramePacket(
      "login", std::string("Sam") + '\0' + "" + '\0' + "0" + '\0' + std::string(1000, 'v') + '\0' + "0.6");
  std::string stream;
  while (stream.size() < 2 * kMaxUnhandledInput) stream += login;
  waiting.SendRaw(stream);
  EXPECT_TRUE(waiting.WaitForClose(std::chrono::milliseconds(1500)));
  EXPECT_TRUE(server.WaitForLog("msgErrorInvalidData", {{"%id", "2"}}));
  EXPECT_FALSE(waiting.ReceiveCommand("acceptUser", std::chrono::milliseconds(0)));

  // A logged-in user sending as much at once has every packet handled.
  const std::string pings = FramePacket("ping", std::string(100000, 'p'));
  for (int i = 0; i < 7; ++i) ASSERT_TRUE(holder.SendRaw(pings));
  for (int i = 0; i < 7; ++i) ASSERT_TRUE(holder.ReceiveCommand("pong", kWait)) << "pong " << i + 1;
}

TEST(ServerFullWelcome, ALoginThatBeatsTheCloseAfterAFullWelcomeIsDenied) {
  ServerHarness server;
  server.Set("General", "MaxUserCount", "1");
  ASSERT_TRUE(server.Start());
  auto first = server.LoggedIn("First");
  // The login leaves with the connect, before the full welcome can have arrived; repeated, as
  // the order of the server's steps is up to the loop.
  for (int attempt = 0; attempt < 10; ++attempt) {
    testing::RawClient late(server.port());
    late.Send(FramePacket("login", LoginPayload("Late" + std::to_string(attempt))));
    std::string received;
    while (late.fd >= 0) {
      const std::string more = late.Receive(1000);
      if (more.empty()) break;
      received += more;
    }
    EXPECT_NE(received.find("\r\nfull\r\n"), std::string::npos) << "attempt " << attempt;
    EXPECT_EQ(received.find("acceptUser\r\n"), received.find("acceptUser\r\n6\r\n\x02\r\ndenied"))
        << "attempt " << attempt;
    EXPECT_LE(server.Call([](ChatServer& s) { return s.Connections().UserCount(); }), 1) << "attempt " << attempt;
  }
  server.Sync();
  EXPECT_EQ(server.CountLog("msgClientAccepted"), 1);
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().UserCount(); }), 1);
}

}  // namespace
}  // namespace velmorin
