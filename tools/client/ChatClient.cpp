#include "client/ChatClient.hpp"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>
#include <utility>

#include "codec/FieldCipher.hpp"
#include "codec/PacketWriter.hpp"
#include "codec/Sha256.hpp"
#include "platform/Text.hpp"

namespace velmorin::client {
namespace {

// What one receive may take at least.
constexpr std::size_t kReadRoom = 64 * 1024;

// Waits for `events` on `fd` until the deadline: >0 ready, 0 timed out, <0 failed (errno set).
int PollUntil(int fd, short events, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const auto left = deadline - std::chrono::steady_clock::now();
    // Rounded up, so a wait of a fraction of a millisecond does not become a busy poll.
    const auto ms = std::max<long long>(
        0, std::chrono::ceil<std::chrono::milliseconds>(left).count());
    pollfd entry{fd, events, 0};
    const int rc = ::poll(&entry, 1, static_cast<int>(std::min<long long>(ms, 1 << 30)));
    if (rc >= 0 || errno != EINTR) return rc;
  }
}

}  // namespace

std::optional<Welcome> ParseWelcome(std::string_view payload) {
  // The welcome text may hold CR LF itself, so only the part before the first NUL is split.
  const std::size_t nul = payload.find(kFieldSeparator);
  const std::vector<std::string> lines = Split(payload.substr(0, nul), "\r\n");
  if (lines.size() != 10) return std::nullopt;

  Welcome welcome;
  const std::string& lengthText = lines[3];
  const auto [end, ec] =
      std::from_chars(lengthText.data(), lengthText.data() + lengthText.size(), welcome.maxTextLength);
  if (ec != std::errc() || end != lengthText.data() + lengthText.size()) return std::nullopt;

  welcome.version = lines[0];
  welcome.status = lines[1];
  welcome.language = lines[2];
  welcome.adminName = lines[4];
  welcome.adminMail = lines[5];
  welcome.standardRoom = lines[6];
  welcome.onlyRoom = lines[7];
  welcome.loginKey = lines[8];
  welcome.protocol = lines[9];
  if (nul != std::string_view::npos) welcome.welcomeText = payload.substr(nul + 1);
  return welcome;
}

std::string_view ErrorName(ClientError error) {
  switch (error) {
    case ClientError::kNone: return "none";
    case ClientError::kNotConnected: return "not connected";
    case ClientError::kResolve: return "host not found";
    case ClientError::kConnect: return "connect failed";
    case ClientError::kTimeout: return "timed out";
    case ClientError::kClosed: return "closed by the server";
    case ClientError::kMalformed: return "malformed data";
    case ClientError::kSequence: return "wrong call order";
    case ClientError::kEncryption: return "encryption failed";
    case ClientError::kSocket: return "socket error";
  }
  return "unknown";
}

ChatClient::~ChatClient() { Close(); }

ChatClient::ChatClient(ChatClient&& other) noexcept { *this = std::move(other); }

ChatClient& ChatClient::operator=(ChatClient&& other) noexcept {
  if (this == &other) return *this;
  Close();
  fd_ = std::exchange(other.fd_, -1);
  decoder_ = std::move(other.decoder_);
  cipher_ = std::move(other.cipher_);
  queue_ = std::move(other.queue_);
  peerClosed_ = other.peerClosed_;
  autoPong_ = other.autoPong_;
  sendTimeout_ = other.sendTimeout_;
  loginKey_ = std::move(other.loginKey_);
  loginPassword_ = std::move(other.loginPassword_);
  sessionKey_ = std::move(other.sessionKey_);
  error_ = other.error_;
  errorText_ = std::move(other.errorText_);
  return *this;
}

