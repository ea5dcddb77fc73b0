#pragma once
// Command-line options of the load generator.
//
//   Options       — everything one run needs, already validated.
//   ParseOptions  — reads argv; refuses targets outside 127.0.0.0/8 so that a run never
//                   leaves the machine.

#include <cstdint>
#include <optional>
#include <string>

namespace velmorin::load {

struct Options {
  std::string host = "127.0.0.1";
  std::uint32_t address = 0;  // IPv4, network byte order
  std::uint16_t port = 0;
  std::uint32_t clients = 10;
  std::uint32_t senders = 1;
  std::uint32_t messages = 1000;  // per sender
  std::uint32_t size = 100;       // bytes of message text
  std::uint32_t window = 16;      // messages in flight per sender
  double rate = 0;                // messages per sender per second; 0 = closed loop
  std::string room = "loadtest";
  int serverPid = 0;              // 0 = no server figures
  std::uint32_t concurrency = 64;  // connection attempts in flight
  double deadlineSeconds = 120;
  double phaseLimitSeconds = 60;    // connecting, joining
  double messageTimeoutSeconds = 10;  // one message may take this long to reach everybody
  bool encrypt = false;  // every client agrees on sealed payloads after its login
  bool json = false;
};

struct ParsedOptions {
  std::optional<Options> options;  // empty: do not run
  int exitCode = 0;                // when empty: 0 after --help, 2 after a usage error
};

ParsedOptions ParseOptions(int argc, char** argv);

}  // namespace velmorin::load
