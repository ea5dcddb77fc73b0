#pragma once
// What a typed line asks for: the packets to send, or something the client does itself.
//
// Plain text goes to the current chatroom; "/" starts a command ("//" sends a text that starts
// with "/"). Words may be put in double quotes to hold blanks: /join "Tea room" secret.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmorin::term {

// What the session knows that requests are built from.
struct CommandContext {
  std::string nickname;    // as the server accepted it
  std::string loginKey;    // from the welcome
  std::string sessionKey;  // from the login
  std::string room;        // the current chatroom; empty for none
  bool away = false;       // as the user last set it
  std::string awayText;
  std::string query;       // the user plain text goes to privately; empty for the chatroom
  std::string homeRoom;    // the server's standard chatroom, where /part goes; empty for none
};

struct Request {
  std::string command;
  std::string payload;
};

// A reply the server sends only when the request worked; without it the client can say why
// nothing came back.
struct Expectation {
  enum class Kind { kNone, kPrivateEcho, kUserlist };
  Kind kind = Kind::kNone;
  std::string name;  // the recipient, or the chatroom
};

struct ParsedLine {
  enum class Action {
    kNothing,  // an empty line
    kSend,     // send `requests`
    kQuit,     // send `requests` (the "quit"), then leave
    kHelp,
    kWait,     // show what arrives for `wait`
    kRefuse,   // `message` says what is wrong with the line
    kNote,     // `message` says why nothing is sent; `away` and `query` may still change
    kClear,    // clear the screen
  };
  Action action = Action::kNothing;
  std::vector<Request> requests;
  Expectation expect;
  std::string message;
  std::optional<bool> away;  // /away and /back change the state used to answer away requests
  std::string awayText;
  std::optional<std::string> query;  // /query opens (a nickname) or ends (empty) a conversation
  std::chrono::milliseconds wait{0};
  bool usesHomeRoom = false;  // the answer depends on the standard room (/part)
};

// `line` is wire text.
ParsedLine ParseLine(std::string_view line, const CommandContext& context);

std::vector<std::string> HelpLines();

// Every command word, aliases included, without the "/", for completion.
std::vector<std::string> CommandNames();

// The "joinChatroom" and "createChatroom" payloads, with their password proofs.
std::string JoinPayload(std::string_view room, std::string_view password, const CommandContext& context);
std::string CreatePayload(std::string_view room, std::string_view password, std::string_view description,
                          const CommandContext& context);

}  // namespace velmorin::term
