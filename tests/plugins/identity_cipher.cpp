// Test plugin "identity_cipher": an encryption plugin whose transform changes nothing, for
// tests of the encryption path. Its key for a connection is "key" + index, followed by ":" and
// the client's key once one was set; reset forgets the client's key.

#include <map>
#include <string>

#include <velmorin/plugin.hpp>

namespace {

class IdentityCipher : public velmorin::plugin::Plugin {
 public:
  std::string PluginAuthor() const override { return "Velmorin tests"; }
  std::string PluginIdent() const override { return "identity-cipher"; }
  std::string PluginName() const override { return "Identity cipher"; }
  std::string PluginType() const override { return "encryption"; }

  std::string Encrypt(std::int32_t, const std::string& text) override { return text; }
  std::string Decrypt(std::int32_t, const std::string& text) override { return text; }
  std::string Identity() override { return "identity"; }
  std::string GetKey(std::int32_t connection) override {
    const auto client = clientKeys_.find(connection);
    return "key" + std::to_string(connection) + (client != clientKeys_.end() ? ":" + client->second : "");
  }
  void SetKey(std::int32_t connection, const std::string& key) override { clientKeys_[connection] = key; }
  void ResetKey(std::int32_t connection) override { clientKeys_.erase(connection); }

 private:
  std::map<std::int32_t, std::string> clientKeys_;
};

}  // namespace

VELMORIN_PLUGIN(IdentityCipher)
