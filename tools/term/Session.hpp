#pragma once
// One visit to a server: connect, greet, log in, enter a chatroom, then run typed commands and
// show what arrives until the user leaves, the input ends or the server is gone for good.
//
// After every request the session sends a "ping". The server handles a connection's packets
// in order and answers "ping" with "pong", so the "pong" marks the point by which every reply
// to the request has arrived. Scripts wait for that point before their next line; in both
// modes it tells the user about requests the server drops without a word (a private message
// to nobody, the users of a chatroom that does not exist), and it tells which typed lines the
// server has surely handled: those it has not are sent again after a reconnect.
//
// A lost connection is taken up again (unless switched off): a few attempts with growing
// pauses, the same nickname, the same chatroom, then the lines not yet confirmed. A session
// the administrator ended (the server sends the user its own "userLeft" with no new room just
// before it closes) is not taken up again: the user is told why and the client ends.

#include <chrono>
#include <deque>
#include <optional>
#include <string>

#include "term/Away.hpp"
#include "term/Commands.hpp"
#include "term/Input.hpp"
#include "term/Options.hpp"
#include "term/Roster.hpp"
#include "term/Screen.hpp"
#include "client/ChatClient.hpp"

namespace velmorin::term {

enum ExitCode { kExitOk = 0, kExitConnection = 1, kExitUsage = 2, kExitRefused = 3, kExitScriptFailed = 4 };

// The pauses before each attempt to connect again: 1, 2, 4, 8, 16 s, then 30 s, this many
// attempts in all (about two and a half minutes).
inline constexpr int kReconnectAttempts = 8;
inline constexpr std::chrono::seconds kLongestReconnectPause{30};

class Session {
 public:
  // `scripted`: commands come from a pipe or a file, not from a person.
  Session(const Options& options, Screen& screen, Screen& errors, bool scripted);

  // `input` is standard input; `editor` (may be null) is the one it feeds, for the prompt.
  ExitCode Run(Input& input, LineEditor* editor);

 private:
  enum class Outcome { kGoOn, kLeave, kClosed, kFailed };
  enum class LoginResult { kIn, kUsed, kRefused, kBroken };
  // A request whose "pong" has not come yet, and the typed line it came from (empty for the
  // client's own requests, which are not sent again).
  struct Unanswered {
    Expectation expect;
    std::string typed;
  };
  // How the current chatroom was entered, to enter it again after a reconnect: a typed /join
  // or /create line, or a room and password.
  struct RoomEntry {
    std::string typed;
    std::string room;
    std::string password;
  };

  ExitCode Start();
  LoginResult ConnectAndLogIn(const std::string& nickname, bool again);
  ExitCode EnterFirstRoom();
  // The room to start in from the server's list: empty when it names none or does not
  // answer in time, nothing when the connection is gone.
  std::optional<std::string> ChooseListedRoom();
  bool EnterRoom(const RoomEntry& entry);
  ExitCode Loop(Input& input);
  // Wire text of one typed line, with the warning for what the wire cannot carry.
  std::string TypedToWire(const std::string& typed);
  Outcome Perform(const std::string& typed);
  bool Submit(const ParsedLine& parsed, const std::string& typed);
  bool WaitUntilAnswered();
  bool Pump(std::chrono::milliseconds duration);
  void Handle(const client::Packet& packet);
  void Check(const Expectation& expectation);
  // After a lost connection: connected, logged in and back in the room, with the unconfirmed
  // lines and those typed meanwhile sent (nothing), or the exit code.
  std::optional<ExitCode> Recover();
  std::optional<ExitCode> Reconnect();
  ExitCode EndOfInput();
  ExitCode ScriptFailed();
  bool Pause(std::chrono::milliseconds duration);
  bool AskYesNo(const std::string& question);
  ExitCode Leave(const std::string& reason);
  ExitCode Closed();
  std::string LostText() const;
  // The standard room as the server names it now, read from a fresh welcome.
  void LearnStandardRoom();
  void RoomClosed(const std::string& name);
  ExitCode DisconnectedByAdministrator();
  std::string Where() const;
  void UpdatePrompt();
  void ApplyState(const ParsedLine& parsed);
  CommandContext Context() const;

  const Options& options_;
  Screen& screen_;
  Screen& errors_;
  bool scripted_;
  LineEditor* editor_ = nullptr;
  Input* input_ = nullptr;
  bool inputEnded_ = false;       // read while the session was away
  std::deque<std::string> held_;  // lines typed while the session was away
  client::ChatClient client_;
  client::Welcome welcome_;
  std::string nickname_;  // as the server accepted it
  std::string room_;
  RoomEntry roomEntry_;     // how room_ was entered
  RoomEntry enteringRoom_;  // the /join or /create line sent last
  AwayState away_;
  Roster roster_;                  // the nicknames Tab completes
  SelfMessageFilter selfMessages_;
  std::string query_;              // where /query sends plain text; empty for the room
  std::deque<Unanswered> pending_;  // one per ping not yet answered
  std::size_t abandoned_ = 0;       // pongs still to come for pings no longer waited for
  bool failed_ = false;             // the line being run failed
  bool charsetExplained_ = false;
  std::optional<std::string> kickReason_;  // set once the server said it is ending the session
  std::string lastServerMessage_;
  std::chrono::steady_clock::time_point lastServerMessageAt_;
};

// Set by SIGINT, SIGTERM and SIGHUP: leave politely at the next turn of the loop.
void InstallStopSignals();

}  // namespace velmorin::term
