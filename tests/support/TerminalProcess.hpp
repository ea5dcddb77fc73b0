#pragma once
// A program on a pseudo-terminal, as a person runs it: the terminal is its controlling terminal
// (a size change reaches it as SIGWINCH, Ctrl-C is a key like any other in raw mode), with a
// window size and environment overrides of its own. The test types keys and reads what the
// program shows. Every wait is bounded, and the process is killed and reaped on every path that
// leaves it running.
//
//   TerminalProcess chat(program, arguments);     80 x 24, the test's environment
//   TerminalProcess chat(program, arguments, {.columns = 40, .environment = {"NO_COLOR=1"}});
//   chat.WaitFor("text");                         anywhere in what was shown so far
//   chat.Expect("text");                          after what the last Expect matched
//   chat.Resize(20);                              fewer columns, the same rows
//   chat.WaitForExit();                           the exit code, or nothing

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace velmorin::testing {

class TerminalProcess {
 public:
  static constexpr std::chrono::milliseconds kDefaultBound{15000};
  // What a test keeps of the output; a program that shows more fails its test instead of
  // filling the memory.
  static constexpr std::size_t kMaxOutput = 8 * 1024 * 1024;

  struct Options {
    unsigned short columns = 80;
    unsigned short rows = 24;
    // "NAME=value" entries, each in place of the test's own NAME.
    std::vector<std::string> environment;
  };

  TerminalProcess(const std::string& program, const std::vector<std::string>& arguments)
      : TerminalProcess(program, arguments, Options{}) {}
  TerminalProcess(const std::string& program, const std::vector<std::string>& arguments, const Options& options)
      : rows_(options.rows) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    SetSize(options.columns);
    const std::string terminal = ::ptsname(master_);

    // A session of its own, then the terminal opened without O_NOCTTY: it becomes the
    // controlling terminal, and the program's process group its foreground group.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, terminal.c_str(), O_RDWR, 0);
    posix_spawn_file_actions_adddup2(&actions, STDIN_FILENO, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, STDIN_FILENO, STDERR_FILENO);

    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> environment = Environment(options.environment);
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);

    if (::posix_spawn(&pid_, program.c_str(), &actions, &attributes, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  ~TerminalProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) ::close(master_);
  }
  TerminalProcess(const TerminalProcess&) = delete;
  TerminalProcess& operator=(const TerminalProcess&) = delete;

  bool Started() const { return pid_ > 0 && master_ >= 0; }

  // Keys as the terminal passes them on: "\r" is Enter, "\x03" Ctrl-C.
  void Type(const std::string& keys) {
    std::size_t done = 0;
    while (master_ >= 0 && done < keys.size()) {
      const ssize_t wrote = ::write(master_, keys.data() + done, keys.size() - done);
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote <= 0) return;
      done += static_cast<std::size_t>(wrote);
    }
  }
  // A new number of columns; the rows stay.
  void Resize(unsigned short columns) { SetSize(columns); }

  // Everything the program showed so far, escape sequences included.
  const std::string& Output() const { return output_; }

  // Waits for `text` anywhere in the output.
  bool WaitFor(const std::string& text, std::chrono::milliseconds bound = kDefaultBound) {
    return ReadUntil([&] { return output_.find(text) != std::string::npos; }, bound);
  }
  // Waits for `text` after what the last Expect matched, and moves past it: a sequence of
  // Expects checks that things were shown in that order.
  bool Expect(const std::string& text, std::chrono::milliseconds bound = kDefaultBound) {
    std::size_t at = std::string::npos;
    if (!ReadUntil([&] { return (at = output_.find(text, mark_)) != std::string::npos; }, bound)) return false;
    mark_ = at + text.size();
    return true;
  }

  // The exit code once the program has ended, with all it showed read; nothing when it did not
  // end within the bound or was ended by a signal.
  std::optional<int> WaitForExit(std::chrono::milliseconds bound = kDefaultBound) {
    if (pid_ <= 0) return std::nullopt;  // waitpid(-1, ...) would reap some other child
    int status = 0;
    if (!ReadUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, bound, true)) return std::nullopt;
    pid_ = -1;
    while (Read(std::chrono::milliseconds(0)) == Got::kText) {
    }
    return WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
  }

 private:
  enum class Got { kText, kNothing, kClosed };

  // The test's environment with the overrides in place of the variables they name.
  static std::vector<std::string> Environment(const std::vector<std::string>& overrides) {
    std::vector<std::string> result = overrides;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string text = *entry;
      const std::string name = text.substr(0, text.find('=') + 1);
      bool replaced = false;
      for (const std::string& override : overrides) replaced = replaced || override.rfind(name, 0) == 0;
      if (!replaced) result.push_back(text);
    }
    return result;
  }

  void SetSize(unsigned short columns) {
    winsize size{};
    size.ws_row = rows_;
    size.ws_col = columns;
    if (master_ >= 0) ::ioctl(master_, TIOCSWINSZ, &size);
  }

  // Reads until `done`, the bound, or (unless the program's end is awaited) the terminal
  // closing on the program's side, after which nothing more can be shown.
  template <typename Done>
  bool ReadUntil(Done done, std::chrono::milliseconds bound, bool untilExit = false) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!done()) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      const std::chrono::milliseconds wait = untilExit ? std::min(left, std::chrono::milliseconds(20)) : left;
      if (Read(wait) == Got::kClosed) {
        if (!untilExit) return done();
        // The program closed the terminal and may still be ending: wait for that without spinning.
        ::poll(nullptr, 0, static_cast<int>(wait.count()));
      }
    }
    return true;
  }

  // One read of what the program showed, waiting up to `wait` for it.
  Got Read(std::chrono::milliseconds wait) {
    if (master_ < 0 || output_.size() >= kMaxOutput) return Got::kClosed;
    pollfd entry{master_, POLLIN, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(wait.count()));
    if (ready == 0 || (ready < 0 && errno == EINTR)) return Got::kNothing;
    if (ready < 0) return Got::kClosed;
    char chunk[4096];
    const ssize_t got = ::read(master_, chunk, sizeof chunk);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) return Got::kNothing;
    if (got <= 0) return Got::kClosed;  // EIO: no process has the terminal open any more
    output_.append(chunk, std::min(static_cast<std::size_t>(got), kMaxOutput - output_.size()));
    return Got::kText;
  }

  unsigned short rows_;
  int master_ = -1;
  pid_t pid_ = -1;
  std::string output_;
  std::size_t mark_ = 0;
};

}  // namespace velmorin::testing
