#pragma once
// A blocking chat client over one TCP connection (IPv4 or IPv6), for tests and the command-line
// client.
//
//   Welcome, ParseWelcome  — the server's greeting, the first packet on every connection.
//   LoginReply             — the "acceptUser" answer: status word and the nickname in use.
//   ClientError            — why the last call failed; see LastError().
//   ChatClient
//     Connect              — resolves (getaddrinfo; not bounded by the time-out) and connects.
//     ReceiveWelcome       — waits for "welcome"; keeps its LoginKey for Login.
//     Login                — sends "login", waits for "acceptUser" (one time-out for both);
//                            keeps the SessionKey on acceptance.
//     SendLogin, AwaitLoginReply — the two halves of Login, for a caller that tells its user
//                            why the answer takes long (a login waits while its nickname is
//                            held).
//     Send, SendRaw        — one packet, or any bytes (for malformed input).
//     Receive              — the next packet, in arrival order.
//     ReceiveCommand       — the first packet with a given command; see the rule below.
//     EnableEncryption     — after Login: agrees keys with the server's sealed-channel plugin;
//                            from then on payloads travel sealed both ways.
//     SetAutoPong          — on by default: a server "ping" is answered and not delivered.
//     WaitForClose         — true once the server has closed the connection.
//     Close                — closes our end; safe to call twice.
//
// Waiting rule: packets that arrive while ReceiveCommand waits for another command are kept,
// in arrival order, and handed out first by later Receive and ReceiveCommand calls; nothing
// is dropped except answered pings. Packets that arrived before the server closed the
// connection (a refusal, say) are still delivered; after them the calls report kClosed.
//
// Every call that waits takes a time-out and never blocks longer; Send, SendRaw and the
// automatic "pong" use the send time-out, which only matters when the server stops reading.
// Failures are return values: false or nothing, with the reason in LastError(), which
// describes the latest failure and is not cleared by calls that succeed.

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "client/PacketDecoder.hpp"
#include "client/PayloadCipher.hpp"

namespace velmorin::client {

using Timeout = std::chrono::milliseconds;

struct Welcome {
  std::string version;
  std::string status;  // "ok" or "full"
  std::string language;
  long maxTextLength = 0;
  std::string adminName;
  std::string adminMail;
  std::string standardRoom;  // empty when that room does not exist
  std::string onlyRoom;      // empty unless exactly one room exists
  std::string loginKey;
  std::string protocol;     // "0.6"
  std::string welcomeText;  // may contain CR LF
};

// Nothing when the payload is not ten CR LF lines (the text after the first NUL aside) or the
// text length is not a number.
std::optional<Welcome> ParseWelcome(std::string_view payload);

struct LoginReply {
  std::string status;    // "ok", "ok_nopwd", or a refusal: "denied", "used", "noguests", ...
  std::string nickname;  // the nickname the server uses; empty on refusal
  bool Accepted() const { return status == "ok" || status == "ok_nopwd"; }
};

enum class ClientError {
  kNone,
  kNotConnected,  // no connection, or closed by us
  kResolve,       // host name not found
  kConnect,       // refused or unreachable
  kTimeout,
  kClosed,     // the server closed the connection
  kMalformed,  // bad framing or an unreadable reply; the connection is of no further use
  kSequence,   // Login before ReceiveWelcome, EnableEncryption before Login
  kEncryption, // the server offers no usable encryption or its key exchange failed
  kSocket,     // any other socket failure
};

std::string_view ErrorName(ClientError error);

class ChatClient {
 public:
  ChatClient() = default;
  ~ChatClient();
  ChatClient(ChatClient&& other) noexcept;
  ChatClient& operator=(ChatClient&& other) noexcept;
  ChatClient(const ChatClient&) = delete;
  ChatClient& operator=(const ChatClient&) = delete;

  bool Connect(const std::string& host, std::uint16_t port, Timeout timeout);
  std::optional<Welcome> ReceiveWelcome(Timeout timeout);

  // An empty password logs in as a guest (or an account without password): the proof is empty.
  std::optional<LoginReply> Login(std::string_view nickname, std::string_view password, long color,
                                  std::string_view clientVersion, Timeout timeout);

  bool SendLogin(std::string_view nickname, std::string_view password, long color, std::string_view clientVersion,
                 std::optional<std::chrono::steady_clock::time_point> deadline = std::nullopt);
  std::optional<LoginReply> AwaitLoginReply(Timeout timeout);

  // The server must offer the plugin channel::kIdentity. False (kEncryption) when it does not or
  // the exchange fails; the connection then stays in clear, and the server knows it.
  bool EnableEncryption(Timeout timeout);
  bool Encrypted() const { return cipher_.Sealing(); }
  // Sealed packets from the server that did not open (tampered or replayed) and were dropped.
  long DroppedPackets() const { return cipher_.Dropped(); }

  bool Send(std::string_view command, std::string_view payload);
  bool SendRaw(std::string_view bytes);
  std::optional<Packet> Receive(Timeout timeout);
  std::optional<Packet> ReceiveCommand(std::string_view command, Timeout timeout);

  // Hands out and forgets the packets kept by the waiting rule.
  std::vector<Packet> TakePending();

  void SetAutoPong(bool on) { autoPong_ = on; }
  void SetSendTimeout(Timeout timeout) { sendTimeout_ = timeout; }
  // Caps what the system buffers for this client on arrival (the socket's SO_RCVBUF), so that
  // a client which stops reading makes the server hold what it sends; false when not connected.
  bool SetReceiveBufferSize(int bytes);

  bool WaitForClose(Timeout timeout);
  void Close();

  bool IsConnected() const { return fd_ >= 0; }
  const std::string& LoginKey() const { return loginKey_; }      // empty before the welcome
  const std::string& SessionKey() const { return sessionKey_; }  // empty before acceptance
  ClientError LastError() const { return error_; }
  const std::string& LastErrorText() const { return errorText_; }

 private:
  using Clock = std::chrono::steady_clock;

  std::optional<Packet> ReceiveMatching(const std::string_view* command, Clock::time_point deadline);
  std::optional<Packet> TakeQueued(const std::string_view* command);
  bool SendBytes(std::string_view bytes, Clock::time_point deadline);
  std::optional<std::string> Exchange(std::string_view command, std::string_view payload, std::string_view reply,
                                      Clock::time_point deadline);
  // Tells the server its key is refused and reports why.
  bool RefuseServerKey(std::string text);
  bool ReadOnce(Clock::time_point deadline);
  void Decode();
  bool Fail(ClientError error, std::string text);
  bool FailErrno(ClientError error, std::string_view operation, int code);

  int fd_ = -1;
  PacketDecoder decoder_;
  PayloadCipher cipher_;
  std::deque<Packet> queue_;
  bool peerClosed_ = false;
  bool autoPong_ = true;
  Timeout sendTimeout_{10000};
  std::string loginKey_;
  std::string loginPassword_;  // between SendLogin and AwaitLoginReply
  std::string sessionKey_;
  ClientError error_ = ClientError::kNone;
  std::string errorText_;
};

}  // namespace velmorin::client
