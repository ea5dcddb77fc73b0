#include "Options.hpp"

#include <charconv>
#include <cstdio>
#include <string_view>

namespace velmorin::soak {
namespace {

constexpr const char* kUsage =
    "Usage: velmorin-soak --server PATH [MINUTES] [options]\n"
    "Starts a copy of the server headless on a free loopback port in a temporary program\n"
    "directory, runs a mixed load for MINUTES (default 10), samples the server's RSS,\n"
    "descriptors and user count, and fails when any of them drifts.\n"
    "  --server PATH       the velmorin-server executable (its language/ and plugins/ are copied)\n"
    "  --workers N         threads playing short sessions one after the other (default 12)\n"
    "  --residents N       clients logged in for the whole run (default 4)\n"
    "  --sample S          seconds between samples (default 5)\n"
    "  --rss-drift P       allowed RSS growth from the first to the last third, in percent (default 10)\n"
    "  --rss-floor KB      growth below this many kB is never drift (default 1024)\n"
    "  --settle S          bound for descriptors and users to return after the load (default 15)\n"
    "  --keep              keep the temporary program directory\n"
    "Exit status: 0 no drift, 1 drift or a failure, 2 usage.\n";

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc{} && end == text.data() + text.size();
}

ParsedOptions UsageError(const std::string& message) {
  std::fprintf(stderr, "velmorin-soak: %s\n%s", message.c_str(), kUsage);
  return {std::nullopt, 2};
}

}  // namespace

ParsedOptions ParseOptions(int argc, char** argv) {
  Options options;
  bool minutesGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view name = argv[i];
    if (name == "--help" || name == "-h") {
      std::fputs(kUsage, stdout);
      return {std::nullopt, 0};
    }
    if (name == "--keep") {
      options.keep = true;
      continue;
    }
    if (!name.starts_with("--")) {
      if (minutesGiven || !ParseNumber(name, options.minutes) || options.minutes <= 0) {
        return UsageError("not a length in minutes: " + std::string(name));
      }
      minutesGiven = true;
      continue;
    }
    if (i + 1 >= argc) return UsageError("missing value after " + std::string(name));
    const std::string_view value = argv[++i];
    bool ok = true;
    if (name == "--server") options.server = value;
    else if (name == "--workers") ok = ParseNumber(value, options.workers) && options.workers > 0 && options.workers <= 200;
    else if (name == "--residents") ok = ParseNumber(value, options.residents) && options.residents <= 100;
    else if (name == "--sample") ok = ParseNumber(value, options.sampleSeconds) && options.sampleSeconds >= 0.1;
    else if (name == "--rss-drift") ok = ParseNumber(value, options.rssDriftPercent) && options.rssDriftPercent >= 0;
    else if (name == "--rss-floor") ok = ParseNumber(value, options.rssDriftFloorKb);
    else if (name == "--settle") ok = ParseNumber(value, options.settleSeconds) && options.settleSeconds > 0;
    else return UsageError("unknown option " + std::string(name));
    if (!ok) return UsageError("bad value for " + std::string(name) + ": " + std::string(value));
  }
  if (options.server.empty()) return UsageError("--server is required");
  return {options, 0};
}

}  // namespace velmorin::soak
