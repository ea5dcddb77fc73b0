#include "term/Session.hpp"

#include <signal.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <thread>

#include "term/LongLines.hpp"
#include "term/Render.hpp"
#include "codec/WireFormat.hpp"
#include "platform/Text.hpp"

namespace velmorin::term {
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

// The room a server makes when it has no chatroom file: its name in every shipped language.
constexpr std::string_view kDefaultRoomName = "Lobby";

// A server message this shortly before the close is the close's announcement; an older one
// is unrelated to it.
constexpr std::chrono::seconds kAnnouncement{5};

// Variants offered for a nickname in use, one after the other.
constexpr int kNicknameVariants = 3;
// What CleanNickname leaves of a nickname.
constexpr std::size_t kNicknameLength = 40;

// Bob -> Bob_, Bob_2, Bob_3, kept within the nickname length so the server does not cut the
// variant back to the name in use.
std::string NicknameVariant(const std::string& nickname, int n) {
  const std::string suffix = n == 1 ? "_" : "_" + std::to_string(n);
  return nickname.substr(0, kNicknameLength - suffix.size()) + suffix;
}

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
  std::string nickname = options_.nickname;
  for (int variant = 1;; ++variant) {
    switch (ConnectAndLogIn(charset.ToWire(nickname), false)) {
      case LoginResult::kIn: return EnterFirstRoom();
      case LoginResult::kRefused: return kExitRefused;
      case LoginResult::kBroken: return kExitConnection;
      case LoginResult::kUsed: break;
    }
    client_.Close();
    errors_.Print(Line(Style::kError, charset.ToWire(nickname) + " is in use."));
    // Only a person at the terminal can say yes; a script keeps the name it was given.
    if (scripted_ || variant > kNicknameVariants) return kExitRefused;
    nickname = NicknameVariant(options_.nickname, variant);
    if (!AskYesNo("Log in as " + charset.ToWire(nickname) + " instead? [Y/n]")) return kExitRefused;
  }
}

Session::LoginResult Session::ConnectAndLogIn(const std::string& nickname, bool again) {
  const Charset& charset = screen_.charset();
  if (!client_.Connect(options_.host, options_.port, options_.timeout)) {
    errors_.Print(Line(Style::kError, "Cannot connect to " + Where() + ": " + client_.LastErrorText()));
    return LoginResult::kBroken;
  }
  const auto welcome = client_.ReceiveWelcome(options_.timeout);
  if (!welcome) {
    errors_.Print(Line(Style::kError, "No welcome from " + Where() + ": " + client_.LastErrorText()));
    return LoginResult::kBroken;
  }
  welcome_ = *welcome;
  if (!again) {
    screen_.Print(Line(Style::kNotice, "Connected to Velmorin Server " + welcome_.version + " at " + Where() + "."));
    if (welcome_.status == "full") screen_.Print(Line(Style::kError, "The server says it is full."));
    if (!welcome_.welcomeText.empty()) screen_.PrintText(Style::kPlain, welcome_.welcomeText);
  }

  if (!client_.SendLogin(nickname, charset.ToWire(options_.password), options_.color, kClientVersion)) {
    errors_.Print(Line(Style::kError, "Cannot send the login: " + client_.LastErrorText()));
    return LoginResult::kBroken;
  }
  // In slices, so that Ctrl-C is heard during a long wait.
  const auto awaitReply = [this](milliseconds total) {
    const auto deadline = Clock::now() + total;
    for (;;) {
      const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
      auto reply = client_.AwaitLoginReply(std::clamp(left, milliseconds(0), milliseconds(200)));
      if (reply || client_.LastError() != ClientError::kTimeout || stopRequested || left.count() <= 0) return reply;
    }
  };
  auto reply = awaitReply(options_.timeout);
  if (!reply && client_.LastError() == ClientError::kTimeout && !stopRequested) {
    // A held nickname makes the server ask its holder whether it is still there; a holder that
    // does not answer keeps the login waiting for the server's ping time-out and more.
    const long wait = NicknameWaitMs(kDefaultPingTimeoutMs);
    screen_.Print(Line(Style::kNotice, "Still waiting: " + nickname +
                                           " may be held by a connection the server is checking (up to " +
                                           std::to_string((wait + 999) / 1000) + " s more)."));
    reply = awaitReply(milliseconds(wait));
  }
  if (!reply && stopRequested) return LoginResult::kBroken;
  if (!reply) {
    errors_.Print(Line(Style::kError, "No answer to the login: " + client_.LastErrorText()));
    return LoginResult::kBroken;
  }
  if (reply->status == "used") return LoginResult::kUsed;
  if (!reply->Accepted()) {
    errors_.Print(Line(Style::kError, LoginRefusal(reply->status)));
    return LoginResult::kRefused;
  }
  nickname_ = reply->nickname;
  screen_.Print(Line(Style::kNotice, again ? "Logged in again as " : "Logged in as ")
                    .Add(Style::kOwnNick, nickname_)
                    .Add(Style::kNotice, "."));
  if (reply->status == "ok_nopwd" && !again)
    screen_.Print(Line(Style::kNotice, "That nickname has no password, so the one given was not needed."));
  if (options_.encrypt) {
    // Asked for privacy: without it the client leaves rather than chat in clear.
    if (!client_.EnableEncryption(options_.timeout)) {
      errors_.Print(Line(Style::kError, "No encryption: " + client_.LastErrorText() + "."));
      return client_.LastError() == ClientError::kEncryption ? LoginResult::kRefused : LoginResult::kBroken;
    }
    if (!again) screen_.Print(Line(Style::kNotice, "Messages to and from the server are encrypted."));
  }
  return LoginResult::kIn;
}

