#include "chat/Session.hpp"

#include <signal.h>

#include <csignal>

#include "chat/Render.hpp"
#include "codec/WireFormat.hpp"
#include "platform/Text.hpp"

namespace velmorin::chat {
namespace {

using client::ClientError;
using client::Packet;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void OnStopSignal(int) { stopRequested = 1; }

#define VELMORIN_TEXT(x) #x
#define VELMORIN_VERSION_TEXT(a, b, c) VELMORIN_TEXT(a) "." VELMORIN_TEXT(b) "." VELMORIN_TEXT(c)
constexpr const char* kClientVersion =
    "velmorin-chat " VELMORIN_VERSION_TEXT(VELMORIN_VERSION_MAJOR, VELMORIN_VERSION_MINOR, VELMORIN_VERSION_REVISION);

// How often the loop turns between standard input and the connection; neither can wake the
// other, so this is the longest either waits while the other is idle.
constexpr int kTurnMs = 15;

// What a script's end leaves for late answers (an away message another client sends back).
constexpr milliseconds kDrain{500};

}  // namespace

void InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a waiting poll returns at once
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGHUP, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
}

Session::Session(const Options& options, Screen& screen, Screen& errors, bool scripted)
    : options_(options), screen_(screen), errors_(errors), scripted_(scripted) {}

ExitCode Session::Run(Input& input, LineEditor* editor) {
  editor_ = editor;
  const ExitCode started = Start();
  if (started != kExitOk) return started;
  if (!scripted_) screen_.Print(Line(Style::kNotice, "Type /help for the commands, /quit to leave."));
  if (editor_ != nullptr && editor_->Start()) {
    editor_->SetNicknames([this] {
      std::vector<std::string> names = roster_.Names(nickname_);
      for (std::string& name : names) name = screen_.charset().ToTerminal(name);
      return names;
    });
    screen_.Attach(editor_);
    UpdatePrompt();
  }
  const ExitCode result = Loop(input);
  screen_.Attach(nullptr);
  return result;
}

ExitCode Session::Start() {
  const Charset& charset = screen_.charset();
  const std::string where = options_.host + ":" + std::to_string(options_.port);
  if (!client_.Connect(options_.host, options_.port, options_.timeout)) {
    errors_.Print(Line(Style::kError, "Cannot connect to " + where + ": " + client_.LastErrorText()));
    return kExitConnection;
  }
  const auto welcome = client_.ReceiveWelcome(options_.timeout);
  if (!welcome) {
    errors_.Print(Line(Style::kError, "No welcome from " + where + ": " + client_.LastErrorText()));
    return kExitConnection;
  }
  screen_.Print(Line(Style::kNotice, "Connected to Velmorin Server " + welcome->version + " at " + where + "."));
  if (welcome->status == "full") screen_.Print(Line(Style::kError, "The server says it is full."));
  if (!welcome->welcomeText.empty()) screen_.PrintText(Style::kPlain, welcome->welcomeText);

  const auto reply = client_.Login(charset.ToWire(options_.nickname), charset.ToWire(options_.password),
                                   options_.color, kClientVersion, options_.timeout);
  if (!reply) {
    errors_.Print(Line(Style::kError, "No answer to the login: " + client_.LastErrorText()));
    return kExitConnection;
  }
  if (!reply->Accepted()) {
    errors_.Print(Line(Style::kError, LoginRefusal(reply->status)));
    return kExitRefused;
  }
  nickname_ = reply->nickname;
  screen_.Print(Line(Style::kNotice, "Logged in as ").Add(Style::kOwnNick, nickname_).Add(Style::kNotice, "."));
  if (reply->status == "ok_nopwd")
    screen_.Print(Line(Style::kNotice, "That nickname has no password, so the one given was not needed."));
  if (options_.encrypt) {
    // Asked for privacy: without it the client leaves rather than chat in clear.
    if (!client_.EnableEncryption(options_.timeout)) {
      errors_.Print(Line(Style::kError, "No encryption: " + client_.LastErrorText() + "."));
      return client_.LastError() == client::ClientError::kEncryption ? kExitRefused : kExitConnection;
    }
    screen_.Print(Line(Style::kNotice, "Messages to and from the server are encrypted."));
  }

  std::string room = charset.ToWire(options_.room);
  if (room.empty()) room = !welcome->standardRoom.empty() ? welcome->standardRoom : welcome->onlyRoom;
  if (room.empty()) {
    screen_.Print(Line(Style::kNotice, "The server names no chatroom to start in: /rooms lists them, /join enters one."));
    return kExitOk;
  }
  ParsedLine join;
  join.action = ParsedLine::Action::kSend;
  join.requests.push_back({"joinChatroom", JoinPayload(room, "", Context())});
  // Typed lines may well depend on the room, so they wait for the answer in either mode.
  if (!Submit(join) || !WaitUntilAnswered()) return Closed();
  return kExitOk;
}

