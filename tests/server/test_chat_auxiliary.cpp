// File-transfer set-up, nickname search, encryption negotiation without plugins, server
// commands and the relays between clients, end to end against the running server.

#include <gtest/gtest.h>

#include <chrono>
#include <initializer_list>
#include <string>
#include <vector>

#include "codec/FieldCipher.hpp"
#include "codec/Sha256.hpp"
#include "support/PacketText.hpp"
#include "support/ServerHarness.hpp"

namespace velmorin {
namespace {

using client::ChatClient;
using testing::kWait;
using testing::ServerHarness;
using testing::Cols;
using testing::F;
using testing::P;
using testing::Seen;

// Ann, Ben and Cat logged in; the default room (Lobby) exists.
class ChatAuxiliary : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.Start());
    ann = server.LoggedIn("Ann");
    ben = server.LoggedIn("Ben");
    cat = server.LoggedIn("Cat");
  }

  Seen Arrived(ChatClient& user) { return testing::Arrived(server, user); }
  // Sends a request and returns everything that came back to the sender.
  Seen Ask(ChatClient& user, const std::string& command, const std::string& payload) {
    return testing::Ask(server, user, command, payload);
  }

  ServerHarness server;
  ChatClient ann, ben, cat;
};

using ChatFileTransfer = ChatAuxiliary;
using ChatFindPerson = ChatAuxiliary;
using ChatEncryption = ChatAuxiliary;
using ChatServerCommand = ChatAuxiliary;
using ChatPluginRelay = ChatAuxiliary;

TEST_F(ChatFileTransfer, RequestsAnswersAndAbortsAreRelayedUnderTheSendersNickname) {
  // Seven fields go on; more are dropped. From 127.0.0.1 the address list stays as it is.
  EXPECT_EQ(Ask(ann, "fileRequest", F({"ben", "10.0.0.5\r\n192.168.1.2", "f1", "f2", "f3", "f4", "f5", "extra"})),
            Seen{});
  EXPECT_EQ(Arrived(ben), Seen{P("fileRequest", F({"Ann", "10.0.0.5\r\n192.168.1.2", "f1", "f2", "f3", "f4", "f5"}))});
  EXPECT_EQ(Ask(ann, "fileRequest", F({"Ghost", "10.0.0.5", "", "", "", "", ""})),
            Seen{P("acceptFiles", F({"Ghost", "userNotFound"}))});

  EXPECT_EQ(Ask(ben, "acceptFiles", F({"ANN", "5000"})), Seen{});
  EXPECT_EQ(Arrived(ann), Seen{P("acceptFiles", F({"Ben", "5000"}))});
  EXPECT_EQ(Ask(ben, "abortFiletransfer", F({"ann", "f1", "cancelled"})), Seen{});
  EXPECT_EQ(Ask(ben, "abortFiletransfer", F({"ann", "f2"})), Seen{});
  EXPECT_EQ(Arrived(ann), (Seen{P("abortFiletransfer", F({"Ben", "f1", "cancelled"})),
                                P("abortFiletransfer", F({"Ben", "f2", ""}))}));

  // Answers and aborts for a nickname nobody has are dropped.
  EXPECT_EQ(Ask(ben, "acceptFiles", F({"Ghost", "5000"})), Seen{});
  EXPECT_EQ(Ask(ben, "abortFiletransfer", F({"Ghost", "f1", "x"})), Seen{});
  EXPECT_EQ(Arrived(ann), Seen{});
  EXPECT_EQ(Arrived(cat), Seen{});
}

TEST_F(ChatFileTransfer, ARequestWithFewerThanSevenFieldsIsLoggedAndNotRelayed) {
  EXPECT_EQ(Ask(ann, "fileRequest", F({"Ben", "10.0.0.5", "f1", "f2", "f3", "f4"})), Seen{});
  EXPECT_EQ(Arrived(ben), Seen{});
  EXPECT_TRUE(server.WaitForLog("msgErrorRaised"));
  // The connection goes on.
  EXPECT_EQ(Ask(ann, "ping", ""), Seen{P("pong", "")});
}

TEST_F(ChatFindPerson, AnyPartOfANicknameMatchesInAnyCaseWithRoomAndAwayState) {
  auto anna = server.LoggedIn("Anna");
  auto hannah = server.LoggedIn("Hannah");
  auto joanne = server.LoggedIn("joANNe");
  for (ChatClient* user : {&anna, &hannah}) ASSERT_TRUE(user->Send("joinChatroom", F({"Lobby", ""})));
  ASSERT_TRUE(anna.Send("setClientState", F({"away", "brb"})));
  server.Sync();

  // Connection order; a user in no room has an empty middle column.
  const std::string anns = Cols({"Ann", "", "0"}) + "\r\n" + Cols({"Anna", "Lobby", "1"}) + "\r\n" +
                           Cols({"Hannah", "Lobby", "0"}) + "\r\n" + Cols({"joANNe", "", "0"});
  struct Case {
    std::string search;
    std::string result;
  };
  const Case cases[] = {
      {"aNN", anns},
      {"  ann  ", anns},
      {F({"ben", "whatever"}), Cols({"Ben", "", "0"})},
      {"nah", Cols({"Hannah", "Lobby", "0"})},
      {"zzz", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Ask(cat, "findPerson", c.search), Seen{P("searchResult", c.result)}) << c.search;
  }
}

