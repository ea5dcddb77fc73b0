#include "Load.hpp"

#include <algorithm>
#include <chrono>

#include "client/ChatClient.hpp"
#include "codec/WireFormat.hpp"

namespace velmorin::soak {
namespace {

using namespace std::chrono_literals;
using client::ChatClient;
using client::ClientError;

constexpr client::Timeout kReply = 10s;  // a server under soak answers well within this
const char* const kRooms[] = {"lobby", "games", "music", "help", "night"};
constexpr std::size_t kRoomCount = sizeof kRooms / sizeof kRooms[0];

std::string Join(std::initializer_list<std::string> fields) {
  std::string payload;
  for (const std::string& field : fields) {
    if (!payload.empty() || &field != fields.begin()) payload += kFieldSeparator;
    payload += field;
  }
  return payload;
}

// "w3s17": who plays and which session it is. Built by appending: "text" + std::string trips a
// false -Wrestrict warning of GCC 12.
std::string Nickname(const char* who, std::uint64_t number, const char* what, std::uint64_t count) {
  std::string nickname = who;
  nickname += std::to_string(number);
  nickname += what;
  nickname += std::to_string(count);
  return nickname;
}

int Roll(std::mt19937& random, int below) { return std::uniform_int_distribution<int>(0, below - 1)(random); }

std::string Text(std::mt19937& random) {
  std::string text(static_cast<std::size_t>(1 + Roll(random, 400)), ' ');
  for (char& c : text) c = static_cast<char>('a' + Roll(random, 26));
  return text;
}

// Framing the server must refuse by closing the connection.
std::string BadFraming(std::mt19937& random) {
  switch (Roll(random, 3)) {
    case 0:
      return "no header here" + std::string(kPacketSeparator) + std::string(50, 'x');
    case 1:
      return "message\r\n999999999" + std::string(kPacketSeparator);
    default:
      return std::string(300, 'A');  // no separator within any header's length
  }
}

}  // namespace

// One connection of a worker or resident, with the steps a session is made of.
class Load::Session {
 public:
  Session(Load& load, std::mt19937& random, std::string nickname)
      : load_(load), random_(random), nickname_(std::move(nickname)) {}
  ~Session() {
    if (listed_) load_.population_.Remove(nickname_);
  }

  bool Connect() {
    if (!client_.Connect("127.0.0.1", load_.port_, kReply)) return Failed("connect");
    if (!client_.ReceiveWelcome(kReply)) return Failed("welcome");
    return true;
  }

  // Asks for the nickname of somebody online first, which makes the server wait for that user
  // to answer a ping (seconds), then leaves during the wait, or logs in under its own
  // nickname at once or a moment later (a packet of its own). Both ends of a second login are
  // sound: the own nickname is accepted, or the first login is settled first ("used") and the
  // connection closed. False when the session goes no further.
  bool LoginAfterAskingForATakenName() {
    const std::string taken = load_.population_.Pick(random_, nickname_);
    if (taken.empty()) return Login();
    if (!client_.Send("login", Join({taken, "", "0", "soak 1.0", std::string(kProtocolVersion)}))) return Failed("send a login");
    const int roll = Roll(random_, 3);
    if (roll == 0) {
      client_.Close();
      return false;
    }
    if (roll == 1) std::this_thread::sleep_for(50ms);
    const auto reply = client_.Login(nickname_, "", 0, "soak 1.0", kReply);
    if (reply && reply->status == "used") return false;
    return Accepted(reply);
  }

  bool Login() { return Accepted(client_.Login(nickname_, "", Roll(random_, 0x808080), "soak 1.0", kReply)); }

  bool Accepted(const std::optional<client::LoginReply>& reply) {
    if (!reply || !reply->Accepted()) return Failed("login (" + (reply ? reply->status : "no answer") + ")");
    ++load_.counters_.logins;
    load_.population_.Add(nickname_);
    listed_ = true;
    return true;
  }

  // Joins a room, creating it when it does not exist; rooms without users vanish, so a race
  // with another session is tried again a few times.
  bool EnterRoom(const std::string& room) {
    bool create = Roll(random_, 2) == 0;
    for (int tries = 0; tries < 4; ++tries) {
      if (!client_.Send(create ? "createChatroom" : "joinChatroom",
                        create ? Join({room, "soak room", "", ""}) : Join({room, ""}))) {
        return Failed("send a room request");
      }
      const auto reply = client_.ReceiveCommand("acceptChatroom", kReply);
      if (!reply) return Failed("room answer");
      const std::string status = reply->payload.substr(reply->payload.find(kFieldSeparator) + 1);
      if (status == "ok" || status == "alreadyjoined") return true;
      if (status != "notfound" && status != "notcreated") return Failed("room answer " + status);
      create = status == "notfound";
    }
    return true;  // raced every time: not the server's fault
  }