ExitCode Session::Loop(Input& input) {
  for (;;) {
    if (stopRequested) return Leave("");
    if (input.Ready(kTurnMs)) {
      for (const EditorInput& event : input.Read()) {
        if (event.kind == EditorInput::Kind::kEnd) {
          if (scripted_ && !Pump(std::min<milliseconds>(kDrain, options_.timeout))) return Closed();
          return Leave("");
        }
        switch (Perform(screen_.charset().ToWire(event.text))) {
          case Outcome::kGoOn: break;
          case Outcome::kLeave: return kExitOk;
          case Outcome::kClosed: return Closed();
        }
        if (stopRequested) return Leave("");
      }
    }
    if (!Pump(milliseconds(0))) return Closed();
  }
}

Session::Outcome Session::Perform(const std::string& typed) {
  const ParsedLine parsed = ParseLine(typed, Context());
  switch (parsed.action) {
    case ParsedLine::Action::kNothing: return Outcome::kGoOn;
    case ParsedLine::Action::kRefuse:
      screen_.Print(Line(Style::kError, parsed.message));
      return Outcome::kGoOn;
    case ParsedLine::Action::kNote:
      screen_.Print(Line(Style::kNotice, parsed.message));
      ApplyState(parsed);
      return Outcome::kGoOn;
    case ParsedLine::Action::kClear:
      screen_.Clear();
      return Outcome::kGoOn;
    case ParsedLine::Action::kHelp: {
      std::vector<Line> lines;
      for (std::string& text : HelpLines()) lines.emplace_back(Style::kNotice, std::move(text));
      screen_.Print(lines);
      return Outcome::kGoOn;
    }
    case ParsedLine::Action::kWait: return Pump(parsed.wait) ? Outcome::kGoOn : Outcome::kClosed;
    case ParsedLine::Action::kQuit:
      Leave(parsed.requests.front().payload);
      return Outcome::kLeave;
    case ParsedLine::Action::kSend: break;
  }
  ApplyState(parsed);
  if (!Submit(parsed)) return Outcome::kClosed;
  if (scripted_ && !WaitUntilAnswered()) return Outcome::kClosed;
  return Outcome::kGoOn;
}

bool Session::Submit(const ParsedLine& parsed) {
  for (const Request& request : parsed.requests) {
    if (!client_.Send(request.command, request.payload)) return false;
  }
  if (!client_.Send("ping", "")) return false;
  pending_.push_back(parsed.expect);
  return true;
}

// Shows what arrives until every ping has its pong; false when the connection is gone.
bool Session::WaitUntilAnswered() {
  const auto deadline = Clock::now() + options_.timeout;
  while (!pending_.empty()) {
    const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
    const auto packet = client_.Receive(std::max(left, milliseconds(0)));
    if (packet) {
      Handle(*packet);
      continue;
    }
    if (client_.LastError() != ClientError::kTimeout) return false;
    screen_.Print(Line(Style::kError, "No answer from the server within " +
                                          std::to_string(options_.timeout.count()) + " ms."));
    abandoned_ += pending_.size();
    pending_.clear();
  }
  return true;
}

// Shows what arrives for `duration` (at least what is already there); false when the
// connection is gone.
bool Session::Pump(milliseconds duration) {
  const auto deadline = Clock::now() + duration;
  for (;;) {
    const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
    const auto packet = client_.Receive(std::max(left, milliseconds(0)));
    if (packet) {
      Handle(*packet);
      continue;
    }
    return client_.LastError() == ClientError::kTimeout;
  }
}

