#pragma once
// One client connection in its slot of the connection table: the socket (whose receive buffer
// holds the bytes received but not yet handled), the reader that cuts packets out of them, what
// the server knows about the client, the cipher state and the phase.
//
// The phase is the one answer to "has it logged in", "does its login wait for a taken
// nickname" and "is it being removed":
//
//   Accepted            connected and welcomed; no login taken yet
//   WaitingForNickname  a login waits for the older holders of its nickname to answer a ping
//   LoggedIn            the login was accepted; the nickname is in the table's index
//   Closing             the removal is under way: a second removal does nothing, and code that
//                       called out and comes back treats the slot as gone
//
// Accepted and WaitingForNickname alternate until the login is taken; any phase may go to
// Closing, and nothing leaves Closing (the slot is released at the end of the removal).

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "codec/PacketReader.hpp"
#include "net/StreamSocket.hpp"

namespace velmorin {

enum class ConnectionPhase { Accepted, WaitingForNickname, LoggedIn, Closing };

class Connection {
 public:
  // A fresh connection in slot `index`; its socket reports to `events`.
  Connection(StreamSocketEvents* events, long index, std::uint64_t serial, std::string key);
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  ConnectionPhase Phase() const { return phase_; }
  bool LoggedIn() const { return phase_ == ConnectionPhase::LoggedIn; }
  bool WaitingForNickname() const { return phase_ == ConnectionPhase::WaitingForNickname; }
  bool Closing() const { return phase_ == ConnectionPhase::Closing; }
  void WaitForNickname();
  // A wait for a taken nickname ended without a login.
  void StopWaiting();
  void LogIn();
  void StartClosing() { phase_ = ConnectionPhase::Closing; }

  // Nothing after ReleaseSocket.
  StreamSocket* Socket() { return socket_.get(); }
  const StreamSocket* Socket() const { return socket_.get(); }
  // Hands the socket over for its graceful close; the connection has none afterwards.
  std::unique_ptr<StreamSocket> ReleaseSocket() { return std::move(socket_); }

  // Cuts packets out of the socket's received bytes, where they lie.
  PacketReader& Reader() { return reader_; }
  // How many of the socket's held bytes the server has counted as received already.
  std::size_t countedInput = 0;

  // The cipher: payloads pass through the chosen encryption plugin once the key exchange
  // completed.
  bool EncryptionOn() const { return encryptionActive && encryptionIndex != -1; }

  // What the server knows about the client.
  bool chatroomAdmin = false;
  bool away = false;
  long color = 0;
  std::string nickname;  // empty until the login is accepted; kept while the connection closes
  long chatroomId = -1;
  long encryptionIndex = -1;
  bool encryptionActive = false;
  bool fullAtConnect = false;
  std::string loginKey;  // sent with the welcome; the client proves passwords with it
  std::string sessionKey;
  std::time_t connectTime = 0;
  std::string clientVersion;
  std::string pendingNickname;   // a login waiting for an older holder of the nickname
  std::string pendingLogin;      // proof NUL colour NUL client version of that login
  std::string pendingConflicts;  // indices of the holders, joined by NUL
  // Tells one occupant of the slot from the next, for code that calls out and comes back.
  const std::uint64_t serial;

 private:
  ConnectionPhase phase_ = ConnectionPhase::Accepted;
  std::unique_ptr<StreamSocket> socket_;
  PacketReader reader_;
};

}  // namespace velmorin
