// velmorin-chat as a process: several of them talking through the real server executable,
// started headless in a temporary program directory, and one facing a server played by hand.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "admin/CtlRun.hpp"
#include "client/ChatClient.hpp"
#include "client/PacketDecoder.hpp"
#include "codec/PacketWriter.hpp"
#include "support/ChildProcess.hpp"
#include "support/ScriptedServer.hpp"
#include "support/ServerProcess.hpp"
#include "support/ServerHarness.hpp"
#include "support/TempProgramDir.hpp"

extern char** environ;

namespace velmorin {
namespace {

using namespace std::string_literals;
using Process = testing::ChildProcess;
using std::chrono::milliseconds;

// A safety limit on every wait, never a measured time.
constexpr milliseconds kBound{10000};

const std::string kChat = std::string(VELMORIN_DIST_DIR) + "/velmorin-chat";

using testing::ServerProcess;

class ChatProcess : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = std::make_unique<ServerProcess>();
    online_ = server_->WaitUntilOnline();
  }
  static void TearDownTestSuite() { server_.reset(); }

  void SetUp() override { ASSERT_TRUE(online_) << server_->Log(); }

  // velmorin-chat against the test server, reading its commands from a pipe.
  std::unique_ptr<Process> Chat(std::vector<std::string> arguments, bool withInput = true) {
    std::vector<std::string> all{"--host", "127.0.0.1", "--port", std::to_string(server_->port()), "--timeout", "5000"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return Run(all, withInput);
  }
  std::unique_ptr<Process> Run(const std::vector<std::string>& arguments, bool withInput = false) {
    const std::string output = server_->dir().path("chat" + std::to_string(++count_) + ".txt");
    auto process = std::make_unique<Process>(kChat, arguments, output, withInput);
    EXPECT_TRUE(process->Started());
    return process;
  }

  static std::unique_ptr<ServerProcess> server_;
  static bool online_;
  int count_ = 0;
};

std::unique_ptr<ServerProcess> ChatProcess::server_;
bool ChatProcess::online_ = false;

TEST_F(ChatProcess, AliceTalksInTheStandardRoomAndBobSeesEveryKindOfMessage) {
  const auto bob = Chat({"Bob"});
  ASSERT_TRUE(bob->WaitFor("You are now in Lobby.")) << bob->Output();

  // The private message to nobody fails; the script goes on past it as asked.
  const auto alice = Chat({"--keep-going", "Alice"});
  alice->Type("hello, Bob\n/me waves\n/shout watch out\n/msg bob psst\n/msg Nobody hi\n");
  alice->Type("evil \x1b]0;owned\x07 end\n/quit see you\n");
  EXPECT_EQ(alice->WaitForExit(), 0) << alice->Output();
  ASSERT_TRUE(bob->WaitFor("left the server (see you)")) << bob->Output();
  bob->EndInput();
  EXPECT_EQ(bob->WaitForExit(), 0) << bob->Output();

  const std::string seen = bob->Output();
  for (const char* line : {"-> Alice joined Lobby\n", "<Alice> hello, Bob\n", "* Alice waves\n", "!Alice! WATCH OUT\n",
                           "*Alice* psst\n", "<Alice> evil \\x1B]0;owned\\x07 end\n", "<- Alice left the server (see you)\n"}) {
    EXPECT_NE(seen.find(line), std::string::npos) << line << " missing in:\n" << seen;
  }
  // Nothing from the network reaches the terminal raw.
  EXPECT_EQ(seen.find('\x1b'), std::string::npos);
  EXPECT_EQ(seen.find('\x07'), std::string::npos);

  const std::string said = alice->Output();
  EXPECT_NE(said.find("<Alice> hello, Bob\n"), std::string::npos) << said;
  EXPECT_NE(said.find("-> *Bob* psst\n"), std::string::npos) << said;
  EXPECT_NE(said.find("Nobody called Nobody is online"), std::string::npos) << said;
}

TEST_F(ChatProcess, ARoomCreatedWithAPasswordAdmitsOnlyThoseWhoKnowIt) {
  const auto carol = Chat({"Carol"});
  ASSERT_TRUE(carol->WaitFor("You are now in Lobby.")) << carol->Output();
  carol->Type("/create Den sesame A quiet corner\n");
  ASSERT_TRUE(carol->WaitFor("You are now in Den.")) << carol->Output();

  // With two rooms there is no only room to start in any more.
  const auto dave = Chat({"--room", "Lobby", "--keep-going", "Dave"});
  ASSERT_TRUE(dave->WaitFor("You are now in Lobby.")) << dave->Output();
  dave->Type("/join Den\n/join Den wrong\n");
  ASSERT_TRUE(dave->WaitFor("wrong password")) << dave->Output();
  dave->Type("/join Den sesame\n/rooms\n");
  ASSERT_TRUE(dave->WaitFor("Creating chatrooms is allowed")) << dave->Output();
  EXPECT_TRUE(carol->WaitFor("-> Dave joined Den")) << carol->Output();
  carol->EndInput();
  dave->EndInput();
  EXPECT_EQ(carol->WaitForExit(), 0);
  EXPECT_EQ(dave->WaitForExit(), 0);

  const std::string joining = dave->Output();
  const std::size_t refused = joining.find("You may not join Den");
  ASSERT_NE(refused, std::string::npos) << joining;
  // The refusals come first: neither the empty nor the wrong password got in.
  EXPECT_EQ(joining.find("You are now in Den."), joining.rfind("You are now in Den.")) << joining;
  EXPECT_GT(joining.find("You are now in Den."), joining.rfind("You may not join Den")) << joining;
  EXPECT_TRUE(std::regex_search(joining, std::regex("\nDen +2 +\\* +A quiet corner\n"))) << joining;
  EXPECT_EQ(carol->Output().find("WITHOUT a password"), std::string::npos) << carol->Output();
}

TEST_F(ChatProcess, AKickedClientSaysWhyAndDoesNotConnectAgain) {
  const auto kim = Chat({"Kim"});
  ASSERT_TRUE(kim->WaitFor("You are now in Lobby.")) << kim->Output();
  const auto lee = Chat({"Lee"});
  ASSERT_TRUE(lee->WaitFor("You are now in Lobby.")) << lee->Output();

  const testing::CtlRun kick = testing::Ctl(server_->dir(), {"kick", "Kim", "--reason", "flooding the room"});
  EXPECT_EQ(kick.exit, 0) << kick.output;
  EXPECT_EQ(kim->WaitForExit(), 3) << kim->Output();
  const std::string kicked = kim->Output();
  EXPECT_NE(kicked.find("Disconnected by the administrator: flooding the room"), std::string::npos) << kicked;
  EXPECT_EQ(kicked.find("Connecting again"), std::string::npos) << kicked;
  EXPECT_TRUE(lee->WaitFor("<- Kim left the server (flooding the room)")) << lee->Output();
  EXPECT_TRUE(std::regex_search(server_->Log(), std::regex("Administration \\(velmorin-ctl.*\\): kick Kim .*- done: Kim was disconnected "
                                                           "\\(reason: flooding the room\\)")))
      << server_->Log();
  lee->EndInput();
  EXPECT_EQ(lee->WaitForExit(), 0);
}

TEST_F(ChatProcess, AClosedRoomTakesItsMemberToTheStandardRoomTheAdministratorChose) {
  const auto ctl = [](std::vector<std::string> words) {
    const testing::CtlRun run = testing::Ctl(server_->dir(), words);
    EXPECT_EQ(run.exit, 0) << run.output;
  };
  ctl({"room", "add", "Support", "--store"});
  ctl({"room", "add", "Temp"});
  const auto mia = Chat({"--room", "Temp", "Mia"});
  ASSERT_TRUE(mia->WaitFor("You are now in Temp.")) << mia->Output();
  // Chosen after Mia's welcome named the old standard room.
  ctl({"room", "standard", "Support"});

  ctl({"room", "remove", "Temp"});
  ASSERT_TRUE(mia->WaitFor("You are now in Support.")) << mia->Output();
  mia->Type("/join Lobby\n/part\nstill here\n");
  mia->EndInput();
  EXPECT_EQ(mia->WaitForExit(), 0) << mia->Output();
  ctl({"room", "standard", "--none"});
  ctl({"room", "remove", "Support", "--yes"});

  const std::string seen = mia->Output();
  EXPECT_NE(seen.find("Temp was closed.\n"), std::string::npos) << seen;
  EXPECT_EQ(seen.find("closeChatroom"), std::string::npos) << seen;
  const std::size_t back = seen.find("You are now in Support.", seen.find("You are now in Lobby."));
  ASSERT_NE(back, std::string::npos) << seen;
  EXPECT_NE(seen.find("<Mia> still here", back), std::string::npos) << seen;
}

TEST_F(ChatProcess, AnAwayUserAnswersRequestsForItsAwayMessageByItself) {
  const auto erin = Chat({"Erin"});
  ASSERT_TRUE(erin->WaitFor("You are now in Lobby.")) << erin->Output();
  erin->Type("/away gone fishing\n");
  ASSERT_TRUE(erin->WaitFor("Erin is away: gone fishing")) << erin->Output();

  const auto frank = Chat({"Frank"});
  frank->Type("/users\n/getaway erin\n");
  EXPECT_TRUE(frank->WaitFor("Away message from Erin: gone fishing")) << frank->Output();
  EXPECT_NE(frank->Output().find("Erin (away)"), std::string::npos) << frank->Output();
  EXPECT_TRUE(erin->WaitFor("(answered with your away message)")) << erin->Output();
}

TEST_F(ChatProcess, ClientsThatEncryptChatWithEachOtherAndWithThoseWhoDoNot) {
  const auto hana = Chat({"--encrypt", "Hana"});
  ASSERT_TRUE(hana->WaitFor("You are now in Lobby.")) << hana->Output();
  EXPECT_NE(hana->Output().find("Messages to and from the server are encrypted."), std::string::npos);
  const auto jon = Chat({"Jon"});
  ASSERT_TRUE(jon->WaitFor("You are now in Lobby.")) << jon->Output();

  const auto ivan = Chat({"--encrypt", "Ivan"});
  ivan->Type("hello, Hana\n/msg hana between us\n/quit\n");
  EXPECT_EQ(ivan->WaitForExit(), 0) << ivan->Output();
  EXPECT_TRUE(hana->WaitFor("*Ivan* between us")) << hana->Output();
  EXPECT_NE(hana->Output().find("<Ivan> hello, Hana\n"), std::string::npos) << hana->Output();
  EXPECT_TRUE(jon->WaitFor("<Ivan> hello, Hana\n")) << jon->Output();
  hana->EndInput();
  jon->EndInput();
  EXPECT_EQ(hana->WaitForExit(), 0);
  EXPECT_EQ(jon->WaitForExit(), 0);
  EXPECT_EQ(jon->Output().find("between us"), std::string::npos);
}

TEST_F(ChatProcess, ExitCodesTellARefusedLoginAUsageErrorAndAMissingServerApart) {
  const auto refused = Chat({"@@"}, false);  // nothing but at-signs cleans up to no nickname
  EXPECT_EQ(refused->WaitForExit(), 3) << refused->Output();
  EXPECT_NE(refused->Output().find("Login refused"), std::string::npos) << refused->Output();

  const auto usage = Run({"--port", "0", "Gus"});
  EXPECT_EQ(usage->WaitForExit(), 2) << usage->Output();

  const auto nobody = Run({"--host", "127.0.0.1", "--port", std::to_string(testing::FreeLoopbackPort()), "Gus"});
  EXPECT_EQ(nobody->WaitForExit(), 1) << nobody->Output();
}

TEST_F(ChatProcess, DiscoveryListsTheServerWithItsDescriptionOnTwoLines) {
  const std::string port = std::to_string(server_->port());
  const auto discover = Run({"--discover", "--host", "127.0.0.1", "--port", port, "--timeout", "5000"});
  EXPECT_EQ(discover->WaitForExit(), 0) << discover->Output();
  const std::string listed = discover->Output();
  EXPECT_TRUE(std::regex_search(listed, std::regex("127\\.0\\.0\\.1:" + port + "  ready  [0-9]+/256 users  version 3\\.0\\.0\n"
                                                   "    Test server\n    on loopback\n")))
      << listed;
}


// Ida's client against a scripted server, without reconnecting.
std::vector<std::string> IdaAgainst(const testing::ScriptedServer& server) {
  return {"--host", "127.0.0.1", "--port", std::to_string(server.Port()), "--timeout", "5000", "--no-reconnect", "Ida"};
}

// A welcome's fields up to its protocol version and the NUL before its text.
const std::string kWelcomeFields =
    "3.0.0\r\nok\r\nEnglish\r\n256\r\nAdmin\r\na@b.c\r\n\r\n\r\n0123456789ABCDEF0123456789ABCDEF\r\n0.6\0"s;

// The scripted server takes Ida's connection, welcomes her, reads her login, accepts it and
// reads what she asks next; false when a packet does not come.
bool AcceptIda(testing::ScriptedServer& server) {
  if (!server.Accept()) return false;
  server.Send("welcome", kWelcomeFields);
  if (!server.ReadPacket()) return false;
  server.Send("acceptUser", "ok\0Ida"s);
  return server.ReadPacket().has_value();
}

TEST(VelmorinChat, EscapesWhatAServerSendsAndTellsWhenTheServerHangsUp) {
  testing::TempProgramDir dir;
  testing::ScriptedServer server(kBound);
  Process chat(kChat, IdaAgainst(server), dir.path("chat.txt"), true);
  ASSERT_TRUE(server.Accept());
  // No standard and no only room: the client asks for the list, which has no room, and stays
  // in none.
  server.Send("welcome", kWelcomeFields + "Hi\x1b[2J\r\nsecond line");
  const auto login = server.ReadPacket();
  ASSERT_TRUE(login);
  EXPECT_EQ(login->command, "login");
  EXPECT_EQ(login->payload.substr(0, 5), "Ida\0\0"s);
  EXPECT_EQ(login->payload.substr(login->payload.size() - 4), "\0" "0.6"s);
  server.Send("acceptUser", "ok\0Ida"s);
  const auto list = server.ReadPacket();
  ASSERT_TRUE(list);
  EXPECT_EQ(list->command, "getChatroomlist");
  server.Send("chatroomlist", "\0" "0"s);
  server.Send("surprise\x1b[31m", "a\0b\x9b"s "c\r\n");
  ASSERT_TRUE(chat.WaitFor("[surprise")) << chat.Output();
  server.CloseConnection();
  EXPECT_EQ(chat.WaitForExit(), 1) << chat.Output();

  const std::string shown = chat.Output();
  EXPECT_NE(shown.find("Hi\\x1B[2J\nsecond line\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("[surprise\\x1B[31m] a\\0b"), std::string::npos) << shown;
  EXPECT_NE(shown.find("c\\r\\n\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("The server closed the connection."), std::string::npos) << shown;
  EXPECT_EQ(shown.find('\x1b'), std::string::npos) << shown;
  EXPECT_EQ(shown.find('\x9b'), std::string::npos) << shown;
}

TEST(VelmorinChat, AServerMessageLongBeforeTheCloseIsNotTakenForItsAnnouncement) {
  testing::TempProgramDir dir;
  testing::ScriptedServer server(kBound);
  Process chat(kChat, IdaAgainst(server), dir.path("chat.txt"), true);
  ASSERT_TRUE(AcceptIda(server));
  server.Send("chatroomlist", "\0" "0"s);
  server.Send("message", "server\0maintenance next week"s);
  ASSERT_TRUE(chat.WaitFor("maintenance next week")) << chat.Output();
  // Longer than the few seconds in which a message still announces the close.
  std::this_thread::sleep_for(std::chrono::seconds(6));
  server.CloseConnection();
  EXPECT_EQ(chat.WaitForExit(), 1) << chat.Output();
  EXPECT_NE(chat.Output().find("The server closed the connection."), std::string::npos) << chat.Output();
  EXPECT_EQ(chat.Output().find("It had announced"), std::string::npos) << chat.Output();
}

TEST(VelmorinChat, ALengthAboveTheLongestServerPacketEndsTheConnectionAtTheHeader) {
  testing::TempProgramDir dir;
  testing::ScriptedServer server(kBound);
  Process chat(kChat, IdaAgainst(server), dir.path("chat.txt"), true);
  ASSERT_TRUE(AcceptIda(server));
  // 64 MiB announced, a little sent, and the connection held open: a client that waits for the
  // rest buffers whatever the server chooses to send.
  server.Write("message\r\n" + std::to_string(64 * 1024 * 1024) + "\r\n\x02\r\n" + std::string(64 * 1024, 'x'));
  EXPECT_EQ(chat.WaitForExit(), 1) << chat.Output();
  EXPECT_NE(chat.Output().find("over the limit"), std::string::npos) << chat.Output();
}

}  // namespace
}  // namespace velmorin
