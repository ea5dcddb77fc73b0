#pragma once
// The encrypted channel of one connection, shared by the shipped encryption plugin (server
// side) and the client library (client side).
//
//   KeyPair        a fresh X25519 key pair; its public key travels as text (Base64)
//   SecureChannel  the two session keys agreed from both key pairs, and the message counters
//
// Every payload is sealed with XChaCha20-Poly1305 under the key of its direction; the nonce
// is the count of payloads sealed before it in that direction, so a payload that is replayed,
// dropped or reordered fails to open like a tampered one. The sealed payload is Base64 text.
// The wire format is described in docs/encryption.md.

#include <sodium.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmorin::channel {

// The name the plugin is offered and chosen by.
inline constexpr std::string_view kIdentity = "x25519-xchacha20poly1305";

// Initialises the crypto library; false when the system offers it no randomness.
bool InitialiseCrypto();

class KeyPair {
 public:
  KeyPair();  // a new random key pair; InitialiseCrypto must have succeeded
  ~KeyPair();
  KeyPair(const KeyPair&) = default;
  KeyPair& operator=(const KeyPair&) = default;

  std::string PublicText() const;  // Base64 of the 32-byte public key

 private:
  friend class SecureChannel;
  std::array<unsigned char, crypto_kx_PUBLICKEYBYTES> public_{};
  std::array<unsigned char, crypto_kx_SECRETKEYBYTES> secret_{};
};

class SecureChannel {
 public:
  enum class Side { Client, Server };

  // The channel between our key pair and the peer's public key text; nothing when the text is
  // not a public key or the key agreement fails (a key of low order, say).
  static std::optional<SecureChannel> Establish(Side side, const KeyPair& own, std::string_view peerPublicText);
  ~SecureChannel();
  SecureChannel(const SecureChannel&) = default;
  SecureChannel& operator=(const SecureChannel&) = default;

  std::string Seal(std::string_view clear);
  // The clear text, or nothing when the text is not the next sealed payload of the peer.
  std::optional<std::string> Open(std::string_view sealed);

 private:
  SecureChannel() = default;
  using Key = std::array<unsigned char, crypto_kx_SESSIONKEYBYTES>;
  Key receiveKey_{};
  Key sendKey_{};
  std::uint64_t sent_ = 0;
  std::uint64_t received_ = 0;
};

}  // namespace velmorin::channel
