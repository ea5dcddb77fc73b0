// Encryption plugins in the running server: loading at going online, the offered list, the key
// exchange and the per-packet transform, through the tagging test cipher (tests/plugins), whose
// transform can be read on the wire.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "codec/FieldCipher.hpp"
#include "codec/IniValues.hpp"
#include "codec/PacketWriter.hpp"
#include "codec/Sha256.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/Text.hpp"
#include "server/ChatServer.hpp"
#include "support/PacketText.hpp"
#include "support/ServerHarness.hpp"

namespace velmorin {
namespace {

using client::ChatClient;
using testing::F;
using testing::P;
using testing::Seen;
using testing::ServerHarness;

class EncryptionPluginTest : public ::testing::Test {
 protected:
  void Install(const std::string& library, const std::string& component) {
    server.dir().installPlugin(std::string(VELMORIN_TEST_PLUGIN_DIR) + "/" + library + ".so", component);
  }
  Seen Arrived(ChatClient& user) { return testing::Arrived(server, user); }
  Seen Ask(ChatClient& user, const std::string& command, const std::string& payload) {
    return testing::Ask(server, user, command, payload);
  }
  std::set<std::string> Offered() {
    const std::string list = server.Call([](ChatServer& s) { return s.LoadedEncryptionPlugins().OfferedList(); });
    const std::vector<std::string> idents = Split(list, std::string(1, '\0'));
    return list.empty() ? std::set<std::string>{} : std::set<std::string>(idents.begin(), idents.end());
  }
  // The client's key as "encryptionkey" carries it: enciphered, CR LF, check.
  static std::string KeyOffer(const ChatClient& user, const std::string& key) {
    return EncryptField(key, user.SessionKey()) + "\r\n" + SHA256Hex(key + user.LoginKey());
  }