TEST_F(ChatEncryption, WithoutPluginsNothingIsOfferedChosenOrKeyed) {
  EXPECT_EQ(Ask(ann, "getEncryptionlist", ""), Seen{P("encryptionlist", "")});
  for (const char* name : {"Cipher", ""}) {
    EXPECT_EQ(Ask(ann, "setEncryption", name), Seen{P("acceptEncryption", "failed")}) << name;
  }

  // A key with a correct check finds no plugin to take it.
  const std::string key = "0123456789";
  const std::string offers[] = {
      EncryptField(key, ann.SessionKey()) + "\r\n" + SHA256Hex(key + ann.LoginKey()),
      "not a cipher\r\nnot a check",
  };
  for (const std::string& offer : offers) {
    EXPECT_EQ(Ask(ann, "encryptionkey", offer), Seen{P("encryptionkey", "\r\n\r\nbadCRC")});
  }
  EXPECT_EQ(server.CountLog("msgErrorRaised"), 1);
  EXPECT_EQ(server.CountLog("msgErrorCRC", {{"%id", "1"}, {"%cmd", "encryptionkey"}}), 1);

  // Agreeing to a key that was never set switches nothing on: the answer stays plain.
  EXPECT_EQ(Ask(ann, "acceptEncryptionkey", "ok"), Seen{});
  EXPECT_EQ(Ask(ann, "ping", ""), Seen{P("pong", "")});
}

TEST_F(ChatServerCommand, WithoutPluginsTheSenderHearsTheCommandIsUnknown) {
  const std::size_t logged = server.LogLines().size();
  std::string text = server.Text("msgUnknownServerCommand");
  ASSERT_NE(text.find("%cmd"), std::string::npos);
  text.replace(text.find("%cmd"), 4, "uptime");
  EXPECT_EQ(Ask(ann, "command", F({"uptime", "now"})), Seen{P("message", F({"server", text}))});
  EXPECT_EQ(server.LogLines().size(), logged);
  EXPECT_EQ(Arrived(ben), Seen{});
}

TEST_F(ChatPluginRelay, DataForAServerPluginNobodyRegisteredIsAnsweredNotFound) {
  EXPECT_EQ(Ask(ann, "serverPluginData", F({"chess.plugin\r\nmove", "e2e4"})),
            Seen{P("serverPluginResponse", F({"pluginnotfound", "chess.plugin"}))});
  EXPECT_TRUE(server.WaitForLog("msgErrorRaised"));
}

TEST_F(ChatPluginRelay, ClientPluginDataReachesTheUsersFoundAndNamesTheMissingOnes) {
  EXPECT_EQ(Ask(ann, "clientPluginData", "chess\r\nv1\r\n" + Cols({"ben", "Ghost", "Nobody"}) + F({"", "board", "state"})),
            Seen{P("clientPluginResponse", F({"usernotfound", "chess", Cols({"Ghost", "Nobody"})}))});
  EXPECT_EQ(Arrived(ben), Seen{P("clientPluginData", "chess\r\nv1\r\nAnn" + F({"", "board", "state"}))});

  // Header parts beyond the third stay; each recipient found gets the data.
  EXPECT_EQ(Ask(ann, "clientPluginData", "chess\r\nv1\r\n" + Cols({"Ben", "CAT"}) + "\r\nextra" + F({"", "data"})),
            Seen{});
  const Seen relayed = {P("clientPluginData", "chess\r\nv1\r\nAnn\r\nextra" + F({"", "data"}))};
  EXPECT_EQ(Arrived(ben), relayed);
  EXPECT_EQ(Arrived(cat), relayed);

  // A plugin's answer to one user carries the sender's nickname in its place.
  EXPECT_EQ(Ask(ben, "pluginResponse", F({"answer", "chess", "ann", "x"})), Seen{});
  EXPECT_EQ(Arrived(ann), Seen{P("clientPluginResponse", F({"answer", "chess", "Ben", "x"}))});
}

TEST_F(ChatPluginRelay, ARecipientNamedManyTimesGetsOneCopyAndStaysConnected) {
  // 200 copies of 60 kB would pass the 4 MiB a connection may have unsent and drop Ben.
  std::string names = "Ben";
  for (int i = 1; i < 200; ++i) names += i % 2 == 0 ? "\x01" "Ben" : "\x01" "BEN";
  const std::string data(60000, 'd');
  EXPECT_EQ(Ask(ann, "clientPluginData", "bulk\r\nv1\r\n" + names + F({"", data})), Seen{});
  EXPECT_EQ(Arrived(ben), Seen{P("clientPluginData", "bulk\r\nv1\r\nAnn" + F({"", data}))});
  EXPECT_EQ(Ask(ben, "ping", ""), Seen{P("pong", "")});
  EXPECT_EQ(server.CountLog("msgErrorSendingData"), 0);
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().UserCount(); }), 3);
}

TEST_F(ChatPluginRelay, AwayMessagesAreAskedForAndAnsweredBetweenUsers) {
  EXPECT_EQ(Ask(ann, "getAwayMessage", "BEN"), Seen{});
  EXPECT_EQ(Arrived(ben), Seen{P("getAwayMessage", "Ann")});
  EXPECT_EQ(Ask(ben, "awaymessage", F({"ann", "Back at five"})), Seen{});
  EXPECT_EQ(Arrived(ann), Seen{P("awaymessage", F({"Ben", "Back at five"}))});

  EXPECT_EQ(Ask(ann, "getAwayMessage", "Ghost"), Seen{});
  EXPECT_EQ(Ask(ben, "awaymessage", F({"Ghost", "lost"})), Seen{});
  for (ChatClient* user : {&ann, &ben, &cat}) EXPECT_EQ(Arrived(*user), Seen{});
}

}  // namespace
}  // namespace velmorin
