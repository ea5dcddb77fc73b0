#pragma once
// Watches one call into a plugin, set around the call at its call site:
//
//   { const PluginCallGuard guard(ident, event); plugin->Command(event, first, second); }
//
// A call that takes longer than kSlowPluginCall is logged with the plugin and the event (the
// server is single-threaded: while a plugin sleeps, no client is served). When the process
// gets SIGSEGV, SIGBUS, SIGFPE or SIGILL during a watched call, one line naming the plugin and
// the event goes to standard error and to the open log file before the process dies with the
// signal, so the administrator knows which plugin to remove. A fault outside any watched call
// (on a plugin's own thread) gets a line with the faulting code address, the plugin whose code
// holds it, and every loaded plugin's address range (PluginAddressRanges).
//
// The crash line is prepared when the guard is made (a fixed buffer in the guard), so the
// signal handler only copies bytes and calls write(2). Guards nest: a plugin may call the
// server, which raises an event to another plugin; the innermost call is the one named.

#include <chrono>
#include <cstddef>
#include <string_view>

namespace velmorin {

class LogWriter;

inline constexpr std::chrono::milliseconds kSlowPluginCall{100};

class PluginCallGuard {
 public:
  PluginCallGuard(std::string_view plugin, std::string_view event);
  ~PluginCallGuard();
  PluginCallGuard(const PluginCallGuard&) = delete;
  PluginCallGuard& operator=(const PluginCallGuard&) = delete;

  // The prepared crash line's start: "Plugin <plugin> crashed during <event>".
  std::string_view CrashText() const { return {line_, length_}; }

  // Where slow calls are logged and which log file gets the crash line; nullptr stops both
  // (the crash line still goes to standard error). Installs the signal handlers once.
  static void ReportTo(LogWriter* log);

 private:
  static constexpr std::size_t kLineSize = 240;
  char line_[kLineSize];
  std::size_t length_ = 0;
  const PluginCallGuard* outer_;
  std::chrono::steady_clock::time_point start_;
  // Where the plugin's name and the event are in line_: the guard keeps no reference to the
  // caller's texts, which may be temporaries.
  std::size_t pluginStart_ = 0, pluginEnd_ = 0, eventStart_ = 0;
};

}  // namespace velmorin
