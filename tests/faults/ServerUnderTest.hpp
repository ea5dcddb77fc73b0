#pragma once
// The shipped server executable for the fault tests: a copy started headless in a temporary
// program directory on a free loopback port, and what /proc and discovery tell about it.
//
//   ServerUnderTest server;
//   server.Set("General", "MaxUserCount", "20");   a key of config/server.cfg, before Start
//   server.CommandLinePort(24100);   started with /port:24100 (discovery is asked there)
//   server.Start();          writes config/server.cfg, launches, true once discovery answers
//   server.Launch();         launches over the files as they are (no config written)
//   server.RssKb(), server.Descriptors(), server.Users()   the figures of the moment
//   server.LoggedIn("Ann")   a client accepted under that nickname (failures reported)
//   server.Stop();           SIGTERM and the exit code; the destructor kills what still runs
//
// The server's allocator quarantine is kept small (when it runs under AddressSanitizer), so
// that its resident size follows what it holds rather than what it freed lately.

#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "client/Discovery.hpp"
#include "client/ChatClient.hpp"
#include "client/ProcessStats.hpp"
#include "support/ChildProcess.hpp"
#include "support/ServerHarness.hpp"
#include "support/SettingsText.hpp"
#include "support/TempProgramDir.hpp"

namespace velmorin::testing {

// Polls `done` every 10 ms until it holds or the bound passes; true when it held.
inline bool PollUntil(const std::function<bool()>& done, std::chrono::milliseconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// Raises this process's descriptor limit (children inherit it) to at least `wanted`.
inline bool RaiseDescriptorLimit(rlim_t wanted) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
  if (limit.rlim_cur >= wanted) return true;
  limit.rlim_cur = std::min(wanted, limit.rlim_max);
  return ::setrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur >= wanted;
}

// Sets an environment variable for the lifetime of the object (children started meanwhile
// see it); used before any test thread runs.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
    if (const char* old = ::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnvironment() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  const std::optional<std::string>& old() const { return old_; }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class ServerUnderTest {
 public:
  ServerUnderTest() : port_(FreeLoopbackPort()) {
    std::filesystem::copy_file(std::string(VELMORIN_DIST_DIR) + "/velmorin-server", program_);
    CopyLanguageFiles(dir_.path("language"));
    settings_ = SettingsText::Sections{
        {"Info", {{"Language", "English.lng"}}},
        {"Start", {{"ShowSplashScreen", "0"}}},
        {"General",
         {{"Port", std::to_string(port_)},
          {"MaxUserCount", "256"},
          {"PingDelay", "600000"},
          {"PingTimeout", "1000"},
          {"AllowGuests", "1"}}},
        {"Log", {{"Pattern", "%message"}, {"ClearLogAtStart", "1"}}},
        {"Logging", {{"Enabled", "0"}}},
    };
  }
  ~ServerUnderTest() { process_.reset(); }
  ServerUnderTest(const ServerUnderTest&) = delete;
  ServerUnderTest& operator=(const ServerUnderTest&) = delete;

  void Set(const std::string& section, const std::string& key, const std::string& value) {
    settings_.Set(section, key, value);
  }

  // "/port:N" on the command line of the next launch; the server listens there, not on port().
  void CommandLinePort(std::uint16_t port) { commandLinePort_ = port; }
  std::uint16_t ListeningPort() const { return commandLinePort_ != 0 ? commandLinePort_ : port_; }

  // The configuration file Start writes.
  std::string ConfigText() const { return settings_.Text(); }

  bool Start() {
    dir_.write("config/server.cfg", ConfigText());
    Launch();
    return WaitUntilOnline();
  }

  // Starts the executable over the program directory as it is.
  void Launch() {
    process_.reset();
    const std::string asan = ::getenv("ASAN_OPTIONS") ? ::getenv("ASAN_OPTIONS") : "";
    const ScopedEnvironment quarantine("ASAN_OPTIONS", (asan.empty() ? "" : asan + ":") + "quarantine_size_mb=8");
    std::vector<std::string> arguments{"--headless"};
    if (commandLinePort_ != 0) arguments.push_back("/port:" + std::to_string(commandLinePort_));
    process_ = std::make_unique<ChildProcess>(program_, arguments,
                                              dir_.path("output-" + std::to_string(++launches_) + ".txt"));
  }

  // True once the server answers discovery (it listens by then).
  bool WaitUntilOnline(std::chrono::milliseconds bound = std::chrono::seconds(20)) {
    if (!process_ || !process_->Started()) return false;
    return PollUntil([&] { return Users().has_value(); }, bound);
  }

  // SIGTERM; the exit code, or nothing when it did not end normally within the bound.
  std::optional<int> Stop(std::chrono::milliseconds bound = std::chrono::seconds(20)) {
    if (!process_) return std::nullopt;
    process_->Signal(SIGTERM);
    return process_->WaitForExit(bound);
  }
  void Signal(int signal) const {
    if (process_) process_->Signal(signal);
  }
  // Ends and reaps the process at once.
  void Kill() { process_.reset(); }

  pid_t Pid() const { return process_ ? process_->Pid() : -1; }
  std::uint16_t port() const { return port_; }
  TempProgramDir& dir() { return dir_; }
  std::string Output() const { return process_ ? process_->Output() : std::string(); }

  // VmRSS of /proc/PID/status in kB, and the entries of /proc/PID/fd.
  std::optional<long> RssKb() const {
    const auto kb = client::ReadRssKb(Pid());
    return kb ? std::optional<long>(static_cast<long>(*kb)) : std::nullopt;
  }
  std::optional<long> Descriptors() const { return client::CountDescriptors(Pid()); }

  // The user count of the discovery reply ("users/max"); nothing when it does not answer.
  std::optional<long> Users() const { return UsersOn(ListeningPort()); }
  std::optional<long> UsersOn(std::uint16_t port) const {
    const client::DiscoveryResult result = client::Discover("127.0.0.1", port, std::chrono::milliseconds(300));
    if (result.servers.empty()) return std::nullopt;
    const std::string& users = result.servers.front().users;
    try {
      return std::stol(users.substr(0, users.find('/')));
    } catch (const std::exception&) {
      return std::nullopt;
    }
  }

  // Connected and welcomed (check IsConnected()).
  client::ChatClient Welcomed() {
    client::ChatClient client;
    if (!client.Connect("127.0.0.1", ListeningPort(), kWait)) {
      ADD_FAILURE() << "no connection: " << client.LastErrorText();
    } else if (!client.ReceiveWelcome(kWait)) {
      ADD_FAILURE() << "no welcome: " << client.LastErrorText();
    }
    return client;
  }

  client::ChatClient LoggedIn(const std::string& nickname) {
    client::ChatClient client = Welcomed();
    if (!client.IsConnected()) return client;
    const auto reply = client.Login(nickname, "", 0, "fault test", kWait);
    if (!reply || !reply->Accepted()) {
      ADD_FAILURE() << nickname << ": not accepted (" << (reply ? reply->status : client.LastErrorText()) << ")";
    }
    return client;
  }

 private:
  TempProgramDir dir_;  // outlives the process, which is ended first
  std::uint16_t port_;
  std::uint16_t commandLinePort_ = 0;
  const std::string program_ = dir_.path("velmorin-server");
  SettingsText settings_;
  std::unique_ptr<ChildProcess> process_;
  int launches_ = 0;
};

}  // namespace velmorin::testing
