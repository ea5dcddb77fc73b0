#include "plugins/PluginCallGuard.hpp"

#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "logging/LogWriter.hpp"
#include "plugins/PluginAddressRanges.hpp"

namespace velmorin {
namespace {

constexpr long kRed = 255;
constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};

// The call in progress on this thread (the signal arrives on the thread that faulted).
thread_local const PluginCallGuard* current = nullptr;
LogWriter* reportLog = nullptr;
struct sigaction previous[std::size(kFatalSignals)];

// Appends what fits of `text` to the buffer at `used`; returns the new length.
std::size_t Append(char* buffer, std::size_t size, std::size_t used, std::string_view text) {
  const std::size_t room = used < size ? size - used : 0;
  const std::size_t taken = std::min(room, text.size());
  std::memcpy(buffer + used, text.data(), taken);
  return used + taken;
}

const char* SignalName(int signal) {
  switch (signal) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    default: return "SIGILL";
  }
}

void WriteOut(int fd, const char* bytes, std::size_t length) {
  while (length > 0) {
    const ssize_t written = ::write(fd, bytes, length);
    if (written <= 0) return;
    bytes += written;
    length -= static_cast<std::size_t>(written);
  }
}

// The address of the instruction that faulted; the faulting data address where it is unknown.
std::uintptr_t CodeAddress(const siginfo_t* info, const void* context) {
#if defined(__x86_64__)
  if (context != nullptr) return static_cast<std::uintptr_t>(static_cast<const ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
  if (context != nullptr) return static_cast<std::uintptr_t>(static_cast<const ucontext_t*>(context)->uc_mcontext.pc);
#else
  (void)context;
#endif
  return info != nullptr ? reinterpret_cast<std::uintptr_t>(info->si_addr) : 0;
}

// The line for a fault outside any watched call: where the code was, and the plugins' ranges.
std::size_t UnwatchedCrashLine(char* line, std::size_t size, int signal, std::uintptr_t address) {
  std::size_t length = Append(line, size, 0, "The server got ");
  length = Append(line, size, length, SignalName(signal));
  length = Append(line, size, length, " at ");
  length = AppendHex(line, size, length, address);
  length = Append(line, size, length, " ");
  return length + DescribeCodeAddress(address, line + length, size > length ? size - length : 0);
}

// Async-signal-safe: copies prepared bytes, calls write(2), then lets the signal take its
// earlier course (the default action: the process dies as it would have).
void OnFatalSignal(int signal, siginfo_t* info, void* context) {
  char line[1200];
  std::size_t length = 0;
  if (const PluginCallGuard* call = current) {
    length = Append(line, sizeof line, 0, call->CrashText());
    length = Append(line, sizeof line, length, " (");
    length = Append(line, sizeof line, length, SignalName(signal));
    length = Append(line, sizeof line, length, "); the server ends. Remove or replace that plugin.\r\n");
  } else {
    // Not inside a call: a plugin's own thread, or the server itself.
    length = UnwatchedCrashLine(line, sizeof line - 3, signal, CodeAddress(info, context));
    length = Append(line, sizeof line, length, ".\r\n");
  }
  WriteOut(STDERR_FILENO, line, length);
  if (reportLog != nullptr) {
    const int fd = reportLog->Logging().Descriptor();
    if (fd >= 0) WriteOut(fd, line, length);
  }
  for (std::size_t index = 0; index < std::size(kFatalSignals); ++index) {
    if (kFatalSignals[index] == signal) ::sigaction(signal, &previous[index], nullptr);
  }
  ::raise(signal);  // blocked until this handler returns; a fault also recurs on return
}

void InstallHandlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  // A plugin that overflows its stack faults on the guard page: the handler needs a stack of its
  // own to run at all. One set up before (a sanitizer's) is kept.
  static char alternateStack[64 * 1024];
  stack_t old{};
  if (::sigaltstack(nullptr, &old) == 0 && (old.ss_flags & SS_DISABLE) != 0) {
    stack_t own{};
    own.ss_sp = alternateStack;
    own.ss_size = sizeof alternateStack;
    ::sigaltstack(&own, nullptr);
  }
  struct sigaction action {};
  action.sa_sigaction = &OnFatalSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_ONSTACK | SA_SIGINFO;
  for (std::size_t index = 0; index < std::size(kFatalSignals); ++index) {
    ::sigaction(kFatalSignals[index], &action, &previous[index]);
  }
}

}  // namespace

PluginCallGuard::PluginCallGuard(std::string_view plugin, std::string_view event)
    : outer_(current), start_(std::chrono::steady_clock::now()) {
  pluginStart_ = Append(line_, kLineSize, 0, "Plugin ");
  pluginEnd_ = Append(line_, kLineSize, pluginStart_, plugin);
  eventStart_ = Append(line_, kLineSize, pluginEnd_, " crashed during ");
  length_ = Append(line_, kLineSize, eventStart_, event);
  current = this;
}

PluginCallGuard::~PluginCallGuard() {
  current = outer_;
  const auto took =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_);
  if (took <= kSlowPluginCall || reportLog == nullptr) return;
  const std::string_view plugin(line_ + pluginStart_, pluginEnd_ - pluginStart_);
  const std::string_view event(line_ + eventStart_, length_ - eventStart_);
  reportLog->WriteLogLine("Plugin " + std::string(plugin) + " took " + std::to_string(took.count()) + " ms for " +
                              std::string(event) + "; no client was served meanwhile.\r\n",
                          kRed);
}

void PluginCallGuard::ReportTo(LogWriter* log) {
  reportLog = log;
  InstallHandlers();
}

}  // namespace velmorin
