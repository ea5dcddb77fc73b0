#include "support/InProcessServer.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>

#include "chat/ChatroomOperations.hpp"
#include "config/Accounts.hpp"
#include "config/Settings.hpp"
#include "net/LingeringSockets.hpp"
#include "platform/EventLoop.hpp"
#include "platform/Text.hpp"
#include "support/FuzzCheck.hpp"
#include "support/TempProgramDir.hpp"

namespace velmorin::fuzz {
namespace {

constexpr int kMaxPasses = 10000;

// A loopback port nothing listens on at the moment; the listening socket needs one, although
// every client comes through the socket pairs.
long FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  long port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

std::string Settings() {
  const std::string users = std::to_string(InProcessServer::kMaxUsers);
  const std::string pingTimeout = std::to_string(InProcessServer::kPingTimeoutMs);
  return "[Info]\r\nLanguage=English.lng\r\n"
         "[Start]\r\nShowSplashScreen=0\r\n"
         "[General]\r\nPort=1000\r\nAdministratorName=Ada Admin\r\nAdministratorEMail=ada@example.org\r\n"
         "MaxTextLength=300\r\nMaxUserCount=" + users + "\r\nPingDelay=1000\r\nPingTimeout=" + pingTimeout +
         "\r\nAllowGuests=1\r\n"
         "[Chatrooms]\r\nAllowCreateChatroom=1\r\nStandardChatroom=Lobby\r\n"
         "[Log]\r\nPattern=%message\r\nClearLogAtStart=0\r\nClearLogAtSize=0\r\n"
         "[Logging]\r\nEnabled=0\r\n"
         "[WelcomeMessage]\r\nSendWelcomeMessage=1\r\n";
}

const char* const kBans =
    "[IP]\r\n0=10.9.*.*\r\n"
    "[IP-Range]\r\n0=10.20.0.0-10.20.0.255\r\n"
    "[Nick]\r\n0=BadGuy\r\n"
    "[Nick-Range]\r\n0=evil\r\n";

std::string ClientAddress(int client) {
  return client == InProcessServer::kConnections - 1 ? "10.9.0.7" : "127.0.0." + std::to_string(client + 1);
}

}  // namespace

InProcessServer& InProcessServer::Instance() {
  // The directory is removed at exit. The server is never destroyed: the loop, the settings and
  // the paths are process-wide and would not survive every order of static destruction.
  static testing::TempProgramDir dir;
  static InProcessServer* instance = new InProcessServer(dir);
  return *instance;
}

InProcessServer::InProcessServer(testing::TempProgramDir& dir) : dir_(&dir) {
  for (int& fd : clients_) fd = -1;
  const std::string languageSource = std::string(VELMORIN_SOURCE_DIR) + "/language/English.lng";
  std::filesystem::create_directories(dir_->path("language"));
  std::filesystem::copy_file(languageSource, dir_->path("language/English.lng"),
                             std::filesystem::copy_options::overwrite_existing);
  dir_->write("config/server.cfg", Settings());
  dir_->write("config/ban.cfg", kBans);

  LoadSettings();
  ServerSettings.General.ActivePort = FreeLoopbackPort();
  CurrentLanguage().SetLanguage("modMain", languageSource);

  CreateUserAccount("Keeper");
  ModifyUserAccount("Keeper", "active", "1");
  SetPassword("Keeper", "secret");
  CreateUserAccount("Opal");
  ModifyUserAccount("Opal", "active", "1");
  CreateUserAccount("Sleeper");
  {
    RoomTable rooms;
    CreateChatroom(rooms, "Lobby", "Everyone starts here", "", true);
    CreateChatroom(rooms, "Vault", "Members only", "secret", true);
  }

  frontEnd_ = std::make_unique<AdminFrontEnd>();
  server_ = std::make_unique<ChatServer>(*frontEnd_);
  server_->Load();
  FUZZ_CHECK(server_->IsOnline());
  permanentRooms_ = server_->Chatrooms().Count();
  FUZZ_CHECK(permanentRooms_ == 2);
}

bool InProcessServer::Connect(int client) {
  if (clients_[client] != -1) return true;
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0) return false;
  clients_[client] = pair[0];
  // The server takes over pair[1] (and closes it when it refuses the connection).
  server_->AdoptConnection(pair[1], ClientAddress(client), 40000 + client);
  return true;
}

