#include "sealed_channel/SecureChannel.hpp"

#include "codec/Base64.hpp"

namespace velmorin::channel {
namespace {

static_assert(crypto_kx_SESSIONKEYBYTES == crypto_aead_xchacha20poly1305_ietf_KEYBYTES);

using Nonce = std::array<unsigned char, crypto_aead_xchacha20poly1305_ietf_NPUBBYTES>;

// The counter, little-endian, in the first eight bytes; the rest stays zero.
Nonce CounterNonce(std::uint64_t counter) {
  Nonce nonce{};
  for (std::size_t i = 0; i < 8; ++i) nonce[i] = static_cast<unsigned char>(counter >> (8 * i));
  return nonce;
}

}  // namespace

bool InitialiseCrypto() { return sodium_init() >= 0; }

KeyPair::KeyPair() { crypto_kx_keypair(public_.data(), secret_.data()); }

KeyPair::~KeyPair() { sodium_memzero(secret_.data(), secret_.size()); }

std::string KeyPair::PublicText() const {
  return Base64Encode(std::string_view(reinterpret_cast<const char*>(public_.data()), public_.size()));
}

std::optional<SecureChannel> SecureChannel::Establish(Side side, const KeyPair& own, std::string_view peerPublicText) {
  const std::optional<std::string> peer = Base64DecodeStrict(peerPublicText);
  if (!peer.has_value() || peer->size() != crypto_kx_PUBLICKEYBYTES) return std::nullopt;
  const auto* peerKey = reinterpret_cast<const unsigned char*>(peer->data());
  SecureChannel channel;
  const int agreed =
      side == Side::Client
          ? crypto_kx_client_session_keys(channel.receiveKey_.data(), channel.sendKey_.data(), own.public_.data(),
                                          own.secret_.data(), peerKey)
          : crypto_kx_server_session_keys(channel.receiveKey_.data(), channel.sendKey_.data(), own.public_.data(),
                                          own.secret_.data(), peerKey);
  if (agreed != 0) return std::nullopt;
  return channel;
}

SecureChannel::~SecureChannel() {
  sodium_memzero(receiveKey_.data(), receiveKey_.size());
  sodium_memzero(sendKey_.data(), sendKey_.size());
}

std::string SecureChannel::Seal(std::string_view clear) {
  std::string sealed(clear.size() + crypto_aead_xchacha20poly1305_ietf_ABYTES, '\0');
  unsigned long long length = 0;
  const Nonce nonce = CounterNonce(sent_++);
  crypto_aead_xchacha20poly1305_ietf_encrypt(reinterpret_cast<unsigned char*>(sealed.data()), &length,
                                             reinterpret_cast<const unsigned char*>(clear.data()), clear.size(),
                                             nullptr, 0, nullptr, nonce.data(), sendKey_.data());
  return Base64Encode(sealed);
}

std::optional<std::string> SecureChannel::Open(std::string_view sealed) {
  const std::optional<std::string> bytes = Base64DecodeStrict(sealed);
  if (!bytes.has_value() || bytes->size() < crypto_aead_xchacha20poly1305_ietf_ABYTES) return std::nullopt;
  std::string clear(bytes->size() - crypto_aead_xchacha20poly1305_ietf_ABYTES, '\0');
  unsigned long long length = 0;
  const Nonce nonce = CounterNonce(received_);
  if (crypto_aead_xchacha20poly1305_ietf_decrypt(reinterpret_cast<unsigned char*>(clear.data()), &length, nullptr,
                                                 reinterpret_cast<const unsigned char*>(bytes->data()),
                                                 bytes->size(), nullptr, 0, nonce.data(),
                                                 receiveKey_.data()) != 0) {
    return std::nullopt;
  }
  ++received_;
  clear.resize(static_cast<std::size_t>(length));
  return clear;
}

}  // namespace velmorin::channel
