#include "SoakServer.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "client/ProcessStats.hpp"
#include "client/Discovery.hpp"
#include "client/LoopbackPort.hpp"

extern char** environ;

namespace velmorin::soak {
namespace {

namespace fs = std::filesystem;


// Pings every few seconds so that dead clients go, a short text limit, no log files: the
// log lines go to the output file only.
std::string Configuration(std::uint16_t port) {
  return "[Info]\r\nLanguage=English.lng\r\n"
         "[Start]\r\nShowSplashScreen=0\r\n"
         "[General]\r\nPort=" + std::to_string(port) +
         "\r\nMaxUserCount=256\r\nMaxTextLength=512\r\nPingDelay=5000\r\nPingTimeout=2000\r\nAllowGuests=1\r\n"
         "[Chatrooms]\r\nAllowCreateChatroom=1\r\n"
         "[Log]\r\nClearLogAtStart=1\r\n"
         "[Logging]\r\nEnabled=0\r\n";
}

void CopyDirectory(const fs::path& from, const fs::path& to) {
  if (!fs::is_directory(from)) return;
  fs::create_directories(to);
  for (const auto& entry : fs::directory_iterator(from)) {
    if (entry.is_regular_file()) fs::copy_file(entry.path(), to / entry.path().filename());
  }
}

}  // namespace

SoakServer::SoakServer(const std::string& executable) {
  std::string pattern = (fs::temp_directory_path() / "velmorin-soak-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary directory");
  directory_ = pattern + "/";
  const fs::path source = fs::path(executable).parent_path();
  fs::copy_file(executable, directory_ + "velmorin-server");
  CopyDirectory(source / "language", directory_ + "language");
  CopyDirectory(source / "plugins", directory_ + "plugins");
  fs::create_directories(directory_ + "config");
  port_ = client::FreeLoopbackPort();
  std::ofstream(directory_ + "config/server.cfg", std::ios::binary) << Configuration(port_);
}

SoakServer::~SoakServer() {
  if (Running()) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  std::error_code ignored;
  if (!keep_) fs::remove_all(directory_, ignored);
}

bool SoakServer::Start() {
  const std::string program = directory_ + "velmorin-server";
  const std::string output = directory_ + "output.txt";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("--headless"), nullptr};
  if (::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  if (pid_ <= 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    if (!Running()) return false;
    if (Users()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

bool SoakServer::Running() {
  if (pid_ <= 0 || exited_) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
  exited_ = true;
  status_ = status;
  return false;
}

std::optional<int> SoakServer::Stop() {
  if (pid_ <= 0) return std::nullopt;
  if (!exited_) ::kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (Running()) {
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  pid_ = -1;
  return WIFEXITED(status_) ? std::optional<int>(WEXITSTATUS(status_)) : std::nullopt;
}

std::string SoakServer::OutputTail(std::size_t bytes) const {
  std::ifstream in(directory_ + "output.txt", std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return text.size() > bytes ? text.substr(text.size() - bytes) : text;
}

std::optional<std::uint64_t> SoakServer::RssKb() const { return client::ReadRssKb(pid_); }

std::optional<long> SoakServer::Descriptors() const { return client::CountDescriptors(pid_); }

std::optional<long> SoakServer::Users() const {
  const client::DiscoveryResult result = client::Discover("127.0.0.1", port_, std::chrono::milliseconds(500));
  if (result.servers.empty()) return std::nullopt;
  const std::string& users = result.servers.front().users;
  const std::size_t slash = users.find('/');
  if (slash == std::string::npos || slash == 0) return std::nullopt;
  try {
    return std::stol(users.substr(0, slash));
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace velmorin::soak
