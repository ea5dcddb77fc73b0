#pragma once
// The command line of velmorin-chat.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace velmorin::term {

struct Options {
  std::string host = "localhost";
  bool hostGiven = false;  // discovery broadcasts unless a host was named
  std::uint16_t port = 1000;
  std::string password;
  long color = 0;
  std::string room;  // empty: the standard room, else the server's first (see Session)
  std::string roomPassword;
  std::chrono::milliseconds timeout{3000};
  bool discover = false;
  bool encrypt = false;
  bool timestamps = true;  // "[HH:MM]" before what happens
  bool help = false;
  bool reconnect = true;   // after the connection is lost
  bool keepGoing = false;  // a script goes on after a failed command
  std::string nickname;
};

// The options, or the reason they are not usable.
struct ParsedOptions {
  std::optional<Options> options;
  std::string error;
};

ParsedOptions ParseOptions(int argc, const char* const* argv);

// "host", "host:port", "[v6]", "[v6]:port" or a bare IPv6 literal ("::1"): the host, and the
// port when one is given. Nothing when the text is none of these.
struct HostAndPort {
  std::string host;
  std::optional<std::uint16_t> port;
};
std::optional<HostAndPort> SplitHostPort(const std::string& text);

std::string UsageText();

}  // namespace velmorin::term