bool ChatClient::Connect(const std::string& host, std::uint16_t port, Timeout timeout) {
  Close();
  error_ = ClientError::kNone;
  errorText_.clear();
  const auto deadline = Clock::now() + timeout;

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (rc != 0) return Fail(ClientError::kResolve, host + ": " + ::gai_strerror(rc));
  const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, ::freeaddrinfo);

  Fail(ClientError::kConnect, host + ": no address");
  for (const addrinfo* address = found; address != nullptr; address = address->ai_next) {
    const int fd = ::socket(address->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      // A family this machine lacks (IPv6 switched off, say): the next address may do.
      FailErrno(ClientError::kSocket, "socket", errno);
      continue;
    }

    int code = ::connect(fd, address->ai_addr, address->ai_addrlen) == 0 ? 0 : errno;
    if (code == EINPROGRESS) {
      const int ready = PollUntil(fd, POLLOUT, deadline);
      if (ready == 0) {
        ::close(fd);
        return Fail(ClientError::kTimeout, "connect to " + host + " timed out");
      }
      socklen_t size = sizeof code;
      if (ready < 0) code = errno;
      else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &size) != 0) code = errno;
    }
    if (code == 0) {
      // Chat packets are small and each waits for an answer; batching them only adds delay.
      const int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      fd_ = fd;
      error_ = ClientError::kNone;
      errorText_.clear();
      return true;
    }
    ::close(fd);
    FailErrno(ClientError::kConnect, "connect", code);
  }
  return false;
}

std::optional<Welcome> ChatClient::ReceiveWelcome(Timeout timeout) {
  const auto packet = ReceiveCommand("welcome", timeout);
  if (!packet) return std::nullopt;
  auto welcome = ParseWelcome(packet->payload);
  if (!welcome) {
    Fail(ClientError::kMalformed, "unreadable welcome packet");
    return std::nullopt;
  }
  loginKey_ = welcome->loginKey;
  return welcome;
}

std::optional<LoginReply> ChatClient::Login(std::string_view nickname, std::string_view password,
                                            long color, std::string_view clientVersion,
                                            Timeout timeout) {
  const auto deadline = Clock::now() + timeout;
  if (!SendLogin(nickname, password, color, clientVersion, deadline)) return std::nullopt;
  return AwaitLoginReply(std::chrono::ceil<Timeout>(deadline - Clock::now()));
}

bool ChatClient::SendLogin(std::string_view nickname, std::string_view password, long color,
                           std::string_view clientVersion, std::optional<Clock::time_point> deadline) {
  if (fd_ < 0) return Fail(ClientError::kNotConnected, "not connected");
  if (loginKey_.empty())
    return Fail(ClientError::kSequence, "the login key comes with the welcome packet: receive it first");
  loginPassword_ = std::string(password);
  const std::string proof = loginPassword_.empty() ? std::string() : SHA256Hex(loginPassword_ + loginKey_);
  std::string payload;
  payload.append(nickname).push_back(kFieldSeparator);
  payload.append(proof).push_back(kFieldSeparator);
  payload.append(std::to_string(color)).push_back(kFieldSeparator);
  payload.append(clientVersion).push_back(kFieldSeparator);
  payload.append(kProtocolVersion);
  return SendBytes(FramePacket("login", payload), deadline.value_or(Clock::now() + sendTimeout_));
}

std::optional<LoginReply> ChatClient::AwaitLoginReply(Timeout timeout) {
  constexpr std::string_view kReply = "acceptUser";
  const auto packet = ReceiveMatching(&kReply, Clock::now() + std::max(timeout, Timeout(0)));
  if (!packet) return std::nullopt;
  LoginReply reply;
  const std::size_t nul = packet->payload.find(kFieldSeparator);
  reply.status = packet->payload.substr(0, nul);
  if (nul != std::string::npos) reply.nickname = packet->payload.substr(nul + 1);

  // The server keys the session with the password it has stored: on "ok_nopwd" that is none,
  // whatever we sent.
  if (reply.status == "ok") sessionKey_ = SHA256Hex(reply.nickname + loginPassword_ + loginKey_);
  if (reply.status == "ok_nopwd") sessionKey_ = SHA256Hex(reply.nickname + loginKey_);
  loginPassword_.clear();
  return reply;
}

bool ChatClient::Send(std::string_view command, std::string_view payload) {
  return SendRaw(FramePacket(command, cipher_.Outgoing(payload)));
}

