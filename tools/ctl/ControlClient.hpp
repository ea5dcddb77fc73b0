#pragma once
// velmorin-ctl's end of the control socket: connects, checks the greeting, sends one request
// line and reads the answer lines.

#include <optional>
#include <string>
#include <vector>

namespace velmorin::ctl {

enum class ConnectResult { Connected, NotRunning, Failed };

class ControlClient {
 public:
  ControlClient() = default;
  ~ControlClient();
  ControlClient(const ControlClient&) = delete;
  ControlClient& operator=(const ControlClient&) = delete;

  // Connects to the socket and reads the greeting. NotRunning when there is no socket or nothing
  // listens on it; Failed (with the reason in error(), the server's own text when it refused the
  // connection) for anything else. A connection made before is closed first.
  ConnectResult Connect(const std::string& path);
  void Disconnect();
  // `version`: the protocol the reply is to be written in (1, or 2 when Offers(2)).
  bool SendRequest(const std::vector<std::string>& words, const std::string& input, int version = 1);
  // The next line from the server without its line break; nothing at the end of the stream, on
  // an error or after timeoutMs (-1: no limit).
  std::optional<std::string> ReadLine(int timeoutMs);

  const std::string& error() const { return error_; }
  const std::string& serverVersion() const { return serverVersion_; }
  // Whether the server's greeting lists that protocol version (every server speaks 1).
  bool Offers(int version) const;

 private:
  int fd_ = -1;
  std::string buffered_;
  std::string error_;
  std::string serverVersion_;
  std::vector<int> protocols_;
};

}  // namespace velmorin::ctl
