#pragma once
// A child process for tests that run the shipped programs: standard output and error go to a
// file, standard input is a pipe the test writes to (or nothing), and the process is killed and
// reaped on every path that leaves it running. Every wait is bounded. A working directory, when
// given, is the child's current directory.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace velmorin::testing {

class ChildProcess {
 public:
  static constexpr std::chrono::milliseconds kDefaultBound{10000};

  ChildProcess(const std::string& program, const std::vector<std::string>& arguments, const std::string& output,
               bool withInput = false, const std::string& workingDirectory = "")
      : output_(output) {
    // A child that died early must fail the test, not end the test run.
    ::signal(SIGPIPE, SIG_IGN);
    int pipe[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (withInput && ::pipe2(pipe, O_CLOEXEC) == 0) {
      posix_spawn_file_actions_adddup2(&actions, pipe[0], STDIN_FILENO);
    } else {
      posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    if (!workingDirectory.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    if (::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (pipe[0] >= 0) ::close(pipe[0]);
    input_ = pipe[1];
  }
  ~ChildProcess() {
    EndInput();
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  // The process id while it runs (for /proc); -1 once it was reaped or never started.
  pid_t Pid() const { return pid_; }
  // Never kill(-1, ...) once the child is reaped: that would signal every process we may signal.
  void Signal(int signal) const {
    if (pid_ > 0) ::kill(pid_, signal);
  }

  void Type(const std::string& lines) {
    if (input_ >= 0) (void)!::write(input_, lines.data(), lines.size());
  }
  void EndInput() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
  }

  std::string Output() const {
    std::ifstream in(output_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  bool WaitFor(const std::string& text, std::chrono::milliseconds bound = kDefaultBound) const {
    return WaitUntil([&] { return Output().find(text) != std::string::npos; }, bound);
  }

  // The exit code once the process has ended; nothing when it did not end within the bound or
  // was ended by a signal.
  std::optional<int> WaitForExit(std::chrono::milliseconds bound = kDefaultBound) {
    if (pid_ <= 0) return std::nullopt;  // waitpid(-1, ...) would reap some other child
    int status = 0;
    const bool ended = WaitUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, bound);
    if (!ended) return std::nullopt;
    pid_ = -1;
    return WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
  }

 private:
  static bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!done()) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

  std::string output_;
  pid_t pid_ = -1;
  int input_ = -1;
};

}  // namespace velmorin::testing
