#pragma once
// One visit to a server: connect, greet, log in, enter a chatroom, then run typed commands and
// show what arrives until the user leaves, the input ends or the server closes.
//
// After every request the session sends a "ping". The server handles a connection's packets
// in order and answers "ping" with "pong", so the "pong" marks the point by which every reply
// to the request has arrived. Scripts wait for that point before their next line; in both
// modes it tells the user about requests the server drops without a word (a private message
// to nobody, the users of a chatroom that does not exist).

#include <deque>
#include <string>

#include "chat/Away.hpp"
#include "chat/Commands.hpp"
#include "chat/Input.hpp"
#include "chat/Options.hpp"
#include "chat/Roster.hpp"
#include "chat/Screen.hpp"
#include "client/ChatClient.hpp"

namespace velmorin::chat {

enum ExitCode { kExitOk = 0, kExitConnection = 1, kExitUsage = 2, kExitRefused = 3 };

class Session {
 public:
  // `scripted`: commands come from a pipe or a file, not from a person.
  Session(const Options& options, Screen& screen, Screen& errors, bool scripted);

  // `input` is standard input; `editor` (may be null) is the one it feeds, for the prompt.
  ExitCode Run(Input& input, LineEditor* editor);

 private:
  enum class Outcome { kGoOn, kLeave, kClosed };

  ExitCode Start();
  ExitCode Loop(Input& input);
  Outcome Perform(const std::string& typed);
  bool Submit(const ParsedLine& parsed);
  bool WaitUntilAnswered();
  bool Pump(std::chrono::milliseconds duration);
  void Handle(const client::Packet& packet);
  void Check(const Expectation& expectation);
  ExitCode Leave(const std::string& reason);
  ExitCode Closed();
  void UpdatePrompt();
  void ApplyState(const ParsedLine& parsed);
  CommandContext Context() const;

  const Options& options_;
  Screen& screen_;
  Screen& errors_;
  bool scripted_;
  LineEditor* editor_ = nullptr;
  client::ChatClient client_;
  std::string nickname_;
  std::string room_;
  AwayState away_;
  Roster roster_;                    // the nicknames Tab completes
  SelfMessageFilter selfMessages_;
  std::string query_;                // where /query sends plain text; empty for the room
  std::deque<Expectation> pending_;  // one per ping not yet answered
  std::size_t abandoned_ = 0;        // pongs still to come for pings no longer waited for
};

// Set by SIGINT, SIGTERM and SIGHUP: leave politely at the next turn of the loop.
void InstallStopSignals();

}  // namespace velmorin::chat