void InProcessServer::Send(int client, std::string_view bytes) {
  if (!Connect(client)) return;
  int stalls = 0;
  while (!bytes.empty() && clients_[client] != -1) {
    const ssize_t sent = ::send(clients_[client], bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
      stalls = 0;
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && errno == EAGAIN && ++stalls < 100) {
      RunUntilIdle();  // the server reads, and the pair has room again
      continue;
    }
    Close(client);  // the server has gone (EPIPE) or stopped reading
  }
}

void InProcessServer::Close(int client, bool writesOnly) {
  if (clients_[client] == -1) return;
  if (writesOnly) {
    ::shutdown(clients_[client], SHUT_WR);
    return;
  }
  ::close(clients_[client]);
  clients_[client] = -1;
}

bool InProcessServer::DrainReplies() {
  static char scratch[1 << 16];
  bool any = false;
  for (int client = 0; client < kConnections; ++client) {
    while (clients_[client] != -1) {
      const ssize_t received = ::recv(clients_[client], scratch, sizeof scratch, 0);
      if (received > 0) {
        any = true;
        continue;
      }
      if (received < 0 && errno == EINTR) continue;
      if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      Close(client);  // end of the stream: the server closed the connection
      any = true;
    }
  }
  return any;
}

void InProcessServer::RunUntilIdle() {
  for (int pass = 0; pass < kMaxPasses; ++pass) {
    const int ran = MainLoop().RunOnce(0);
    const bool read = DrainReplies();
    if (ran == 0 && !read) return;
  }
}

void InProcessServer::LetTimePass() {
  const auto end = std::chrono::steady_clock::now() + kTimePassing;
  for (auto now = std::chrono::steady_clock::now(); now < end; now = std::chrono::steady_clock::now()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now);
    MainLoop().RunOnce(static_cast<int>(left.count()));
    DrainReplies();
  }
  RunUntilIdle();
}

void InProcessServer::CheckInvariants() {
  ChatServer& server = *server_;
  long taken = 0;
  long loggedIn = 0;
  std::set<std::string> nicknames;
  for (long index = 1; index <= server.Connections().MaxIndex(); ++index) {
    if (!server.Connections().InUse(index)) continue;
    ++taken;
    const Connection& record = server.Connections().At(index);
    FUZZ_CHECK(server.Connections().Socket(index) != nullptr);
    if (record.LoggedIn()) {
      ++loggedIn;
      // One holder per nickname, without regard to case.
      FUZZ_CHECK(nicknames.insert(LowerCase(record.nickname)).second);
    }
    if (record.chatroomId >= 0) {
      const std::vector<long>& members = server.Chatrooms().Members(record.chatroomId);
      FUZZ_CHECK(std::find(members.begin(), members.end(), index) != members.end());
    }
  }
  FUZZ_CHECK(server.Connections().ConnectionCount() == taken);
  FUZZ_CHECK(server.Connections().UserCount() == loggedIn);
  FUZZ_CHECK(server.Connections().UserCount() <= kMaxUsers);
}

void InProcessServer::Reset() {
  ChatServer& server = *server_;
  for (long index = 1; index <= server.Connections().MaxIndex(); ++index) {
    if (server.Connections().InUse(index)) server.Chat().RemoveUser(index, {.tellRoom = true});
  }
  for (int client = 0; client < kConnections; ++client) Close(client);
  RunUntilIdle();
  // Sockets still closing finish when they see the clients' close; give them a few passes.
  for (int pass = 0; pass < 100 && LingeringSocketCount() > 0; ++pass) MainLoop().RunOnce(1);
  FUZZ_CHECK(LingeringSocketCount() == 0);
  for (long index = 1; index <= server.Connections().MaxIndex(); ++index) {
    FUZZ_CHECK(!server.Connections().InUse(index));
  }
  FUZZ_CHECK(server.Connections().ConnectionCount() == 0);
  FUZZ_CHECK(server.Connections().UserCount() == 0);
  // Rooms clients made go with their last member; the permanent ones stay.
  FUZZ_CHECK(server.Chatrooms().Count() == permanentRooms_);
}

}  // namespace velmorin::fuzz