// The exchange, in the order the server expects it: choose the plugin, swap public keys (each
// enciphered with the session key and checked with the login key), agree, and wait for the
// first sealed answer so the caller knows the server has switched.
bool ChatClient::EnableEncryption(Timeout timeout) {
  if (fd_ < 0) return Fail(ClientError::kNotConnected, "not connected");
  if (sessionKey_.empty()) return Fail(ClientError::kSequence, "encryption is agreed after the login");
  if (cipher_.Sealing()) return true;
  if (!channel::InitialiseCrypto()) return Fail(ClientError::kEncryption, "no randomness for the key pair");
  const auto deadline = Clock::now() + timeout;
  const std::string identity(channel::kIdentity);

  const auto list = Exchange("getEncryptionlist", "", "encryptionlist", deadline);
  if (!list) return false;
  const std::vector<std::string> offered = Split(*list, kFieldSeparatorText);
  if (std::find(offered.begin(), offered.end(), identity) == offered.end()) {
    return Fail(ClientError::kEncryption, "the server does not offer " + identity + " encryption");
  }
  const auto chosen = Exchange("setEncryption", identity, "acceptEncryption", deadline);
  if (!chosen) return false;
  if (*chosen != "ok" + std::string(kFieldSeparatorText) + identity) {
    return Fail(ClientError::kEncryption, "the server did not accept " + identity + " encryption");
  }

  const channel::KeyPair own;
  const std::string ownKey = own.PublicText();
  const auto answer = Exchange("encryptionkey", EncryptField(ownKey, sessionKey_) + "\r\n" + SHA256Hex(ownKey + loginKey_),
                               "encryptionkey", deadline);
  if (!answer) return false;
  const std::vector<std::string> parts = Split(*answer, "\r\n");
  if (parts.size() != 3 || parts[2] != "ok") return Fail(ClientError::kEncryption, "the server refused our key");
  const std::string serverKey = DecryptField(parts[0], sessionKey_);
  if (parts[1] != SHA256Hex(serverKey + loginKey_)) return RefuseServerKey("the server's key failed its check");
  std::optional<channel::SecureChannel> channel =
      channel::SecureChannel::Establish(channel::SecureChannel::Side::Client, own, serverKey);
  if (!channel) return RefuseServerKey("the server's key is no usable public key");

  if (!SendBytes(FramePacket("acceptEncryptionkey", "ok"), deadline)) return false;
  cipher_.Start(std::move(*channel));
  if (!SendBytes(FramePacket("ping", cipher_.Outgoing("")), deadline)) return false;
  constexpr std::string_view kPong = "pong";
  while (!cipher_.Confirmed()) {
    if (!ReceiveMatching(&kPong, deadline)) return false;
  }
  return true;
}

std::optional<std::string> ChatClient::Exchange(std::string_view command, std::string_view payload,
                                                std::string_view reply, Clock::time_point deadline) {
  if (!SendBytes(FramePacket(command, payload), deadline)) return std::nullopt;
  auto packet = ReceiveMatching(&reply, deadline);
  if (!packet) return std::nullopt;
  return std::move(packet->payload);
}

bool ChatClient::RefuseServerKey(std::string text) {
  SendBytes(FramePacket("acceptEncryptionkey", "badCRC"), Clock::now() + sendTimeout_);
  return Fail(ClientError::kEncryption, std::move(text));
}

bool ChatClient::SendRaw(std::string_view bytes) {
  return SendBytes(bytes, Clock::now() + sendTimeout_);
}

bool ChatClient::SendBytes(std::string_view bytes, Clock::time_point deadline) {
  if (fd_ < 0) return Fail(ClientError::kNotConnected, "not connected");
  while (!bytes.empty()) {
    const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      const int ready = PollUntil(fd_, POLLOUT, deadline);
      if (ready == 0) return Fail(ClientError::kTimeout, "send timed out");
      if (ready < 0) return FailErrno(ClientError::kSocket, "poll", errno);
      continue;
    }
    if (sent < 0 && (errno == EPIPE || errno == ECONNRESET))
      return FailErrno(ClientError::kClosed, "send", errno);
    return FailErrno(ClientError::kSocket, "send", sent < 0 ? errno : EIO);
  }
  return true;
}

