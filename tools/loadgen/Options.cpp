#include "Options.hpp"

#include <arpa/inet.h>

#include <charconv>
#include <cstdio>
#include <string_view>

namespace velmorin::load {
namespace {

constexpr const char* kUsage =
    "Usage: velmorin-load --port N [options]\n"
    "  --host A          server address, IPv4 in 127.0.0.0/8 or localhost (default 127.0.0.1)\n"
    "  --port N          server port (required)\n"
    "  --clients N       clients that log in and join the room (default 10)\n"
    "  --senders S       how many of them send (default 1)\n"
    "  --messages M      messages per sender (default 1000)\n"
    "  --size B          bytes of message text (default 100)\n"
    "  --window W        messages in flight per sender (default 16)\n"
    "  --rate R          open loop: R messages per sender per second (window still caps)\n"
    "  --room NAME       chatroom, created when missing (default loadtest)\n"
    "  --server-pid P    read the server's RSS and CPU time from /proc\n"
    "  --conc C          connection attempts in flight (default 64)\n"
    "  --deadline S      hard bound of the whole run in seconds (default 120)\n"
    "  --phase-limit S   bound of connecting and of joining in seconds (default 60)\n"
    "  --msg-timeout S   a message not delivered everywhere by then counts as lost (default 10)\n"
    "  --encrypt         every client agrees on sealed payloads with the server's\n"
    "                    x25519-xchacha20poly1305 plugin after its login, then joins; the login\n"
    "                    figures include that key exchange\n"
    "  --json            print the result as one JSON line\n"
    "Exit status: 0 all delivered, 1 something lost or failed, 2 usage, 3 deadline.\n";

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc{} && end == text.data() + text.size();
}

bool ParsePositive(std::string_view text, double& seconds) { return ParseNumber(text, seconds) && seconds > 0; }

// Only literal loopback addresses: a name would go through the resolver, which may ask a
// server elsewhere, and a run must not touch anything outside the machine.
bool ResolveLoopback(const std::string& host, std::uint32_t& address) {
  const std::string literal = host == "localhost" ? "127.0.0.1" : host;
  in_addr parsed{};
  if (inet_pton(AF_INET, literal.c_str(), &parsed) != 1) return false;
  if ((ntohl(parsed.s_addr) >> 24) != 127) return false;
  address = parsed.s_addr;
  return true;
}

ParsedOptions UsageError(const std::string& message) {
  std::fprintf(stderr, "velmorin-load: %s\n%s", message.c_str(), kUsage);
  return {std::nullopt, 2};
}

}  // namespace

ParsedOptions ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view name = argv[i];
    if (name == "--help" || name == "-h") {
      std::fputs(kUsage, stdout);
      return {std::nullopt, 0};
    }
    if (name == "--json") {
      options.json = true;
      continue;
    }
    if (name == "--encrypt") {
      options.encrypt = true;
      continue;
    }
    if (i + 1 >= argc) return UsageError("missing value after " + std::string(name));
    const std::string_view value = argv[++i];
    bool ok = true;
    if (name == "--host") options.host = value;
    else if (name == "--port") ok = ParseNumber(value, options.port) && options.port != 0;
    else if (name == "--clients") ok = ParseNumber(value, options.clients);
    else if (name == "--senders") ok = ParseNumber(value, options.senders);
    else if (name == "--messages") ok = ParseNumber(value, options.messages);
    else if (name == "--size") ok = ParseNumber(value, options.size);
    else if (name == "--window") ok = ParseNumber(value, options.window);
    else if (name == "--rate") ok = ParseNumber(value, options.rate) && options.rate >= 0;
    else if (name == "--room") options.room = value;
    else if (name == "--server-pid") ok = ParseNumber(value, options.serverPid) && options.serverPid > 0;
    else if (name == "--conc") ok = ParseNumber(value, options.concurrency);
    else if (name == "--deadline") ok = ParsePositive(value, options.deadlineSeconds);
    else if (name == "--phase-limit") ok = ParsePositive(value, options.phaseLimitSeconds);
    else if (name == "--msg-timeout") ok = ParsePositive(value, options.messageTimeoutSeconds);
    else return UsageError("unknown option " + std::string(name));
    if (!ok) return UsageError("bad value for " + std::string(name) + ": " + std::string(value));
  }

  if (options.port == 0) return UsageError("--port is required");
  if (!ResolveLoopback(options.host, options.address))
    return UsageError("refusing host " + options.host + ": only 127.0.0.0/8 is allowed");
  if (options.clients == 0) return UsageError("--clients must be at least 1");
  if (options.senders == 0 || options.senders > options.clients)
    return UsageError("--senders must be between 1 and --clients");
  if (options.window == 0) return UsageError("--window must be at least 1");
  if (options.concurrency == 0) return UsageError("--conc must be at least 1");
  if (options.room.empty() || options.room.find('\0') != std::string::npos)
    return UsageError("--room must be a non-empty name");
  // The text starts with a tag of at most 64 bytes that receivers parse; it must fit.
  if (options.size < 64 || options.size > 65536) return UsageError("--size must be between 64 and 65536");
  // Bookkeeping is per receiver and sender, and per message in flight: keep it in memory.
  if (static_cast<std::uint64_t>(options.clients) * options.senders > 16'000'000)
    return UsageError("--clients x --senders is capped at 16 million");
  if (static_cast<std::uint64_t>(options.senders) * options.messages > 50'000'000)
    return UsageError("--senders x --messages is capped at 50 million");
  return {options, 0};
}

}  // namespace velmorin::load
