// The shipped encryption plugin: payloads of a connection travel sealed with
// XChaCha20-Poly1305 under keys agreed by X25519 (libsodium's key exchange).
//
// Key exchange, per connection: the client sends the public key of a fresh key pair (set
// key); the plugin answers with the public key of a fresh key pair of its own (get key). Only
// public keys cross the wire, so the field cipher that carries them need not keep them secret.

#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include <velmorin/plugin.hpp>

#include "sealed_channel/SecureChannel.hpp"

namespace {

using velmorin::channel::KeyPair;
using velmorin::channel::SecureChannel;

class SealedChannelPlugin : public velmorin::plugin::Plugin {
 public:
  std::string PluginAuthor() const override { return "Velmorin Server"; }
  // Clients choose from the offered list by this text, and the server finds the plugin by its
  // identity: both are the same.
  std::string PluginIdent() const override { return std::string(velmorin::channel::kIdentity); }
  std::string PluginName() const override { return "Sealed channel (X25519, XChaCha20-Poly1305)"; }
  std::string PluginType() const override { return "encryption"; }
  std::string PluginVersion() const override { return "1.0.0"; }

  void InitialiseEncryption(const std::string&, std::int32_t, bool) override {
    if (!velmorin::channel::InitialiseCrypto()) throw std::runtime_error("no randomness for the key pairs");
  }
  std::string Identity() override { return PluginIdent(); }

  // A new key from the client starts a new channel: a fresh key pair of ours, new counters.
  void SetKey(std::int32_t connection, const std::string& clientKey) override {
    sessions_.erase(connection);
    Session session;
    std::optional<SecureChannel> channel =
        SecureChannel::Establish(SecureChannel::Side::Server, session.own, clientKey);
    if (!channel.has_value()) throw std::invalid_argument("not an X25519 public key");
    session.channel = std::move(*channel);
    sessions_.emplace(connection, std::move(session));
  }
  std::string GetKey(std::int32_t connection) override { return Find(connection).own.PublicText(); }
  void ResetKey(std::int32_t connection) override { sessions_.erase(connection); }

  std::string Encrypt(std::int32_t connection, const std::string& text) override {
    return Find(connection).channel->Seal(text);
  }
  std::string Decrypt(std::int32_t connection, const std::string& text) override {
    std::optional<std::string> clear = Find(connection).channel->Open(text);
    if (!clear.has_value()) throw std::runtime_error("tampered, replayed or not sealed for this connection");
    return std::move(*clear);
  }

 private:
  struct Session {
    KeyPair own;
    std::optional<SecureChannel> channel;
  };

  Session& Find(std::int32_t connection) {
    const auto session = sessions_.find(connection);
    if (session == sessions_.end()) throw std::runtime_error("no key exchange on this connection");
    return session->second;
  }

  std::map<std::int32_t, Session> sessions_;
};

}  // namespace

VELMORIN_PLUGIN(SealedChannelPlugin)
