// velmorin-chat as a person uses it, against the real server core on loopback: on a
// pseudo-terminal (Tab, timestamps, the bell, /clear, a resize while typing, Ctrl-C), and from
// a script (the away state, the away answer, a message to oneself, a colour by name). The
// other user is a client of the client library.

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "support/ChildProcess.hpp"
#include "support/PacketText.hpp"
#include "support/ServerHarness.hpp"
#include "support/TerminalProcess.hpp"

namespace velmorin {
namespace {

using namespace std::string_literals;
using client::ChatClient;
using std::chrono::milliseconds;
using testing::F;
using testing::ServerHarness;

// A safety limit on every wait, never a measured time.
constexpr milliseconds kBound{10000};

const std::string kChat = std::string(VELMORIN_DIST_DIR) + "/velmorin-chat";

// velmorin-chat on a pseudo-terminal of 80 columns, in a UTF-8 locale, without colours.
const testing::TerminalProcess::Options kTerminal{
    .columns = 80, .environment = {"TERM=xterm", "NO_COLOR=1", "LC_ALL=C.UTF-8"}};

class ChatTerminal : public ::testing::Test {
 protected:
  void SetUp() override {
    server.dir().write("config/chatrooms.cfg", "[Lobby]\r\nDescription=Main hall\r\n");
    ASSERT_TRUE(server.Start());
  }
  std::vector<std::string> Arguments(const std::string& nickname) const {
    return {"--host", "127.0.0.1", "--port", std::to_string(server.port()), "--timeout", "5000", nickname};
  }
  // Logged in and in the Lobby.
  ChatClient Bob() {
    ChatClient bob = server.LoggedIn("Bob");
    EXPECT_EQ(testing::Join(bob, "Lobby"), F({"Lobby", "ok"}));
    return bob;
  }
  std::string Next(ChatClient& user, const std::string& command) {
    const auto packet = user.ReceiveCommand(command, kBound);
    return packet ? packet->payload : "<no " + command + ">";
  }

  ServerHarness server;
};

TEST_F(ChatTerminal, TabTimestampsTheBellClearResizeAndCtrlC) {
  testing::TerminalProcess alice(kChat, Arguments("Alice"), kTerminal);
  ASSERT_TRUE(alice.Started());
  ASSERT_TRUE(alice.Expect("You are now in Lobby.")) << alice.Output();
  ChatClient bob = Bob();
  ASSERT_TRUE(alice.Expect("-> Bob joined Lobby")) << alice.Output();
  EXPECT_TRUE(std::regex_search(alice.Output(), std::regex("\\[[0-2][0-9]:[0-5][0-9]\\] -> Bob joined Lobby")))
      << alice.Output();

  // Tab completes Bob's nickname, which the join made known.
  alice.Type("hi b\t\r");
  EXPECT_EQ(Next(bob, "message"), F({"normal", "Alice", "0", "hi Bob"}));

  alice.Type("/cle\t\r");
  EXPECT_TRUE(alice.Expect("\x1b[H\x1b[2J")) << alice.Output();

  // A private message rings the bell.
  ASSERT_TRUE(bob.Send("message", F({"private", "Alice", "psst"})));
  ASSERT_TRUE(alice.Expect("*Bob* psst")) << alice.Output();
  EXPECT_TRUE(alice.Expect("\a")) << alice.Output();

  // Typing a long line, then the terminal becomes narrower than the cursor's column: the
  // client asks where the cursor went, and a wrapped row makes it start 3 rows up (the prompt
  // "[Lobby] " and 60 characters put the cursor at column 68; at 20 columns that is row 3).
  alice.Type(std::string(60, 'x'));
  ASSERT_TRUE(alice.Expect(std::string(60, 'x'))) << alice.Output();
  alice.Resize(20);
  ASSERT_TRUE(alice.Expect("\x1b[6n")) << alice.Output();
  alice.Type("\x1b[4;9R");
  EXPECT_TRUE(alice.Expect("\x1b[3A\r\x1b[J[Lobby] ")) << alice.Output();
  alice.Type("\x15");  // Ctrl-U: nothing of the draft is sent

  alice.Type("\x03");
  EXPECT_TRUE(alice.Expect("Leaving the server.")) << alice.Output();
  EXPECT_EQ(alice.WaitForExit(), 0) << alice.Output();
  EXPECT_EQ(Next(bob, "userLeft"), F({"Alice", "Lobby", "", ""}));
}

TEST_F(ChatTerminal, AwayOnlyWhenItChangesAnsweredPrivatelyAndOneCopyOfAMessageToOneself) {
  ChatClient bob = Bob();
  testing::ChildProcess alice(kChat, Arguments("Alice"), server.dir().path("alice.txt"), true);
  ASSERT_TRUE(alice.Started());
  ASSERT_TRUE(alice.WaitFor("You are now in Lobby.", kBound)) << alice.Output();
  alice.Type("/away lunch\n/away lunch\n/msg alice note to self\n/color purple\n");
  ASSERT_TRUE(alice.WaitFor("You are already away.", kBound)) << alice.Output();
  EXPECT_EQ(Next(bob, "newClientState"), F({"Alice", "away", "lunch"}));
  EXPECT_EQ(Next(bob, "newColor"), F({"Alice", "8388736"}));

  // Bob writes to Alice while she is away: her client answers with her away message.
  ASSERT_TRUE(bob.Send("message", F({"private", "Alice", "are you there?"})));
  EXPECT_EQ(Next(bob, "awaymessage"), F({"Alice", "lunch"}));
  ASSERT_TRUE(alice.WaitFor("(Bob was told that you are away)", kBound)) << alice.Output();

  alice.Type("/back\n/back\n");
  ASSERT_TRUE(alice.WaitFor("You are not away.", kBound)) << alice.Output();
  alice.EndInput();
  EXPECT_EQ(alice.WaitForExit(kBound), 0) << alice.Output();
  EXPECT_EQ(Next(bob, "newClientState"), F({"Alice", "normal"}));
  EXPECT_EQ(Next(bob, "userLeft"), F({"Alice", "Lobby", "", ""}));
  // One away notice and one back notice in all: the repeated ones stayed local.
  for (const auto& packet : bob.TakePending()) EXPECT_NE(packet.command, "newClientState") << packet.payload;

  const std::string shown = alice.Output();
  const auto count = [&shown](const std::string& text) {
    std::size_t n = 0;
    for (std::size_t at = shown.find(text); at != std::string::npos; at = shown.find(text, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("Alice is away: lunch"), 1u) << shown;
  EXPECT_EQ(count("-> *Alice* note to self"), 1u) << shown;
  EXPECT_EQ(count("Alice is back"), 1u) << shown;
}

}  // namespace
}  // namespace velmorin
