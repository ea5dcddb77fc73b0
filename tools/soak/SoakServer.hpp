#pragma once
// The server under soak: a copy of the executable with its language files and shipped plugins
// in a temporary program directory, started headless on a free loopback port, its output in
// a file there. The figures come from /proc and from the discovery reply.

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

namespace velmorin::soak {

class SoakServer {
 public:
  // Throws when the directory cannot be made or the executable not copied.
  explicit SoakServer(const std::string& executable);
  // Kills a server that still runs and removes the directory unless kept.
  ~SoakServer();
  SoakServer(const SoakServer&) = delete;
  SoakServer& operator=(const SoakServer&) = delete;

  // Starts the copy; true once it answers discovery (within 20 s).
  bool Start();
  // SIGTERM and the exit status; nothing when it did not exit normally within 20 s.
  std::optional<int> Stop();
  // False once it has ended (and was reaped).
  bool Running();

  std::uint16_t port() const { return port_; }
  pid_t pid() const { return pid_; }
  const std::string& directory() const { return directory_; }
  std::string OutputTail(std::size_t bytes) const;
  void Keep() { keep_ = true; }

  std::optional<std::uint64_t> RssKb() const;
  std::optional<long> Descriptors() const;
  std::optional<long> Users() const;

 private:
  std::string directory_;  // ends with "/"
  std::uint16_t port_ = 0;
  pid_t pid_ = -1;
  bool exited_ = false;
  int status_ = 0;
  bool keep_ = false;
};

}  // namespace velmorin::soak
