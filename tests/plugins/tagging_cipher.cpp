// Test plugin "tagging_cipher": an encryption plugin whose transform is visible. One library may
// be installed under several component names; each is the plugin "tagging-" + component, and
// its identity is the same text.
//
//   encrypt(text)  -> "<component>(" text ")"
//   decrypt(text)  -> the inside of such a wrapping; anything else fails
//   set key        stores the client's key; the key "refuse" fails
//   get key        "server-key-" + connection + ":" + the client's key; fails before a key is set
//
// Every set key, reset, about box and configuration dialog is appended to
// plugins/<component>.calls, one line each.

#include <fstream>
#include <map>
#include <stdexcept>
#include <string>

#include <velmorin/plugin.hpp>

#include "LibraryFile.hpp"

namespace {

class TaggingCipher : public velmorin::plugin::Plugin {
 public:
  std::string PluginAuthor() const override { return "Velmorin tests"; }
  std::string PluginIdent() const override { return "tagging-" + Component(); }
  std::string PluginName() const override { return "Tagging cipher"; }
  std::string PluginType() const override { return "encryption"; }

  std::string Encrypt(std::int32_t, const std::string& text) override { return Component() + "(" + text + ")"; }
  std::string Decrypt(std::int32_t, const std::string& text) override {
    const std::string open = Component() + "(";
    if (text.size() < open.size() + 1 || text.compare(0, open.size(), open) != 0 || text.back() != ')') {
      throw std::runtime_error("not wrapped");
    }
    return text.substr(open.size(), text.size() - open.size() - 1);
  }
  std::string Identity() override { return PluginIdent(); }
  std::string GetKey(std::int32_t connection) override {
    const auto client = clientKeys_.find(connection);
    if (client == clientKeys_.end()) throw std::runtime_error("no key yet");
    return "server-key-" + std::to_string(connection) + ":" + client->second;
  }
  void SetKey(std::int32_t connection, const std::string& key) override {
    Record("setkey " + std::to_string(connection) + " " + key);
    if (key == "refuse") throw std::runtime_error("refused");
    clientKeys_[connection] = key;
  }
  void ResetKey(std::int32_t connection) override {
    Record("reset " + std::to_string(connection));
    clientKeys_.erase(connection);
  }
  void ShowAbout() override { Record("about"); }
  void ShowConfiguration() override { Record("configure"); }

 private:
  static void Record(const std::string& line) {
    const std::string path = LibraryPath();
    std::ofstream(path.substr(0, path.size() - 3) + ".calls", std::ios::app) << line << "\n";
  }

  std::map<std::int32_t, std::string> clientKeys_;
};

}  // namespace

VELMORIN_PLUGIN(TaggingCipher)
