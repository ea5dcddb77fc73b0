#pragma once
// The shipped server executable, headless, in a temporary program directory of its own (the
// language files, the sealed-channel plugin and a test configuration), on a loopback port.
//
//   ServerProcess server;                         on a free port
//   ServerProcess server(config);                 Config: a port, more [General] keys, a
//                                                 chatrooms.cfg
//   server.WaitUntilOnline();                     true once it takes connections
//   server.Kill();                                gone at once, as a crash would end it
//
// No ping cycle runs during a test unless asked for: its pings are answered by the clients
// anyway, and they would only add traffic.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "client/ChatClient.hpp"
#include "client/LoopbackPort.hpp"
#include "support/ChildProcess.hpp"
#include "support/TempProgramDir.hpp"

namespace velmorin::testing {

class ServerProcess {
 public:
  struct Config {
    std::uint16_t port = 0;  // 0: a free one
    std::string general;     // more lines of [General], each ending in CR LF
    std::string chatrooms;   // config/chatrooms.cfg when not empty
  };

  ServerProcess() : ServerProcess(Config{}) {}
  explicit ServerProcess(const Config& config)
      : port_(config.port != 0 ? config.port : client::FreeLoopbackPort()) {
    const std::string program = dir_.path("velmorin-server");
    std::filesystem::copy_file(std::string(VELMORIN_DIST_DIR) + "/velmorin-server", program);
    std::filesystem::create_directories(dir_.path("language"));
    for (const auto& entry : std::filesystem::directory_iterator(std::string(VELMORIN_SOURCE_DIR) + "/language")) {
      if (entry.path().extension() == ".lng")
        std::filesystem::copy_file(entry.path(), dir_.path("language/" + entry.path().filename().string()));
    }
    dir_.installPlugin(std::string(VELMORIN_DIST_DIR) + "/plugins/sealed_channel.so", "sealed_channel");
    dir_.write("config/server.cfg",
               "[Info]\r\nLanguage=English.lng\r\n[General]\r\nPingDelay=600000\r\n"
               "Description=Test server<br>on loopback\r\n" +
                   config.general);
    if (!config.chatrooms.empty()) dir_.write("config/chatrooms.cfg", config.chatrooms);
    process_ = std::make_unique<ChildProcess>(
        program, std::vector<std::string>{"--headless", "/port:" + std::to_string(port_)}, dir_.path("server.txt"),
        false);
  }

  // True once the server takes connections (within ten seconds).
  bool WaitUntilOnline() {
    if (!process_ || !process_->Started()) return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      client::ChatClient probe;
      if (probe.Connect("127.0.0.1", port_, std::chrono::milliseconds(500))) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  void Kill() { process_.reset(); }

  std::uint16_t port() const { return port_; }
  const TempProgramDir& dir() const { return dir_; }
  TempProgramDir& dir() { return dir_; }
  std::string Log() const { return process_ ? process_->Output() : std::string(); }

 private:
  TempProgramDir dir_;  // outlives the process, which is ended first
  std::uint16_t port_;
  std::unique_ptr<ChildProcess> process_;
};

}  // namespace velmorin::testing