// The room asked for, else the standard room, the only room, the server's default room or
// the first one listed.
ExitCode Session::EnterFirstRoom() {
  const Charset& charset = screen_.charset();
  RoomEntry entry{"", charset.ToWire(options_.room), charset.ToWire(options_.roomPassword)};
  if (entry.room.empty()) entry.room = !welcome_.standardRoom.empty() ? welcome_.standardRoom : welcome_.onlyRoom;
  if (entry.room.empty()) {
    const std::optional<std::string> listed = ChooseListedRoom();
    if (!listed) return Closed();
    entry.room = *listed;
  }
  if (entry.room.empty()) {
    screen_.Print(Line(Style::kNotice, "The server has no chatroom: /create opens one."));
    return kExitOk;
  }
  failed_ = false;
  // Typed lines may well depend on the room, so they wait for the answer in either mode.
  if (!EnterRoom(entry)) return Closed();
  if (failed_ && scripted_ && !options_.keepGoing) {
    errors_.Print(Line(Style::kError, "The script does not start: the chatroom " + entry.room + " could not be entered."));
    Leave("");
    return kExitScriptFailed;
  }
  return kExitOk;
}

std::optional<std::string> Session::ChooseListedRoom() {
  if (!client_.Send("getChatroomlist", "")) return std::nullopt;
  const auto list = client_.ReceiveCommand("chatroomlist", options_.timeout);
  if (!list) {
    if (client_.LastError() != ClientError::kTimeout) return std::nullopt;
    return std::string();
  }
  // One line per room, in the order the server made them; the name is the first column.
  std::vector<std::string> names;
  const std::string rooms = list->payload.substr(0, list->payload.find(kFieldSeparator));
  for (const std::string& line : Split(rooms, "\r\n")) {
    const std::string name = line.substr(0, line.find('\x01'));
    if (!name.empty()) names.push_back(name);
  }
  const auto standard = std::find_if(names.begin(), names.end(),
                                     [](const std::string& name) { return EqualsNoCase(name, kDefaultRoomName); });
  if (standard != names.end()) return *standard;
  return names.empty() ? std::string() : names.front();
}

// Sends the entry's request and waits for the answer; false when the connection is gone.
bool Session::EnterRoom(const RoomEntry& entry) {
  ParsedLine parsed;
  if (!entry.typed.empty()) {
    CommandContext context = Context();
    context.room.clear();
    parsed = ParseLine(entry.typed, context);
  } else {
    parsed.action = ParsedLine::Action::kSend;
    parsed.requests.push_back({"joinChatroom", JoinPayload(entry.room, entry.password, Context())});
  }
  enteringRoom_ = entry;
  if (!Submit(parsed, "") || !WaitUntilAnswered()) return false;
  // A room once created by a typed /create may exist already (a permanent one): then join it.
  if (room_.empty() && !entry.typed.empty() && !entry.room.empty()) return EnterRoom({"", entry.room, ""});
  return true;
}

ExitCode Session::Loop(Input& input) {
  input_ = &input;
  for (;;) {
    if (stopRequested) return Leave("");
    if (inputEnded_) return EndOfInput();
    if (input.Ready(kTurnMs)) {
      for (const EditorInput& event : input.Read()) {
        if (event.kind == EditorInput::Kind::kEnd) return EndOfInput();
        switch (Perform(TypedToWire(event.text))) {
          case Outcome::kGoOn: break;
          case Outcome::kLeave: return kExitOk;
          case Outcome::kFailed: return ScriptFailed();
          case Outcome::kClosed:
            // The line stays pending and goes out again once the session is back.
            if (const auto ended = Recover()) return *ended;
            break;
        }
        if (stopRequested) return Leave("");
      }
    }
    if (!Pump(milliseconds(0))) {
      if (const auto ended = Recover()) return *ended;
    }
  }
}

