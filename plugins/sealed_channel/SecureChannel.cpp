#include "sealed_channel/SecureChannel.hpp"

#include <vector>

namespace velmorin::channel {
namespace {

static_assert(crypto_kx_SESSIONKEYBYTES == crypto_aead_xchacha20poly1305_ietf_KEYBYTES);

constexpr int kBase64 = sodium_base64_VARIANT_ORIGINAL;

using Nonce = std::array<unsigned char, crypto_aead_xchacha20poly1305_ietf_NPUBBYTES>;

// The counter, little-endian, in the first eight bytes; the rest stays zero.
Nonce CounterNonce(std::uint64_t counter) {
  Nonce nonce{};
  for (std::size_t i = 0; i < 8; ++i) nonce[i] = static_cast<unsigned char>(counter >> (8 * i));
  return nonce;
}

std::string ToBase64(const unsigned char* bytes, std::size_t length) {
  std::string text(sodium_base64_ENCODED_LEN(length, kBase64), '\0');
  sodium_bin2base64(text.data(), text.size(), bytes, length, kBase64);
  text.pop_back();  // the terminating NUL
  return text;
}

// Strict decoding: padding required, no blanks, nothing after the last group.
std::optional<std::vector<unsigned char>> FromBase64(std::string_view text) {
  std::vector<unsigned char> bytes(text.size() / 4 * 3 + 3);
  std::size_t length = 0;
  const char* end = nullptr;
  if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr, &length, &end, kBase64) != 0 ||
      end != text.data() + text.size()) {
    return std::nullopt;
  }
  bytes.resize(length);
  return bytes;
}

}  // namespace

bool InitialiseCrypto() { return sodium_init() >= 0; }

KeyPair::KeyPair() { crypto_kx_keypair(public_.data(), secret_.data()); }

KeyPair::~KeyPair() { sodium_memzero(secret_.data(), secret_.size()); }

std::string KeyPair::PublicText() const { return ToBase64(public_.data(), public_.size()); }

std::optional<SecureChannel> SecureChannel::Establish(Side side, const KeyPair& own, std::string_view peerPublicText) {
  const std::optional<std::vector<unsigned char>> peer = FromBase64(peerPublicText);
  if (!peer.has_value() || peer->size() != crypto_kx_PUBLICKEYBYTES) return std::nullopt;
  SecureChannel channel;
  const int agreed =
      side == Side::Client
          ? crypto_kx_client_session_keys(channel.receiveKey_.data(), channel.sendKey_.data(), own.public_.data(),
                                          own.secret_.data(), peer->data())
          : crypto_kx_server_session_keys(channel.receiveKey_.data(), channel.sendKey_.data(), own.public_.data(),
                                          own.secret_.data(), peer->data());
  if (agreed != 0) return std::nullopt;
  return channel;
}

SecureChannel::~SecureChannel() {
  sodium_memzero(receiveKey_.data(), receiveKey_.size());
  sodium_memzero(sendKey_.data(), sendKey_.size());
}

std::string SecureChannel::Seal(std::string_view clear) {
  std::vector<unsigned char> sealed(clear.size() + crypto_aead_xchacha20poly1305_ietf_ABYTES);
  unsigned long long length = 0;
  const Nonce nonce = CounterNonce(sent_++);
  crypto_aead_xchacha20poly1305_ietf_encrypt(sealed.data(), &length,
                                             reinterpret_cast<const unsigned char*>(clear.data()), clear.size(),
                                             nullptr, 0, nullptr, nonce.data(), sendKey_.data());
  return ToBase64(sealed.data(), static_cast<std::size_t>(length));
}

std::optional<std::string> SecureChannel::Open(std::string_view sealed) {
  const std::optional<std::vector<unsigned char>> bytes = FromBase64(sealed);
  if (!bytes.has_value() || bytes->size() < crypto_aead_xchacha20poly1305_ietf_ABYTES) return std::nullopt;
  std::string clear(bytes->size() - crypto_aead_xchacha20poly1305_ietf_ABYTES, '\0');
  unsigned long long length = 0;
  const Nonce nonce = CounterNonce(received_);
  if (crypto_aead_xchacha20poly1305_ietf_decrypt(reinterpret_cast<unsigned char*>(clear.data()), &length, nullptr,
                                                 bytes->data(), bytes->size(), nullptr, 0, nonce.data(),
                                                 receiveKey_.data()) != 0) {
    return std::nullopt;
  }
  ++received_;
  clear.resize(static_cast<std::size_t>(length));
  return clear;
}

}  // namespace velmorin::channel