  ServerHarness server;
};

TEST_F(EncryptionPluginTest, FirstUseEnablesAndWritesEveryEncryptionPluginAndOffersThem) {
  Install("tagging_cipher", "alpha");
  Install("tagging_cipher", "beta");
  Install("echo", "echo");
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(Offered(), (std::set<std::string>{"tagging-alpha", "tagging-beta"}));
  EXPECT_EQ(ReadIniValue("Encryption", "alpha", "", Paths().settingsFile), "1");
  EXPECT_EQ(ReadIniValue("Encryption", "beta", "", Paths().settingsFile), "1");
  EXPECT_EQ(ReadIniValue("Encryption", "echo", "<none>", Paths().settingsFile), "<none>");
  ChatClient ann = server.LoggedIn("Ann");
  const Seen list = Ask(ann, "getEncryptionlist", "");
  EXPECT_TRUE(list == Seen{P("encryptionlist", F({"tagging-alpha", "tagging-beta"}))} ||
              list == Seen{P("encryptionlist", F({"tagging-beta", "tagging-alpha"}))});
}

TEST_F(EncryptionPluginTest, TheSectionChoosesInItsOrderAndIgnoresWhatIsNotAnEnabledEncryptionPlugin) {
  for (const char* component : {"alpha", "beta", "gamma"}) Install("tagging_cipher", component);
  Install("echo", "echo");
  for (const char* key : {"gamma=1", "missing=1", "echo=1", "beta=0", "alpha=1"}) {
    const std::vector<std::string> pair = Split(key, "=");
    server.Set("Encryption", pair[0], pair[1]);
  }
  ASSERT_TRUE(server.Start());
  ChatClient ann = server.LoggedIn("Ann");
  EXPECT_EQ(Ask(ann, "getEncryptionlist", ""), Seen{P("encryptionlist", F({"tagging-gamma", "tagging-alpha"}))});
  EXPECT_EQ(ReadIniValue("Encryption", std::nullopt, "", Paths().settingsFile),
            "gamma\r\nmissing\r\necho\r\nbeta\r\nalpha\r\n");
  // Identities are compared exactly; a disabled plugin is not chosen.
  for (const char* name : {"TAGGING-ALPHA", "tagging-beta", "tagging-"}) {
    EXPECT_EQ(Ask(ann, "setEncryption", name), Seen{P("acceptEncryption", "failed")}) << name;
  }
}

TEST_F(EncryptionPluginTest, AfterTheExchangeBothDirectionsPassThroughThePlugin) {
  Install("tagging_cipher", "alpha");
  ASSERT_TRUE(server.Start());
  ChatClient ann = server.LoggedIn("Ann");
  ChatClient ben = server.LoggedIn("Ben");
  for (ChatClient* user : {&ann, &ben}) ASSERT_TRUE(user->Send("joinChatroom", F({"Lobby", ""})));
  Arrived(ann);
  Arrived(ben);

  ASSERT_EQ(Ask(ann, "setEncryption", "tagging-alpha"), Seen{P("acceptEncryption", F({"ok", "tagging-alpha"}))});
  ASSERT_TRUE(ann.Send("encryptionkey", KeyOffer(ann, "ann-key")));
  const auto reply = ann.ReceiveCommand("encryptionkey", testing::kWait);
  ASSERT_TRUE(reply.has_value());
  const std::vector<std::string> parts = Split(reply->payload, "\r\n");
  ASSERT_EQ(parts.size(), 3u);
  const std::string serverKey = "server-key-1:ann-key";
  EXPECT_EQ(DecryptField(parts[0], ann.SessionKey()), serverKey);
  EXPECT_EQ(parts[1], SHA256Hex(serverKey + ann.LoginKey()));
  EXPECT_EQ(parts[2], "ok");
  EXPECT_EQ(Ask(ann, "ping", ""), Seen{P("pong", "")}) << "plain until the client agrees";
  ASSERT_EQ(Ask(ann, "acceptEncryptionkey", "ok"), Seen{});

  // Payloads are transformed both ways; the header length is that of the transformed text.
  EXPECT_EQ(Ask(ann, "ping", "alpha()"), Seen{P("pong", "alpha()")});
  EXPECT_EQ(Ask(ann, "message", "alpha(" + F({"normal", "", "hello"}) + ")"),
            Seen{P("message", "alpha(" + F({"normal", "Ann", "255", "hello"}) + ")")});
  EXPECT_EQ(Arrived(ben), Seen{P("message", F({"normal", "Ann", "255", "hello"}))}) << "others stay plain";
  ASSERT_TRUE(ben.Send("message", F({"normal", "", "hi"})));
  EXPECT_EQ(Arrived(ann), Seen{P("message", "alpha(" + F({"normal", "Ben", "255", "hi"}) + ")")});
  EXPECT_EQ(Arrived(ben), Seen{P("message", F({"normal", "Ben", "255", "hi"}))});

  // A payload that does not decrypt is logged and never reaches the dispatcher. Within one
  // second of the log clock the connection's second failure is counted, not written.
  server.Call([](ChatServer& s) { s.Log().SetClock([] { return std::time_t{1000000}; }); });
  EXPECT_EQ(Ask(ann, "ping", ""), Seen{});
  EXPECT_EQ(Ask(ann, "message", F({"normal", "", "clear text"})), Seen{});
  EXPECT_EQ(Arrived(ben), Seen{});
  EXPECT_EQ(server.CountLog("msgErrorRaised"), 1);
  EXPECT_EQ(Ask(ann, "ping", "alpha()"), Seen{P("pong", "alpha()")}) << "the connection goes on";

  // Leaving resets the plugin's keys for the connection.
  ann.Close();
  server.Sync();
  EXPECT_TRUE(server.WaitForLog("msgDisconnected", {{"%id", "1"}}));
  EXPECT_EQ(server.CountLog("msgSuppressedClient", {{"%id", "1"}, {"%count", "1"}, {"%type", "ErrorRaised"}}), 1);
  EXPECT_EQ(server.dir().read("plugins/alpha.calls"), "setkey 1 ann-key\nreset 1\n");
}

TEST_F(EncryptionPluginTest, AKeyThePluginRefusesOrABadAnswerLeavesTheConnectionPlain) {
  Install("tagging_cipher", "alpha");
  ASSERT_TRUE(server.Start());
  ChatClient ann = server.LoggedIn("Ann");
  ASSERT_EQ(Ask(ann, "setEncryption", "tagging-alpha"), Seen{P("acceptEncryption", F({"ok", "tagging-alpha"}))});
  EXPECT_EQ(Ask(ann, "encryptionkey", KeyOffer(ann, "refuse")), Seen{P("encryptionkey", "\r\n\r\nbadCRC")});
  EXPECT_EQ(server.CountLog("msgErrorRaised"), 1);
  EXPECT_EQ(Ask(ann, "acceptEncryptionkey", "ok"), Seen{});
  EXPECT_EQ(Ask(ann, "ping", ""), Seen{P("pong", "")}) << "no plugin chosen any more";

  // The client turns the server's key down; both times the plugin forgets the connection.
  ASSERT_EQ(Ask(ann, "setEncryption", "tagging-alpha"), Seen{P("acceptEncryption", F({"ok", "tagging-alpha"}))});
  ASSERT_TRUE(ann.Send("encryptionkey", KeyOffer(ann, "second")));
  ASSERT_TRUE(ann.ReceiveCommand("encryptionkey", testing::kWait).has_value());
  EXPECT_EQ(Ask(ann, "acceptEncryptionkey", "badCRC"), Seen{});
  EXPECT_EQ(server.CountLog("msgErrorCRC", {{"%id", "1"}, {"%cmd", "acceptEncryptionkey"}}), 1);
  EXPECT_EQ(Ask(ann, "acceptEncryptionkey", "ok"), Seen{});
  EXPECT_EQ(Ask(ann, "ping", ""), Seen{P("pong", "")});
  EXPECT_EQ(server.dir().read("plugins/alpha.calls"), "setkey 1 refuse\nreset 1\nsetkey 1 second\nreset 1\n");
}

TEST_F(EncryptionPluginTest, GoingOfflineReleasesThePluginsAndOnlineReadsTheSectionAgain) {
  Install("tagging_cipher", "alpha");
  Install("tagging_cipher", "beta");
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(Offered().size(), 2u);
  server.Call([](ChatServer& s) { s.ChangeStatus(false); });
  EXPECT_EQ(Offered(), std::set<std::string>{});
  WriteIniValue("Encryption", "alpha", "0", Paths().settingsFile);
  server.Call([](ChatServer& s) { s.ChangeStatus(false); });
  EXPECT_EQ(Offered(), std::set<std::string>{"tagging-beta"});
}

TEST_F(EncryptionPluginTest, TwoClientsChatEncryptedThroughTheShippedPlugin) {
  server.dir().installPlugin(std::string(VELMORIN_DIST_DIR) + "/plugins/sealed_channel.so", "sealed_channel");
  ASSERT_TRUE(server.Start());
  ChatClient ann = server.LoggedIn("Ann");
  ChatClient ben = server.LoggedIn("Ben");
  ChatClient cat = server.LoggedIn("Cat");  // stays in clear
  for (ChatClient* user : {&ann, &ben}) {
    ASSERT_TRUE(user->EnableEncryption(testing::kWait)) << user->LastErrorText();
    EXPECT_TRUE(user->Encrypted());
  }
  for (ChatClient* user : {&ann, &ben, &cat}) ASSERT_TRUE(user->Send("joinChatroom", F({"Lobby", ""})));
  for (ChatClient* user : {&ann, &ben, &cat}) Arrived(*user);

  ASSERT_TRUE(ann.Send("message", F({"normal", "", "hello"})));
  for (ChatClient* user : {&ann, &ben, &cat}) {
    EXPECT_EQ(Arrived(*user), Seen{P("message", F({"normal", "Ann", "255", "hello"}))});
  }
  ASSERT_TRUE(ben.Send("message", F({"private", "ann", "psst"})));
  const Seen whisper{P("message", F({"private", "Ben", "Ann", "255", "psst"}))};
  EXPECT_EQ(Arrived(ann), whisper);
  EXPECT_EQ(Arrived(ben), whisper);
  EXPECT_EQ(Arrived(cat), Seen{});

  // A forged payload is logged and goes nowhere; the channel survives it.
  ASSERT_TRUE(ann.SendRaw(FramePacket("message", "bm9ybWFsAAB0YW1wZXJlZA==")));
  for (ChatClient* user : {&ann, &ben, &cat}) EXPECT_EQ(Arrived(*user), Seen{});
  EXPECT_EQ(server.CountLog("msgErrorRaised"), 1);
  EXPECT_EQ(Ask(ann, "findPerson", "be"), Seen{P("searchResult", testing::Cols({"Ben", "Lobby", "0"}))});
  EXPECT_EQ(ann.DroppedPackets() + ben.DroppedPackets(), 0);
}

TEST_F(EncryptionPluginTest, TheClientReportsAServerWithoutTheChannel) {
  Install("tagging_cipher", "alpha");
  ASSERT_TRUE(server.Start());
  ChatClient ann = server.LoggedIn("Ann");
  EXPECT_FALSE(ann.EnableEncryption(testing::kWait));
  EXPECT_EQ(ann.LastError(), client::ClientError::kEncryption);
  EXPECT_FALSE(ann.Encrypted());
  EXPECT_EQ(Ask(ann, "ping", ""), Seen{P("pong", "")});
}

}  // namespace
}  // namespace velmorin