void Session::Handle(const Packet& packet) {
  const std::string& command = packet.command;
  roster_.Observe(packet);
  if (!selfMessages_.Show(packet, nickname_)) return;
  if (command == "pong") {
    if (abandoned_ > 0) {
      --abandoned_;
    } else if (!pending_.empty()) {
      const Expectation expectation = pending_.front();
      pending_.pop_front();
      Check(expectation);
    }
    return;
  }
  const std::vector<std::string> f = Split(packet.payload, kFieldSeparatorText);
  const auto field = [&f](std::size_t i) { return i < f.size() ? f[i] : std::string(); };

  // Replies that answer what we are waiting for.
  for (Expectation& expectation : pending_) {
    const bool echo = expectation.kind == Expectation::Kind::kPrivateEcho && command == "message" &&
                      field(0) == "private" && EqualsNoCase(field(1), nickname_) &&
                      EqualsNoCase(field(2), expectation.name);
    const bool list = expectation.kind == Expectation::Kind::kUserlist && command == "userlist" &&
                      EqualsNoCase(field(0), expectation.name);
    if (echo || list) {
      expectation.kind = Expectation::Kind::kNone;
      break;
    }
  }
  // "badCRC" also leaves us in the new room, only without its password.
  if (command == "acceptChatroom" && (field(1) == "ok" || field(1) == "badCRC")) {
    room_ = field(0);
    UpdatePrompt();
  }

  screen_.Print(RenderPacket(packet, nickname_));

  if (const auto answer = away_.AnswerTo(packet, nickname_)) {
    client_.Send("awaymessage", *answer);
    screen_.Print(Line(Style::kNotice, "(" + field(1) + " was told that you are away)"));
  }
  if (command == "getAwayMessage" && !packet.payload.empty()) {
    if (away_.Active()) {
      std::string payload = packet.payload;
      payload.push_back(kFieldSeparator);
      payload += away_.Text();
      client_.Send("awaymessage", payload);
      screen_.Print(Line(Style::kNotice, "(answered with your away message)"));
    } else {
      screen_.Print(Line(Style::kNotice, "(you are not away, so it gets no answer)"));
    }
  }
}

void Session::Check(const Expectation& expectation) {
  switch (expectation.kind) {
    case Expectation::Kind::kNone: return;
    case Expectation::Kind::kPrivateEcho:
      screen_.Print(Line(Style::kError, "Nobody called " + expectation.name + " is online; the message was not delivered."));
      return;
    case Expectation::Kind::kUserlist:
      screen_.Print(Line(Style::kError, "There is no chatroom " + expectation.name + "."));
      return;
  }
}

ExitCode Session::Leave(const std::string& reason) {
  if (!scripted_) screen_.Print(Line(Style::kNotice, "Leaving the server."));
  if (client_.Send("quit", reason)) {
    // The server closes once it has taken us out; what it sent before that is still shown.
    const auto deadline = Clock::now() + options_.timeout;
    while (Clock::now() < deadline) {
      const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
      const auto packet = client_.Receive(std::max(left, milliseconds(0)));
      if (!packet) break;
      Handle(*packet);
    }
  }
  client_.Close();
  return kExitOk;
}

ExitCode Session::Closed() {
  // The last word goes below the input line, which is no longer of use.
  screen_.Attach(nullptr);
  if (editor_ != nullptr) editor_->Hide();
  if (client_.LastError() == ClientError::kClosed) {
    errors_.Print(Line(Style::kError, "The server closed the connection."));
  } else {
    errors_.Print(Line(Style::kError, "Connection lost: " + client_.LastErrorText()));
  }
  client_.Close();
  return kExitConnection;
}

void Session::UpdatePrompt() {
  if (editor_ == nullptr) return;
  std::string where = room_;
  if (!query_.empty()) where = (where.empty() ? "" : where + " ") + "-> " + query_;
  editor_->SetPrompt(where.empty() ? "> " : "[" + screen_.charset().ToTerminal(where) + "] ");
}

// What a line changes in the client's own state, whether or not it sends anything.
void Session::ApplyState(const ParsedLine& parsed) {
  if (parsed.away) away_.Set(*parsed.away, parsed.awayText);
  if (parsed.query) {
    query_ = *parsed.query;
    UpdatePrompt();
  }
}

CommandContext Session::Context() const {
  return CommandContext{nickname_, client_.LoginKey(), client_.SessionKey(), room_, away_.Active(), away_.Text(), query_};
}

}  // namespace velmorin::chat
