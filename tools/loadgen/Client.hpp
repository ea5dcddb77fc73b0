#pragma once
// One simulated chat client: its socket, its place in the run and its unsent and unparsed bytes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "client/PayloadCipher.hpp"
#include "codec/PacketReader.hpp"
#include "platform/ByteBuffer.hpp"
#include "sealed_channel/SecureChannel.hpp"

namespace velmorin::load {

// What the generator accepts from the server: the server's header limit, payloads far above
// anything it sends (only a broken length must not grow a buffer), plain decimal lengths.
inline constexpr PacketLimits kServerStreamLimits{kMaxHeaderLength, static_cast<std::size_t>(-1), 16u << 20, true};

enum class ClientState {
  Idle,             // not started yet
  Connecting,       // non-blocking connect in progress
  AwaitWelcome,     // connected, the server speaks first
  AwaitLogin,       // "login" sent
  AwaitEncryption,  // --encrypt: accepted, "setEncryption" sent
  AwaitServerKey,   // --encrypt: our public key sent in "encryptionkey"
  LoggedIn,         // accepted (and with --encrypt sealed), in no room
  AwaitJoin,        // "joinChatroom" sent
  AwaitCreate,      // "createChatroom" sent after "notfound"
  Joined,           // member of the room
  Quitting,         // "quit" sent, waiting for the server to close
  Closed,           // socket closed as planned
  Failed,           // socket closed because something went wrong
};

struct Client {
  std::uint32_t index = 0;
  int fd = -1;
  ClientState state = ClientState::Idle;
  std::string nickname;  // as the server accepted it
  int sender = -1;       // sender number, -1 for a client that only receives
  bool joinRetried = false;

  // An incomplete packet carried over to the next read; usually empty, so that most reads
  // are parsed straight from the shared read buffer.
  ByteBuffer in;
  // Cuts packets out of the received bytes; remembers the header of a packet carried over.
  PacketReader reader{kServerStreamLimits};
  // Bytes the socket has not taken yet; the loop writes each client once per pass.
  ByteBuffer out;
  bool writeWatched = false;  // EPOLLOUT registered
  bool flushQueued = false;

  // --encrypt. The login's keys and our key pair are needed only during the key exchange;
  // the cipher seals every payload we send from the moment we agreed.
  std::string loginKey;
  std::string sessionKey;
  std::optional<channel::KeyPair> ownKeys;
  client::PayloadCipher cipher;

  std::int64_t connectStartNs = 0;
  std::int64_t loggedInNs = 0;

  bool Open() const { return fd >= 0; }
};

}  // namespace velmorin::load
