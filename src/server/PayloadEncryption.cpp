// Payload encryption through the encryption plugin a connection chose: the key exchange and
// the per-packet transform of the writer and the reader.

#include "server/clsServer.hpp"

namespace velmorin {

std::optional<std::string> clsServer::ExchangeEncryptionKey(long index, const std::string& clientKey) {
  LoadedPlugin* plugin = encryptionPlugins_.At(Record(index).EncryptionIndex);
  if (plugin == nullptr || !plugin->SetKey(index, clientKey)) return std::nullopt;
  std::optional<std::string> ownKey = plugin->GetKey(index);
  if (!ownKey.has_value() || ownKey->empty()) return std::nullopt;
  return ownKey;
}

LoadedPlugin* clsServer::ActiveCipher(long index) {
  if (!InUse(index) || !Record(index).EncryptionActive) return nullptr;
  return encryptionPlugins_.At(Record(index).EncryptionIndex);
}

// A connection whose encryption is on never gets a payload in clear: when its plugin is gone
// or fails, the packet is not sent.
std::optional<std::string> clsServer::EncryptPayload(long index, const std::string& data) {
  return PassThroughCipher(index, data, &LoadedPlugin::Encrypt,
                           "The encryption plugin could not encrypt a packet for connection ", "frmServer.SendCommand");
}

// A payload that does not decrypt (tampered, replayed, or not from the key holder) is never
// handed to the dispatcher.
std::optional<std::string> clsServer::DecryptPayload(long index, const std::string& data) {
  return PassThroughCipher(index, data, &LoadedPlugin::Decrypt,
                           "The encryption plugin could not decrypt a packet from connection ",
                           "frmServer.sckServer_OnDataArrival");
}

std::optional<std::string> clsServer::PassThroughCipher(long index, const std::string& data, CipherMember member,
                                                        const std::string& failure, const char* source) {
  LoadedPlugin* plugin = ActiveCipher(index);
  std::optional<std::string> result = plugin != nullptr ? (plugin->*member)(index, data) : std::nullopt;
  if (!result.has_value()) {
    log_.Log(LogMessageType::ErrorRaised,
             {{"%id", std::to_string(index)}, {"%nr", "5"}, {"%description", failure + std::to_string(index)}, {"%source", source}});
  }
  return result;
}

}  // namespace velmorin