ExitCode Session::EndOfInput() {
  if (scripted_ && !Pump(std::min<milliseconds>(kDrain, options_.timeout))) return Closed();
  return Leave("");
}

ExitCode Session::ScriptFailed() {
  errors_.Print(Line(Style::kError, "The script stops here: that command failed."));
  Leave("");
  return kExitScriptFailed;
}

std::string Session::TypedToWire(const std::string& typed) {
  const Charset& charset = screen_.charset();
  const std::string wire = charset.ToWire(typed);
  const std::vector<std::string> lost = charset.Unrepresentable(typed);
  if (lost.empty()) return wire;
  std::string names;
  for (const std::string& name : lost) names += (names.empty() ? "" : ", ") + name;
  if (!charsetExplained_) {
    screen_.Print(Line(Style::kError, "The server's character set (Windows-1252) cannot carry " + names +
                                          ": each goes out as \"?\"."));
    charsetExplained_ = true;
  } else {
    screen_.Print(Line(Style::kError, "Sent as \"?\": " + names + "."));
  }
  screen_.Print(Line(Style::kNotice, "Sent: ").Plain(wire));
  return wire;
}

Session::Outcome Session::Perform(const std::string& typed) {
  failed_ = false;
  ParsedLine parsed = ParseLine(typed, Context());
  if (parsed.usesHomeRoom) {
    LearnStandardRoom();
    parsed = ParseLine(typed, Context());
  }
  switch (parsed.action) {
    case ParsedLine::Action::kNothing: return Outcome::kGoOn;
    case ParsedLine::Action::kRefuse:
      screen_.Print(Line(Style::kError, parsed.message));
      return scripted_ && !options_.keepGoing ? Outcome::kFailed : Outcome::kGoOn;
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
  const auto split = SplitLongMessages(parsed, welcome_.maxTextLength);
  if (!split) {
    screen_.Print(Line(Style::kError, "Not sent: that would take more than " + std::to_string(kMaxMessagesPerLine) +
                                          " messages of " + std::to_string(welcome_.maxTextLength) +
                                          " characters, the most the server takes in one."));
    return scripted_ && !options_.keepGoing ? Outcome::kFailed : Outcome::kGoOn;
  }
  if (split->requests.size() > parsed.requests.size()) {
    screen_.Print(Line(Style::kNotice, "(sent as " + std::to_string(split->requests.size()) +
                                           " messages: the server takes at most " +
                                           std::to_string(welcome_.maxTextLength) + " characters in one)"));
  }
  ApplyState(parsed);
  const std::string& command = parsed.requests.front().command;
  if (command == "joinChatroom" || command == "createChatroom") enteringRoom_ = RoomEntry{typed, "", ""};
  if (!Submit(*split, typed)) return Outcome::kClosed;
  if (scripted_ && !WaitUntilAnswered()) return Outcome::kClosed;
  if (failed_ && scripted_ && !options_.keepGoing) return Outcome::kFailed;
  return Outcome::kGoOn;
}

bool Session::Submit(const ParsedLine& parsed, const std::string& typed) {
  // Counted before the sends: a line that could not go out whole is sent again after a
  // reconnect.
  pending_.push_back({parsed.expect, typed});
  for (const Request& request : parsed.requests) {
    if (!client_.Send(request.command, request.payload)) return false;
  }
  return client_.Send("ping", "");
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
    failed_ = true;
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
      const Expectation expectation = pending_.front().expect;
      pending_.pop_front();
      Check(expectation);
    }
    return;
  }
  const std::vector<std::string> f = Split(packet.payload, kFieldSeparatorText);
  const auto field = [&f](std::size_t i) { return i < f.size() ? f[i] : std::string(); };

  // Replies that answer what we are waiting for.
  for (Unanswered& sent : pending_) {
    Expectation& expectation = sent.expect;
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
  if (command == "acceptChatroom") {
    // "badCRC" also leaves us in the new room, only without its password.
    if (field(1) == "ok" || field(1) == "badCRC") {
      room_ = field(0);
      roomEntry_ = enteringRoom_;
      roomEntry_.room = room_;
      UpdatePrompt();
    }
    if (field(1) != "ok") failed_ = true;
  }
  if (command == "userLeft" && EqualsNoCase(field(0), nickname_) && field(2).empty()) {
    // Our own leaving of the server: the server is about to close the connection on purpose.
    kickReason_ = field(3);
    return;
  }
  if (command == "closeChatroom") {
    RoomClosed(packet.payload);
    return;
  }
  if (command == "message" && field(0) == "server") {
    lastServerMessage_ = field(1);
    lastServerMessageAt_ = Clock::now();
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
      failed_ = true;
      return;
    case Expectation::Kind::kUserlist:
      screen_.Print(Line(Style::kError, "There is no chatroom " + expectation.name + "."));
      failed_ = true;
      return;
  }
}

