// velmorin-chat as a newcomer meets it, through the real executables: a nickname in use, the
// chatroom it lands in, a script that stops at a failed command, lines longer than the server
// takes, characters the wire cannot carry, a server restart, and the host forms --host takes.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "client/LoopbackPort.hpp"
#include "support/ChildProcess.hpp"
#include "support/ServerProcess.hpp"
#include "support/TerminalProcess.hpp"

namespace velmorin {
namespace {

using Process = testing::ChildProcess;
using testing::ServerProcess;
using Terminal = testing::TerminalProcess;
using std::chrono::milliseconds;

const std::string kChat = std::string(VELMORIN_DIST_DIR) + "/velmorin-chat";

// Three rooms, none of them standard: one open, one more, one with the password "pw".
const std::string kThreeRooms =
    "[Garden]\r\nDescription=\r\nPassword=\r\n[Tea]\r\nDescription=\r\nPassword=\r\n"
    "[Secret]\r\nDescription=\r\nPassword=cHc=\r\n";

// Sets an environment variable for the processes a test starts, and puts it back after.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = ::getenv(name)) old_ = old;
    ::setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A server that takes at most 40 characters per message and has the three rooms above.
ServerProcess::Config ShortTextsAndThreeRooms() {
  ServerProcess::Config config;
  config.general = "MaxTextLength=40\r\n";
  config.chatrooms = kThreeRooms;
  return config;
}

ServerProcess::Config OnPort(std::uint16_t port) {
  ServerProcess::Config config;
  config.port = port;
  return config;
}

int Count(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

class ChatSession : public ::testing::Test {
 protected:
  // velmorin-chat reading its commands from a pipe, with the port given in --host.
  std::unique_ptr<Process> Chat(const ServerProcess& server, std::vector<std::string> arguments,
                                bool withInput = true) {
    std::vector<std::string> all{"--host", "127.0.0.1:" + std::to_string(server.port()), "--timeout", "5000"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return Run(server, all, withInput);
  }
  std::unique_ptr<Process> Run(const ServerProcess& server, const std::vector<std::string>& arguments,
                               bool withInput = false) {
    const std::string output = server.dir().path("chat" + std::to_string(++count_) + ".txt");
    auto process = std::make_unique<Process>(kChat, arguments, output, withInput);
    EXPECT_TRUE(process->Started());
    return process;
  }

  int count_ = 0;
};

TEST_F(ChatSession, ANicknameInUseIsSaidAtOnceAndAtTheTerminalAVariantIsOffered) {
  ServerProcess server;
  ASSERT_TRUE(server.WaitUntilOnline()) << server.Log();
  const auto holder = Chat(server, {"Bob"});
  ASSERT_TRUE(holder->WaitFor("You are now in Lobby.")) << holder->Output();

  // The holder answers the server's ping: no waiting out the default 15 s ping time-out.
  const auto start = std::chrono::steady_clock::now();
  const auto script = Chat(server, {"bob"});
  EXPECT_EQ(script->WaitForExit(), 3) << script->Output();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_NE(script->Output().find("bob is in use."), std::string::npos) << script->Output();
  EXPECT_EQ(script->Output().find("instead?"), std::string::npos) << script->Output();

  Terminal person(kChat, {"--host", "127.0.0.1:" + std::to_string(server.port()), "--timeout", "5000", "Bob"},
                  {.environment = {"NO_COLOR=1"}});
  ASSERT_TRUE(person.Started());
  ASSERT_TRUE(person.WaitFor("Log in as Bob_ instead? [Y/n]")) << person.Output();
  person.Type("\n");
  ASSERT_TRUE(person.WaitFor("Logged in as Bob_.")) << person.Output();
  ASSERT_TRUE(person.WaitFor("/quit to leave.")) << person.Output();
  person.Type("/quit\r");
  EXPECT_EQ(person.WaitForExit(), 0) << person.Output();
  EXPECT_TRUE(holder->WaitFor("Bob_ left the server")) << holder->Output();
}

TEST_F(ChatSession, WithSeveralRoomsANewcomerLandsInTheDefaultRoomAndTheReadmeScriptPosts) {
  ServerProcess server;
  ASSERT_TRUE(server.WaitUntilOnline()) << server.Log();
  const auto carol = Chat(server, {"Carol"});
  ASSERT_TRUE(carol->WaitFor("You are now in Lobby.")) << carol->Output();
  carol->Type("/create Den\n");
  ASSERT_TRUE(carol->WaitFor("You are now in Den.")) << carol->Output();
  const auto watcher = Chat(server, {"Wendy"});
  ASSERT_TRUE(watcher->WaitFor("You are now in Lobby.")) << watcher->Output();

  // printf 'hello from a script\n' | velmorin-chat ... Robot
  const auto robot = Chat(server, {"Robot"});
  robot->Type("hello from a script\n");
  robot->EndInput();
  EXPECT_EQ(robot->WaitForExit(), 0) << robot->Output();
  EXPECT_TRUE(watcher->WaitFor("<Robot> hello from a script\n")) << watcher->Output();
}

TEST_F(ChatSession, TheRoomToStartInAndAScriptThatStopsAtAFailedCommand) {
  ServerProcess server(ShortTextsAndThreeRooms());
  ASSERT_TRUE(server.WaitUntilOnline()) << server.Log();

  struct Landing {
    std::vector<std::string> arguments;
    int exit;
    const char* shown;
  };
  const std::vector<Landing> landings = {
      {{}, 0, "You are now in Garden."},  // no standard, no default room: the first listed
      {{"--room", "Secret:pw"}, 0, "You are now in Secret."},
      {{"--room", "Secret", "--room-password", "pw"}, 0, "You are now in Secret."},
      {{"--room", "Secret"}, 4, "could not be entered"},
      {{"--room", "Nowhere"}, 4, "could not be entered"},
  };
  for (const Landing& landing : landings) {
    std::vector<std::string> arguments = landing.arguments;
    arguments.push_back("Lena");
    const auto chat = Chat(server, arguments);
    chat->Type("/wait 1\n");
    chat->EndInput();
    EXPECT_EQ(chat->WaitForExit(), landing.exit) << chat->Output();
    EXPECT_NE(chat->Output().find(landing.shown), std::string::npos) << chat->Output();
  }

  for (const char* failing : {"/frobnicate\n", "/msg Nobody hi\n", "/users Nowhere\n", "/join Secret wrong\n"}) {
    const auto chat = Chat(server, {"Tom"});
    chat->Type(std::string("before\n") + failing + "after\n");
    chat->EndInput();
    EXPECT_EQ(chat->WaitForExit(), 4) << failing << chat->Output();
    const std::string shown = chat->Output();
    EXPECT_NE(shown.find("<Tom> before\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("The script stops here"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("<Tom> after"), std::string::npos) << shown;
  }
}

TEST_F(ChatSession, LongLinesGoOutInPiecesBetweenWordsAndLostCharactersAreShown) {
  const ScopedEnv utf8("LC_ALL", "C.UTF-8");
  ServerProcess server(ShortTextsAndThreeRooms());
  ASSERT_TRUE(server.WaitUntilOnline()) << server.Log();
  const auto watcher = Chat(server, {"Wendy"});
  ASSERT_TRUE(watcher->WaitFor("You are now in Garden.")) << watcher->Output();

  const std::string words =
      "the quick brown fox jumps over the lazy dog while seven wizards quietly judge boxing matches nearby";
  const std::string unbroken(50, 'x');
  const auto sam = Chat(server, {"Sam"});
  sam->Type(words + "\n" + unbroken + "\n" + "zażółć gęślą\n");
  sam->EndInput();
  EXPECT_EQ(sam->WaitForExit(), 0) << sam->Output();
  ASSERT_TRUE(watcher->WaitFor("<Sam> za")) << watcher->Output();

  // Every piece within the limit, no word cut, and together the whole line.
  std::vector<std::string> pieces;
  std::istringstream lines(watcher->Output());
  for (std::string line; std::getline(lines, line);) {
    // Shown as "[HH:MM] <Sam> text" unless timestamps are off.
    const std::size_t at = line.find("<Sam> ");
    if (at != std::string::npos) pieces.push_back(line.substr(at + 6));
  }
  ASSERT_EQ(pieces.size(), 6u) << watcher->Output();
  std::string joined;
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_LE(pieces[i].size(), 40u) << pieces[i];
    joined += (i == 0 ? "" : " ") + pieces[i];
  }
  EXPECT_EQ(joined, words);
  EXPECT_EQ(pieces[3], std::string(40, 'x'));  // a word longer than the limit is cut inside it
  EXPECT_EQ(pieces[4], std::string(10, 'x'));
  EXPECT_EQ(pieces[5], "za?ó?? g??l?");

  const std::string said = sam->Output();
  EXPECT_NE(said.find("(sent as 3 messages: the server takes at most 40 characters in one)"), std::string::npos)
      << said;
  EXPECT_NE(said.find("cannot carry U+017C, U+0142, U+0107, U+0119, U+015B, U+0105"), std::string::npos) << said;
  EXPECT_NE(said.find("Sent: za?ó?? g??l?\n"), std::string::npos) << said;
}

TEST_F(ChatSession, AfterARestartTheClientLogsInAgainReentersItsRoomAndSendsTheUnconfirmedLine) {
  const std::uint16_t port = client::FreeLoopbackPort();
  auto first = std::make_unique<ServerProcess>(OnPort(port));
  ASSERT_TRUE(first->WaitUntilOnline()) << first->Log();
  const auto rita = Chat(*first, {"Rita"});
  ASSERT_TRUE(rita->WaitFor("You are now in Lobby.")) << rita->Output();

  first->Kill();
  // The script ends while the server is away: its last line still goes out once it is back.
  rita->Type("while it was down\n");
  rita->EndInput();
  ServerProcess second(OnPort(port));
  ASSERT_TRUE(second.WaitUntilOnline()) << second.Log();
  // The server echoes room messages to the sender too: this line is the new server's.
  ASSERT_TRUE(rita->WaitFor("<Rita> while it was down\n", milliseconds(30000))) << rita->Output();
  EXPECT_EQ(rita->WaitForExit(), 0) << rita->Output();

  const std::string shown = rita->Output();
  EXPECT_NE(shown.find("The server closed the connection."), std::string::npos) << shown;
  EXPECT_NE(shown.find("Connecting again in 1 s (attempt 1 of 8)..."), std::string::npos) << shown;
  EXPECT_NE(shown.find("Logged in again as Rita."), std::string::npos) << shown;
  EXPECT_EQ(Count(shown, "You are now in Lobby."), 2) << shown;
  EXPECT_EQ(Count(shown, "<Rita> while it was down"), 1) << shown;
}

TEST_F(ChatSession, AtTheTerminalCtrlCEndsTheWaitForTheServerToComeBack) {
  auto server = std::make_unique<ServerProcess>();
  ASSERT_TRUE(server->WaitUntilOnline()) << server->Log();
  Terminal person(kChat, {"--host", "127.0.0.1:" + std::to_string(server->port()), "--timeout", "5000", "Pia"},
                  {.environment = {"NO_COLOR=1"}});
  ASSERT_TRUE(person.WaitFor("/quit to leave.")) << person.Output();
  server->Kill();
  ASSERT_TRUE(person.WaitFor("(attempt 2 of 8)")) << person.Output();
  person.Type("\x03");
  EXPECT_EQ(person.WaitForExit(milliseconds(5000)), 0) << person.Output();
  EXPECT_NE(person.Output().find("Not connecting again."), std::string::npos) << person.Output();
}

TEST_F(ChatSession, HostTakesAPortAndIPv6Addresses) {
  const int listener = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in6 address{};
  address.sin6_family = AF_INET6;
  address.sin6_addr = in6addr_loopback;
  socklen_t size = sizeof address;
  if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener, 4) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    if (listener >= 0) ::close(listener);
    GTEST_SKIP() << "no IPv6 loopback here";
  }
  const std::string port = std::to_string(ntohs(address.sin6_port));
  testing::TempProgramDir dir;
  const std::vector<std::vector<std::string>> forms = {{"--host", "[::1]:" + port}, {"--host", "::1", "--port", port}};
  for (const std::vector<std::string>& form : forms) {
    std::vector<std::string> arguments = form;
    arguments.insert(arguments.end(), {"--timeout", "5000", "--no-reconnect", "Ivy"});
    Process chat(kChat, arguments, dir.path("chat.txt"));
    pollfd entry{listener, POLLIN, 0};
    ASSERT_EQ(::poll(&entry, 1, 10000), 1) << form[1];
    const int connection = ::accept(listener, nullptr, nullptr);
    ASSERT_GE(connection, 0);
    ::close(connection);  // no welcome: the client gives up
    EXPECT_EQ(chat.WaitForExit(), 1) << chat.Output();
    EXPECT_NE(chat.Output().find("[::1]:" + port), std::string::npos) << chat.Output();
  }
  ::close(listener);

  for (const char* wrong : {"[::1", "[::1]x", "host:", "host:99999", ":1000"}) {
    Process chat(kChat, {"--host", wrong, "Ivy"}, dir.path("usage.txt"));
    EXPECT_EQ(chat.WaitForExit(), 2) << wrong << chat.Output();
  }
}

}  // namespace
}  // namespace velmorin