std::optional<Packet> ChatClient::Receive(Timeout timeout) {
  return ReceiveMatching(nullptr, Clock::now() + timeout);
}

std::optional<Packet> ChatClient::ReceiveCommand(std::string_view command, Timeout timeout) {
  return ReceiveMatching(&command, Clock::now() + timeout);
}

std::vector<Packet> ChatClient::TakePending() {
  std::vector<Packet> pending(std::make_move_iterator(queue_.begin()),
                              std::make_move_iterator(queue_.end()));
  queue_.clear();
  return pending;
}

bool ChatClient::WaitForClose(Timeout timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (fd_ < 0) return Fail(ClientError::kNotConnected, "not connected");
    if (peerClosed_) return true;
    if (!ReadOnce(deadline)) return false;
  }
}

void ChatClient::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  decoder_.Reset();
  cipher_.Stop();
  queue_.clear();
  peerClosed_ = false;
  loginKey_.clear();
  loginPassword_.clear();
  sessionKey_.clear();
}

std::optional<Packet> ChatClient::ReceiveMatching(const std::string_view* command,
                                                  Clock::time_point deadline) {
  for (;;) {
    if (auto packet = TakeQueued(command)) return packet;
    if (decoder_.Malformed()) {
      Fail(ClientError::kMalformed, "bad framing from the server: " + decoder_.Error());
      return std::nullopt;
    }
    if (!ReadOnce(deadline)) return std::nullopt;
  }
}

std::optional<Packet> ChatClient::TakeQueued(const std::string_view* command) {
  const auto match = std::find_if(queue_.begin(), queue_.end(), [command](const Packet& packet) {
    return command == nullptr || packet.command == *command;
  });
  if (match == queue_.end()) return std::nullopt;
  Packet packet = std::move(*match);
  queue_.erase(match);
  return packet;
}

// One wait and one read. True when something happened (bytes, or the server's close) so the
// caller looks at the queue again; false with the reason set otherwise.
bool ChatClient::ReadOnce(Clock::time_point deadline) {
  if (fd_ < 0) return Fail(ClientError::kNotConnected, "not connected");
  if (peerClosed_) return Fail(ClientError::kClosed, "the server closed the connection");

  const int ready = PollUntil(fd_, POLLIN, deadline);
  if (ready == 0) return Fail(ClientError::kTimeout, "no data in time");
  if (ready < 0) return FailErrno(ClientError::kSocket, "poll", errno);

  // Straight into the decoder's buffer.
  const std::span<char> room = decoder_.WritableTail(kReadRoom);
  const ssize_t got = ::recv(fd_, room.data(), room.size(), 0);
  if (got > 0) {
    decoder_.Commit(static_cast<std::size_t>(got));
    Decode();
    return true;
  }
  // A reset is how a close looks when the server drops us with our bytes still unread.
  if (got == 0 || errno == ECONNRESET) {
    peerClosed_ = true;
    return true;
  }
  if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) return true;
  return FailErrno(ClientError::kSocket, "recv", errno);
}

void ChatClient::Decode() {
  while (auto packet = decoder_.Pop()) {
    if (cipher_.Sealing()) {
      std::optional<std::string> payload = cipher_.Incoming(packet->payload);
      if (!payload) continue;
      packet->payload = std::move(*payload);
    }
    if (autoPong_ && packet->command == "ping") {
      // A failed answer needs no report here: the broken connection shows on the next read.
      Send("pong", "");
      continue;
    }
    queue_.push_back(std::move(*packet));
  }
}

bool ChatClient::Fail(ClientError error, std::string text) {
  error_ = error;
  errorText_ = std::move(text);
  return false;
}

bool ChatClient::SetReceiveBufferSize(int bytes) {
  return fd_ >= 0 && ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) == 0;
}

bool ChatClient::FailErrno(ClientError error, std::string_view operation, int code) {
  return Fail(error, std::string(operation) + ": " + std::strerror(code));
}

}  // namespace velmorin::client