  // One random step of a logged-in client.
  bool Step() {
    const int roll = Roll(random_, 100);
    const std::string someone = load_.population_.Pick(random_, nickname_);
    bool sent = true;
    if (roll < 40) {
      const char* kinds[] = {"normal", "normal", "me", "shout"};
      sent = client_.Send("message", Join({kinds[Roll(random_, 4)], "", Text(random_)}));
      ++load_.counters_.messages;
    } else if (roll < 52) {
      sent = client_.Send("message", Join({"private", someone, Text(random_)}));
      ++load_.counters_.privateMessages;
    } else if (roll < 60) {
      sent = client_.Send("fileRequest", Join({someone, "127.0.0.1", "5600", "notes.txt", "2048", "1", ""}));
      ++load_.counters_.fileSetups;
    } else if (roll < 66) {
      sent = client_.Send("acceptFiles", Join({someone, Roll(random_, 2) ? "yes" : "no"}));
      ++load_.counters_.fileSetups;
    } else if (roll < 69) {
      sent = client_.Send("abortFiletransfer", Join({someone, "notes.txt", "1"}));
    } else if (roll < 75) {
      sent = Roll(random_, 2) ? client_.Send("setClientState", Join({"away", "back soon"}))
                              : client_.Send("setClientState", "normal");
    } else if (roll < 82) {
      sent = Roll(random_, 2) ? client_.Send("getUserlist", Join({kRooms[Roll(random_, kRoomCount)]}))
                              : client_.Send("getChatroomlist", "");
    } else if (roll < 90) {
      // Unknown commands and payloads with too few fields: logged, the connection stays.
      sent = Roll(random_, 2) ? client_.Send("noSuchCommand", Text(random_)) : client_.Send("fileRequest", someone);
      ++load_.counters_.badPackets;
    } else if (roll < 95) {
      return EnterRoom(kRooms[Roll(random_, kRoomCount)]);
    } else {
      sent = client_.Send("setColor", std::to_string(Roll(random_, 0x808080)));
    }
    return sent || Failed("send");
  }

  // Reads what arrived within `wait` (pings are answered meanwhile); false when the server
  // closed the connection.
  bool Drain(client::Timeout wait) {
    while (const auto packet = client_.Receive(wait)) {
      ++load_.counters_.received;
      wait = 0ms;
    }
    if (client_.LastError() == ClientError::kTimeout) return true;
    return Failed("connection lost (" + client_.LastErrorText() + ")");
  }

  // The ways of leaving: quit, close, bad framing, whatever the server has not sent yet.
  bool Leave() {
    const int roll = Roll(random_, 10);
    if (roll < 5) {
      if (!client_.Send("quit", "bye") || !client_.WaitForClose(kReply)) return Failed("quit");
    } else if (roll < 8) {
      client_.Close();
    } else {
      return SendBadFraming();
    }
    return true;
  }

  bool SendBadFraming() {
    ++load_.counters_.badPackets;
    if (!client_.SendRaw(BadFraming(random_))) return Failed("send bad framing");
    if (!client_.WaitForClose(kReply)) return Failed("bad framing did not end the connection");
    return true;
  }

  void Close() { client_.Close(); }

 private:
  bool Failed(const std::string& what) {
    load_.Fail(nickname_ + ": " + what);
    return false;
  }

  Load& load_;
  std::mt19937& random_;
  std::string nickname_;
  ChatClient client_;
  bool listed_ = false;
};

Load::Load(std::uint16_t port, std::uint32_t workers, std::uint32_t residents)
    : port_(port), workers_(workers), residents_(residents) {}

Load::~Load() { Stop(); }

void Load::Start() {
  for (std::uint32_t i = 0; i < residents_; ++i) threads_.emplace_back([this, i] { Reside(i); });
  for (std::uint32_t i = 0; i < workers_; ++i) threads_.emplace_back([this, i] { Work(i); });
}

void Load::Stop() {
  stopping_ = true;
  for (std::thread& thread : threads_) thread.join();
  threads_.clear();
}

std::vector<std::string> Load::Failures() const {
  std::lock_guard lock(failuresMutex_);
  return failures_;
}

void Load::Fail(const std::string& what) {
  ++counters_.failures;
  std::lock_guard lock(failuresMutex_);
  if (failures_.size() < 20) failures_.push_back(what);
}

void Load::Work(std::uint32_t worker) {
  std::mt19937 random(worker * 7919u + 17u);
  for (std::uint64_t number = 0; !stopping_; ++number) {
    ++counters_.sessions;
    Session session(*this, random, Nickname("w", worker, "s", number));
    if (!session.Connect()) continue;
    const int roll = Roll(random, 100);
    if (roll < 5) {
      session.Close();  // leaves before the login
      continue;
    }
    if (roll < 10) {
      session.SendBadFraming();
      continue;
    }
    const bool loggedIn = roll < 11 ? session.LoginAfterAskingForATakenName() : session.Login();
    if (!loggedIn || !session.EnterRoom(kRooms[Roll(random, kRoomCount)])) continue;
    const int steps = 5 + Roll(random, 40);
    bool alive = true;
    for (int step = 0; alive && step < steps && !stopping_; ++step) {
      alive = session.Step() && session.Drain(20ms);
    }
    if (alive) session.Leave();
  }
}

void Load::Reside(std::uint32_t resident) {
  std::mt19937 random(resident * 104729u + 3u);
  const auto speakEvery = std::chrono::milliseconds(1500 + 250 * resident);
  for (std::uint64_t life = 0; !stopping_; ++life) {
    Session session(*this, random, Nickname("resident", resident, "l", life));
    if (!session.Connect() || !session.Login() || !session.EnterRoom(kRooms[resident % kRoomCount])) {
      std::this_thread::sleep_for(1s);
      continue;
    }
    auto nextWord = std::chrono::steady_clock::now() + speakEvery;
    bool alive = true;
    while (alive && !stopping_) {
      alive = session.Drain(100ms);
      if (alive && std::chrono::steady_clock::now() >= nextWord) {
        alive = session.Step();
        nextWord += speakEvery;
      }
    }
    if (alive) session.Leave();
  }
}

}  // namespace velmorin::soak
