#pragma once
// The real server core running in this process, on a thread of its own, for tests that talk to
// it over loopback with the client library.
//
//   ServerHarness server;                    a temporary program directory with the language
//                                            files and a test configuration (ping timeout 200 ms,
//                                            no ping cycle, log lines are the bare messages)
//   server.Set("General", "MaxUserCount", "2");  changes config/server.cfg before Start
//   server.dir().write("config/ban.cfg", ...);   any other file, before Start
//   server.Start();                          loads the settings and the server and goes online
//                                            on a free port; false when it did not get online
//   server.Call([](ChatServer& s) { ... });   runs on the server thread, returns the result
//   server.Sync();                           every byte a client sent before has been handled
//   server.WaitForLog("msgPingTimeout", {{"%id", "1"}});   a log line made from that language
//                                            text; placeholders not given match anything
//   server.frontEnd()                        the log lines with colours, the status display and
//                                            the questions asked, with the answer to give
//   server.Stop();                           Unload (settings, bans and welcome text saved, log
//                                            file closed), then the thread ends; also run by the
//                                            destructor. Call still works afterwards.
//
// The event loop and the settings are process-wide: one harness runs at a time (Start waits
// for the previous one to stop), and only the harness thread runs the loop while it lives.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "client/ChatClient.hpp"
#include "client/LoopbackPort.hpp"
#include "platform/EventLoop.hpp"
#include "server/AdminFrontEnd.hpp"
#include "server/ChatServer.hpp"
#include "support/SettingsText.hpp"
#include "support/TempProgramDir.hpp"

namespace velmorin::testing {

// The bound of every wait in the server tests; a safety limit, never a measured time.
inline constexpr std::chrono::milliseconds kWait{3000};

using client::FreeLoopbackPort;

// Copies the shipped language files into `directory` (created when missing).
void CopyLanguageFiles(const std::string& directory);

// Records what the server shows its administrator; read from any thread.
class RecordingFrontEnd : public AdminFrontEnd {
 public:
  struct LogLine {
    std::string text;
    long color = 0;
  };
  struct Status {
    long icon = -1;
    std::string line;
  };

  void AppendLogLine(const std::string& line, long color) override;
  void ShowStatus(long icon, const std::string& statusLine, const std::string& trayTip) override;
  bool AskYesNo(const std::string& question, const std::string& title, bool answerWhenUnattended) override;

  std::vector<LogLine> Log() const;
  std::vector<std::string> Lines() const;
  // Waits until some line satisfies the test; true when one did within the time.
  bool WaitForLine(const std::function<bool(const std::string&)>& test, std::chrono::milliseconds timeout) const;
  Status LastStatus() const;
  std::vector<std::string> Questions() const;
  // What yes/no questions are answered; yes unless set.
  void AnswerQuestions(bool yes) { answer_ = yes; }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<LogLine> lines_;
  Status status_;
  std::vector<std::string> questions_;
  std::atomic<bool> answer_{true};
};

using Placeholders = std::vector<std::pair<std::string, std::string>>;

class ServerHarness {
 public:
  ServerHarness();
  ~ServerHarness();
  ServerHarness(const ServerHarness&) = delete;
  ServerHarness& operator=(const ServerHarness&) = delete;

  // Before Start: a key of config/server.cfg.
  void Set(const std::string& section, const std::string& key, const std::string& value);
  bool Start();
  void Stop();

  TempProgramDir& dir() { return dir_; }
  std::uint16_t port() const { return port_; }
  RecordingFrontEnd& frontEnd() { return frontEnd_; }

  // Runs fn(server) on the server thread, or here once no thread runs the server, and hands
  // back the result. Throws when the server does not answer in time (a stuck loop).
  template <typename Fn>
  auto Call(Fn fn) -> std::invoke_result_t<Fn, ChatServer&> {
    using Result = std::invoke_result_t<Fn, ChatServer&>;
    if (server_ == nullptr) throw std::logic_error("the server was never started");
    if (!running_) return fn(*server_);
    auto promise = std::make_shared<std::promise<Result>>();
    std::future<Result> future = promise->get_future();
    MainLoop().Post([promise, server = server_.get(), fn = std::move(fn)]() mutable {
      if constexpr (std::is_void_v<Result>) {
        fn(*server);
        promise->set_value();
      } else {
        promise->set_value(fn(*server));
      }
    });
    if (future.wait_for(kWait) != std::future_status::ready) throw std::runtime_error("the server thread is stuck");
    return future.get();
  }
  // After it, the server has handled every byte a client had sent before the call.
  void Sync();

  // Log lines recorded so far (the pattern is "%message": each is the bare text).
  std::vector<std::string> LogLines() const { return frontEnd_.Lines(); }
  // The server's language text `key`.
  std::string Text(const std::string& key);
  // Whether a line is the log message `key` with the given placeholder values.
  std::function<bool(const std::string&)> Matcher(const std::string& key, const Placeholders& given = {});
  bool WaitForLog(const std::string& key, const Placeholders& given = {}, std::chrono::milliseconds timeout = kWait);
  int CountLog(const std::string& key, const Placeholders& given = {});

  // A client connected to the server (check IsConnected()).
  client::ChatClient Connect();
  // Connected, welcomed and accepted as `nickname`; a failure is reported to the running test.
  client::ChatClient LoggedIn(const std::string& nickname, const std::string& password = "");

 private:
  void Run(std::promise<bool>& started);

  TempProgramDir dir_;
  std::uint16_t port_;
  SettingsText settings_;
  RecordingFrontEnd frontEnd_;
  std::unique_ptr<ChatServer> server_;
  std::thread thread_;
  bool running_ = false;  // the thread runs the loop
  std::unique_lock<std::mutex> loopTurn_;
};

// The login payload as a client sends it: nickname, proof, colour, client version, protocol.
std::string LoginPayload(const std::string& nickname, const std::string& proof = "",
                         const std::string& protocol = "0.6");

}  // namespace velmorin::testing
