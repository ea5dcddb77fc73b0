// --encrypt: each client agrees on sealed payloads with the server's encryption plugin right
// after its login, and from then on seals what it sends and opens what it receives.
//
// The exchange (docs/encryption.md): "setEncryption" chooses the plugin; "encryptionkey" swaps
// the public keys, each enciphered with the session key and checked with the login key;
// "acceptEncryptionkey ok" (still in clear) makes the server switch. The first sealed packet is
// then the client's "joinChatroom".

#include <string>
#include <utility>

#include "LoadRun.hpp"
#include "codec/FieldCipher.hpp"
#include "codec/Sha256.hpp"

namespace velmorin::load {

void LoadRun::StartEncryption(Client& client) {
  // A guest's session key: no password goes into it.
  client.sessionKey = SHA256Hex(client.nickname + client.loginKey);
  Send(client, "setEncryption", channel::kIdentity);
  client.state = ClientState::AwaitEncryption;
}

void LoadRun::OnAcceptEncryption(Client& client, std::string_view payload) {
  if (client.state != ClientState::AwaitEncryption) return;
  FieldCursor fields(payload);
  const std::string_view word = fields.Next();
  if (word != "ok" || fields.Rest() != channel::kIdentity) {
    Fail(client, "the server does not offer " + std::string(channel::kIdentity) + " encryption");
    return;
  }
  client.ownKeys.emplace();
  const std::string ownKey = client.ownKeys->PublicText();
  Send(client, "encryptionkey",
       EncryptField(ownKey, client.sessionKey) + "\r\n" + SHA256Hex(ownKey + client.loginKey));
  client.state = ClientState::AwaitServerKey;
}

void LoadRun::OnServerKey(Client& client, std::string_view payload, std::int64_t nowNs) {
  if (client.state != ClientState::AwaitServerKey) return;
  // Enciphered key text, its check, "ok"; a fourth part would stay in `status` and fail it.
  std::string_view rest = payload;
  const std::string_view enciphered = TakeLine(rest);
  const std::string_view check = TakeLine(rest);
  const std::string_view status = rest;
  if (status != "ok") {
    Fail(client, "the server refused our key: " + std::string(status));
    return;
  }
  const std::string serverKey = DecryptField(enciphered, client.sessionKey);
  if (check != SHA256Hex(serverKey + client.loginKey)) {
    Fail(client, "the server's key failed its check");
    return;
  }
  std::optional<channel::SecureChannel> agreed =
      channel::SecureChannel::Establish(channel::SecureChannel::Side::Client, *client.ownKeys, serverKey);
  if (!agreed) {
    Fail(client, "the server's key is no usable public key");
    return;
  }
  Send(client, "acceptEncryptionkey", "ok");  // the last packet in clear
  client.cipher.Start(std::move(*agreed));
  client.ownKeys.reset();
  client.loginKey = std::string();
  client.sessionKey = std::string();
  CountLoggedIn(client, nowNs);
}

// What the server sent before it switched arrives in clear after we did; the cipher tells the
// kinds apart (see PayloadCipher). A payload it drops is counted.
void LoadRun::OnSealedPacket(Client& client, std::string_view command, std::string_view payload,
                             std::int64_t nowNs) {
  if (const std::optional<std::string> clear = client.cipher.Incoming(payload)) {
    OnPacket(client, command, *clear, nowNs);
    return;
  }
  ++result_.undecryptable;
  if (result_.firstFailure.empty())
    result_.firstFailure = client.nickname + ": a sealed " + std::string(command) + " from the server did not open";
}

}  // namespace velmorin::load
