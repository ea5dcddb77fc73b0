#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "client/ChatClient.hpp"
#include "codec/Sha256.hpp"
#include "support/ScriptedServer.hpp"

namespace velmorin::client {
namespace {

using namespace std::string_literals;
using std::chrono::milliseconds;

constexpr milliseconds kBound{5000};  // only a bound on waits, never a measured time
const std::string kLoginKey = "0123456789ABCDEF0123456789ABCDEF";

// The server end is played by hand on one thread: everything it should answer is written
// before the client asks, so nothing ever waits on the other side.
using testing::ScriptedServer;

std::string WelcomePayload(std::string_view text) {
  return "3.0.0\r\nok\r\nEnglish\r\n1024\r\nAdmin\r\nadmin@example.org\r\nLobby\r\n\r\n" + kLoginKey +
         "\r\n0.6\0"s + std::string(text);
}

TEST(ClientWelcome, ParsesTheTenLinesAndTheTextAfterTheNul) {
  const auto welcome = ParseWelcome(WelcomePayload("Hello\r\nthere\0!"s));
  ASSERT_TRUE(welcome);
  EXPECT_EQ(welcome->version, "3.0.0");
  EXPECT_EQ(welcome->status, "ok");
  EXPECT_EQ(welcome->language, "English");
  EXPECT_EQ(welcome->maxTextLength, 1024);
  EXPECT_EQ(welcome->adminName, "Admin");
  EXPECT_EQ(welcome->adminMail, "admin@example.org");
  EXPECT_EQ(welcome->standardRoom, "Lobby");
  EXPECT_EQ(welcome->onlyRoom, "");
  EXPECT_EQ(welcome->loginKey, kLoginKey);
  EXPECT_EQ(welcome->protocol, "0.6");
  EXPECT_EQ(welcome->welcomeText, "Hello\r\nthere\0!"s);
}

TEST(ClientWelcome, RefusesOtherShapes) {
  const std::string bad[] = {
      "", "3.0.0\r\nok\r\nEnglish\r\n1024\r\nA\r\nB\r\nC\r\nD\r\nKEY\0text"s,  // nine lines
      "3.0.0\r\nok\r\nEnglish\r\nmany\r\nA\r\nB\r\nC\r\nD\r\nKEY\r\n0.6\0"s,  // length not a number
  };
  for (const std::string& payload : bad) EXPECT_FALSE(ParseWelcome(payload)) << payload;
  EXPECT_TRUE(ParseWelcome(WelcomePayload("")));
}

// The proof and the SessionKey must match what the server computes from its stored password,
// which on "ok_nopwd" is none at all.
TEST(ChatClient, LoginSendsTheProofAndKeepsTheServersSessionKey) {
  struct Case {
    std::string password;
    std::string reply;
    std::string expectedProof;
    std::string expectedSessionKey;
  };
  const Case cases[] = {
      {"secret", "ok\0Anna"s, SHA256Hex("secret" + kLoginKey), SHA256Hex("Anna" "secret" + kLoginKey)},
      {"", "ok\0Anna"s, "", SHA256Hex("Anna" + kLoginKey)},
      {"secret", "ok_nopwd\0Anna"s, SHA256Hex("secret" + kLoginKey), SHA256Hex("Anna" + kLoginKey)},
      {"wrong", "denied", SHA256Hex("wrong" + kLoginKey), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    ScriptedServer server;
    ChatClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", server.Port(), kBound)) << client.LastErrorText();
    ASSERT_TRUE(server.Accept());
    server.Send("welcome", WelcomePayload("hi"));
    server.Send("acceptUser", c.reply);

    ASSERT_TRUE(client.ReceiveWelcome(kBound));
    EXPECT_EQ(client.LoginKey(), kLoginKey);
    const auto reply = client.Login(" @Anna", c.password, 255, "1.2", kBound);
    ASSERT_TRUE(reply) << client.LastErrorText();
    EXPECT_EQ(reply->Accepted(), !c.expectedSessionKey.empty());
    EXPECT_EQ(reply->status + (reply->nickname.empty() ? "" : "\0"s + reply->nickname), c.reply);
    EXPECT_EQ(client.SessionKey(), c.expectedSessionKey);

    const auto login = server.ReadPacket();
    ASSERT_TRUE(login);
    EXPECT_EQ(*login, (Packet{"login", " @Anna\0"s + c.expectedProof + "\0" "255\0" "1.2\0" "0.6"s}));
  }
}

TEST(ChatClient, LoginNeedsTheWelcomeFirst) {
  ScriptedServer server;
  ChatClient client;
  ASSERT_TRUE(client.Connect("localhost", server.Port(), kBound)) << client.LastErrorText();
  EXPECT_FALSE(client.Login("Anna", "", 0, "1.0", kBound));
  EXPECT_EQ(client.LastError(), ClientError::kSequence);
}

TEST(ChatClient, KeepsOtherPacketsInOrderWhileWaitingAndAnswersPings) {
  ScriptedServer server;
  ChatClient client;
  ASSERT_TRUE(client.Connect("127.0.0.1", server.Port(), kBound));
  ASSERT_TRUE(server.Accept());
  server.Send("userJoined", "Bert");
  server.Send("ping", "");
  server.Send("message", "server\0hello"s);
  server.Send("userLeft", "Bert");

  EXPECT_EQ(client.ReceiveCommand("message", kBound), (Packet{"message", "server\0hello"s}));
  EXPECT_EQ(client.Receive(kBound), (Packet{"userJoined", "Bert"}));
  EXPECT_EQ(client.Receive(kBound), (Packet{"userLeft", "Bert"}));
  EXPECT_EQ(client.Receive(milliseconds(0)), std::nullopt);
  EXPECT_EQ(client.LastError(), ClientError::kTimeout);
  EXPECT_EQ(server.ReadPacket(), (Packet{"pong", ""}));

  client.SetAutoPong(false);
  server.Send("ping", "");
  EXPECT_EQ(client.Receive(kBound), (Packet{"ping", ""}));
}

TEST(ChatClient, DeliversWhatCameBeforeTheServerClosed) {
  ScriptedServer server;
  ChatClient client;
  ASSERT_TRUE(client.Connect("127.0.0.1", server.Port(), kBound));
  ASSERT_TRUE(server.Accept());
  server.Send("message", "server\0bye"s);
  server.Send("acceptUser", "denied");
  server.CloseConnection();

  EXPECT_TRUE(client.WaitForClose(kBound));
  EXPECT_EQ(client.ReceiveCommand("acceptUser", kBound), (Packet{"acceptUser", "denied"}));
  EXPECT_EQ(client.Receive(kBound), (Packet{"message", "server\0bye"s}));
  EXPECT_EQ(client.Receive(kBound), std::nullopt);
  EXPECT_EQ(client.LastError(), ClientError::kClosed);
}

TEST(ChatClient, ReportsBadFramingAfterTheGoodPackets) {
  ScriptedServer server;
  ChatClient client;
  ASSERT_TRUE(client.Connect("127.0.0.1", server.Port(), kBound));
  ASSERT_TRUE(server.Accept());
  server.Send("pong", "");
  server.Write("ping\r\nabc\r\n\x02\r\n");

  EXPECT_EQ(client.Receive(kBound), (Packet{"pong", ""}));
  EXPECT_EQ(client.Receive(kBound), std::nullopt);
  EXPECT_EQ(client.LastError(), ClientError::kMalformed);
}

TEST(ChatClient, ConnectFailuresAreReturned) {
  ChatClient client;
  std::uint16_t closedPort = 0;
  {
    ScriptedServer gone;
    closedPort = gone.Port();
  }
  EXPECT_FALSE(client.Connect("127.0.0.1", closedPort, kBound));
  EXPECT_EQ(client.LastError(), ClientError::kConnect);
  EXPECT_FALSE(client.Send("ping", ""));
  EXPECT_EQ(client.LastError(), ClientError::kNotConnected);
}

}  // namespace
}  // namespace velmorin::client