std::optional<ExitCode> Session::Recover() {
  if (kickReason_) return DisconnectedByAdministrator();
  if (!options_.reconnect) return Closed();
  for (int round = 0; round < kReconnectAttempts; ++round) {
    if (const auto ended = Reconnect()) return ended;
    // The lines the old connection did not confirm, then those typed meanwhile, in order.
    std::deque<std::string> again;
    for (const Unanswered& sent : pending_) {
      if (!sent.typed.empty()) again.push_back(sent.typed);
    }
    const std::size_t unconfirmed = again.size();
    again.insert(again.end(), held_.begin(), held_.end());
    held_.clear();
    pending_.clear();
    abandoned_ = 0;
    const RoomEntry entry = roomEntry_;
    room_.clear();
    UpdatePrompt();
    if (!entry.room.empty() || !entry.typed.empty()) {
      if (!EnterRoom(entry)) {
        held_ = std::move(again);
        continue;
      }
      if (room_.empty()) screen_.Print(Line(Style::kError, "Could not enter the chatroom again."));
    }
    if (unconfirmed > 0) {
      screen_.Print(Line(Style::kNotice, "Sending again " + std::to_string(unconfirmed) +
                                             (unconfirmed == 1 ? " line" : " lines") +
                                             " the server had not confirmed."));
    }
    bool lost = false;
    while (!again.empty() && !lost) {
      const std::string typed = std::move(again.front());
      again.pop_front();
      switch (Perform(typed)) {
        case Outcome::kGoOn: break;
        case Outcome::kLeave: return kExitOk;
        case Outcome::kFailed: return ScriptFailed();
        case Outcome::kClosed: lost = true; break;
      }
    }
    if (!lost) return std::nullopt;
    // The line that met the loss is pending again; the rest wait with it.
    held_ = std::move(again);
  }
  return Closed();
}

// Connects and logs in again with pauses that grow; the room is the caller's.
std::optional<ExitCode> Session::Reconnect() {
  screen_.Print(Line(Style::kError, LostText()));
  client_.Close();
  milliseconds pause(1000);
  for (int attempt = 1; attempt <= kReconnectAttempts; ++attempt) {
    screen_.Print(Line(Style::kNotice, "Connecting again in " + std::to_string(pause.count() / 1000) + " s (attempt " +
                                           std::to_string(attempt) + " of " + std::to_string(kReconnectAttempts) +
                                           ")..."));
    if (!Pause(pause)) {
      // The person asked to leave: that is no failure.
      screen_.Print(Line(Style::kNotice, "Not connecting again."));
      return kExitOk;
    }
    pause = std::min<milliseconds>(pause * 2, kLongestReconnectPause);
    switch (ConnectAndLogIn(nickname_, true)) {
      case LoginResult::kIn: return std::nullopt;
      case LoginResult::kRefused: return kExitRefused;
      case LoginResult::kUsed:
        // Most likely our own old connection, which the server has not yet seen go.
        screen_.Print(Line(Style::kNotice, nickname_ + " is still held on the server."));
        break;
      case LoginResult::kBroken:
        if (stopRequested) return kExitOk;
        break;
    }
    client_.Close();
  }
  errors_.Print(Line(Style::kError, "Giving up after " + std::to_string(kReconnectAttempts) + " attempts."));
  return kExitConnection;
}

// Waits, keeping what is typed meanwhile for when the session is back. False when the user
// asked to stop: a signal, or at the terminal the end of the input (Ctrl-C, Ctrl-D); a script
// that ends meanwhile still has its last lines sent.
bool Session::Pause(milliseconds duration) {
  const auto deadline = Clock::now() + duration;
  for (;;) {
    if (stopRequested) return false;
    const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return true;
    const auto slice = std::min<milliseconds>(left, milliseconds(50));
    if (input_ == nullptr || inputEnded_ || !input_->Ready(static_cast<int>(slice.count()))) {
      if (input_ == nullptr || inputEnded_) std::this_thread::sleep_for(slice);
      continue;
    }
    for (const EditorInput& event : input_->Read()) {
      if (event.kind == EditorInput::Kind::kEnd) {
        inputEnded_ = true;
        if (!scripted_) return false;
        continue;
      }
      held_.push_back(TypedToWire(event.text));
    }
  }
}

