// The example plugin examples/plugins/badword_filter.cpp in the running server: installed into
// a program directory with a word list, it masks listed words in room messages that real
// clients exchange over loopback.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Text.hpp"
#include "server/ChatServer.hpp"
#include "server/PluginCommands.hpp"
#include "support/PacketText.hpp"
#include "support/ServerHarness.hpp"

namespace velmorin {
namespace {

using client::ChatClient;
using testing::F;
using testing::P;
using testing::Seen;
using testing::ServerHarness;

// Comments, blank lines, blanks around words, CR LF and LF mixed, an upper-case entry, and an
// entry with a blank inside (which can never match a word).
const std::string kWordList =
    "# masked in every room\r\n"
    "darn\r\n"
    "\r\n"
    "  HECK \r\n"
    "# drat\n"
    "blast it\n"
    "frak\n";

class ExampleBadWordFilter : public ::testing::Test {
 protected:
  void SetUp() override {
    server.dir().write("config/chatrooms.cfg", "[Lobby]\r\nDescription=Main hall\r\n");
    server.dir().installPlugin(std::string(VELMORIN_EXAMPLE_PLUGIN_DIR) + "/badword_filter.so", "badword_filter");
  }

  // Logged in and joined to the Lobby; what else arrived is left for Arrived.
  ChatClient InLobby(const std::string& nickname) {
    ChatClient user = server.LoggedIn(nickname);
    EXPECT_EQ(testing::Join(user, "Lobby"), F({"Lobby", "ok"}));
    return user;
  }
  Seen Arrived(ChatClient& user) { return testing::Arrived(server, user); }
  // The packet a room member receives for Ann's message of that kind and text.
  static std::string Received(const std::string& kind, const std::string& text) {
    return P("message", F({kind, "Ann", "255", text}));
  }
  std::string Subscribers(const std::string& event) {
    return server.Call([&](ChatServer& s) { return s.Commands().Registry().Entry(event).value_or("<none>"); });
  }

  ServerHarness server;
};

TEST_F(ExampleBadWordFilter, MasksListedWholeWordsInTheTextOnly) {
  server.dir().write("config/badwords.txt", kWordList);
  ASSERT_TRUE(server.Start());
  auto ann = InLobby("Ann");
  auto heck = InLobby("Heck");  // a nickname on the list: recipients must stay untouched
  Arrived(ann);
  Arrived(heck);

  struct Case {
    std::string sent;      // the message payload Ann sends
    std::string received;  // the packet Heck receives
  };
  const std::vector<Case> cases = {
      {F({"normal", "", "darn"}), Received("normal", "****")},
      {F({"normal", "", "Well DARN it, Heck!"}), Received("normal", "Well **** it, ****!")},
      {F({"normal", "", "(darn)...heck?frak"}), Received("normal", "(****)...****?****")},
      // Words that merely contain a listed word, non-ASCII letters included, are other words.
      {F({"normal", "", "darned heckle undarn frak2 darn\xC3\xA9"}),
       Received("normal", "darned heckle undarn frak2 darn\xC3\xA9")},
      // Comment lines and entries with blanks inside list nothing.
      {F({"normal", "", "drat, blast it"}), Received("normal", "drat, blast it")},
      // Other kinds are filtered too; the recipients field is not.
      {F({"me", "", "says heck"}), Received("me", "says ****")},
      {F({"normal", "Heck", "heck, hi"}), Received("normal", "****, hi")},
      // A field appended after the text cannot smuggle the text past the filter.
      {F({"normal", "", "darn", "extra"}), Received("normal", "****")},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(ann.Send("message", c.sent));
    EXPECT_EQ(Arrived(heck), Seen{c.received}) << "sent: " << ReplaceAll(c.sent, std::string(1, '\0'), "|");
    Arrived(ann);
  }
}

TEST_F(ExampleBadWordFilter, WithoutAWordListMessagesPassUnchanged) {
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(Subscribers("NewMessage"), "badword-filter");  // running, with nothing to mask
  auto ann = InLobby("Ann");
  auto ben = InLobby("Ben");
  Arrived(ann);
  Arrived(ben);

  ASSERT_TRUE(ann.Send("message", F({"normal", "", "darn, heck!"})));
  EXPECT_EQ(Arrived(ben), Seen{Received("normal", "darn, heck!")});
}

TEST_F(ExampleBadWordFilter, OnlyAnAdministratorReloadsTheList) {
  server.dir().write("config/badwords.txt", "darn\n");
  ASSERT_TRUE(server.Start());
  auto ann = InLobby("Ann");
  auto ben = InLobby("Ben");
  server.dir().write("config/badwords.txt", "heck\nfrak\n");
  Arrived(ann);
  Arrived(ben);

  // Not an administrator: the command is refused as unknown and the old list stays.
  ASSERT_TRUE(ann.Send("command", F({"badwords", "reload"})));
  const std::string unknown = ReplaceAll(server.Text("msgUnknownServerCommand"), "%cmd", "badwords");
  EXPECT_EQ(Arrived(ann), Seen{P("message", F({"server", unknown}))});
  ASSERT_TRUE(ann.Send("message", F({"normal", "", "darn heck"})));
  EXPECT_EQ(Arrived(ben), Seen{Received("normal", "**** heck")});

  ASSERT_EQ(server.Call([](ChatServer& s) { return s.Commands().command("test", "SetAdminStatus", "Ann", "1"); }),
            "done");
  Arrived(ann);
  Arrived(ben);
  ASSERT_TRUE(ann.Send("command", F({"badwords", "reload"})));
  EXPECT_EQ(Arrived(ann), Seen{P("message", F({"server", "Bad-word filter: 2 word(s) from config/badwords.txt"}))});
  ASSERT_TRUE(ann.Send("message", F({"normal", "", "darn heck frak"})));
  EXPECT_EQ(Arrived(ben), Seen{Received("normal", "darn **** ****")});
}

}  // namespace
}  // namespace velmorin
