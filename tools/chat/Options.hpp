#pragma once
// The command line of velmorin-chat.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace velmorin::chat {

struct Options {
  std::string host = "localhost";
  bool hostGiven = false;  // discovery broadcasts unless a host was named
  std::uint16_t port = 1000;
  std::string password;
  long color = 0;
  std::string room;  // empty: the room the welcome names
  std::chrono::milliseconds timeout{3000};
  bool discover = false;
  bool encrypt = false;
  bool timestamps = true;  // "[HH:MM]" before what happens
  bool help = false;
  std::string nickname;
};

// The options, or the reason they are not usable.
struct ParsedOptions {
  std::optional<Options> options;
  std::string error;
};

ParsedOptions ParseOptions(int argc, const char* const* argv);

std::string UsageText();

}  // namespace velmorin::chat