// A question on the terminal, before the line editor takes it over; an empty answer is yes.
bool Session::AskYesNo(const std::string& question) {
  screen_.Print(Line(Style::kNotice, question));
  std::string answer;
  for (char c = 0; answer.size() < 64;) {
    const ssize_t got = ::read(STDIN_FILENO, &c, 1);
    if (got < 0 && errno == EINTR && !stopRequested) continue;
    if (got <= 0 || c == '\n') break;
    answer.push_back(c);
  }
  if (stopRequested) return false;
  const std::string word = LowerCase(Trim(answer, " \t\r"));
  return word.empty() || word == "y" || word == "yes";
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
  if (kickReason_) return DisconnectedByAdministrator();
  // The last word goes below the input line, which is no longer of use.
  screen_.Attach(nullptr);
  if (editor_ != nullptr) editor_->Hide();
  errors_.Print(Line(Style::kError, LostText()));
  client_.Close();
  return kExitConnection;
}

// Why the connection ended, with the server's announcement when it made one just before.
std::string Session::LostText() const {
  std::string text = client_.LastError() == ClientError::kClosed ? "The server closed the connection."
                                                                  : "Connection lost: " + client_.LastErrorText() + ".";
  if (!lastServerMessage_.empty() && Clock::now() - lastServerMessageAt_ < kAnnouncement)
    text += " It had announced: " + lastServerMessage_;
  return text;
}

// The welcome is the only packet that names the standard room, and the administrator may
// choose another while the session runs: a second connection reads a fresh welcome and closes
// before it logs in. Without an answer the room known so far stays.
void Session::LearnStandardRoom() {
  client::ChatClient probe;
  if (!probe.Connect(options_.host, options_.port, options_.timeout)) return;
  if (const auto welcome = probe.ReceiveWelcome(options_.timeout)) {
    welcome_.standardRoom = welcome->standardRoom;
    welcome_.onlyRoom = welcome->onlyRoom;
  }
  probe.Close();
}

// The server closed a room (an administrator or a plugin removed it, or threw us out of it);
// if it was ours, we are in no room now. The standard room is entered when there is another
// one; otherwise the user is told how to go on.
void Session::RoomClosed(const std::string& name) {
  screen_.Print(Line(Style::kNotice, name + " was closed."));
  if (!EqualsNoCase(name, room_)) return;
  room_.clear();
  roomEntry_ = RoomEntry{};
  UpdatePrompt();
  LearnStandardRoom();
  const std::string standard = !welcome_.standardRoom.empty() ? welcome_.standardRoom : welcome_.onlyRoom;
  if (standard.empty() || EqualsNoCase(standard, name)) {
    screen_.Print(Line(Style::kNotice, "You are in no chatroom now: /join ROOM enters one (/rooms lists them)."));
    return;
  }
  screen_.Print(Line(Style::kNotice, "Entering " + standard + ", where everybody starts."));
  ParsedLine join;
  join.action = ParsedLine::Action::kSend;
  join.requests.push_back({"joinChatroom", JoinPayload(standard, "", Context())});
  enteringRoom_ = RoomEntry{"", standard, ""};
  Submit(join, "");
}

ExitCode Session::DisconnectedByAdministrator() {
  screen_.Attach(nullptr);
  if (editor_ != nullptr) editor_->Hide();
  std::string text = "Disconnected by the administrator";
  text += kickReason_->empty() ? "." : ": " + *kickReason_;
  errors_.Print(Line(Style::kError, text));
  errors_.Print(Line(Style::kNotice, "Not connecting again; start velmorin-chat again to return."));
  client_.Close();
  return kExitRefused;
}

std::string Session::Where() const {
  // An IPv6 address in brackets, so the port stays apart.
  const bool v6 = options_.host.find(':') != std::string::npos;
  return (v6 ? "[" + options_.host + "]" : options_.host) + ":" + std::to_string(options_.port);
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
  return CommandContext{nickname_,     client_.LoginKey(), client_.SessionKey(), room_, away_.Active(),
                        away_.Text(),  query_,             welcome_.standardRoom};
}

}  // namespace velmorin::term
