// The shipped encryption plugin (dist/plugins/sealed_channel.so) against the client's side of
// the channel: both directions open, and whatever was not sealed for this very place in the
// stream (tampered, replayed, reordered, for another connection, after a reset) is refused.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "plugins/LoadedPlugin.hpp"
#include "sealed_channel/SecureChannel.hpp"

namespace velmorin {
namespace {

using namespace std::string_literals;
using channel::KeyPair;
using channel::SecureChannel;

class SealedChannel : public ::testing::Test {
 protected:
  void SetUp() override {
    plugin = LoadedPlugin::Create(std::string(VELMORIN_DIST_DIR) + "/plugins/sealed_channel.so");
    ASSERT_NE(plugin, nullptr);
    ASSERT_TRUE(plugin->InitialiseEncryption("/tmp/", 1033, false));
  }
  // The client's half of the key exchange on `connection`.
  SecureChannel Connect(long connection) {
    const KeyPair own;
    EXPECT_TRUE(plugin->SetKey(connection, own.PublicText()));
    const std::optional<std::string> serverKey = plugin->GetKey(connection);
    EXPECT_TRUE(serverKey.has_value());
    std::optional<SecureChannel> client =
        SecureChannel::Establish(SecureChannel::Side::Client, own, serverKey.value_or(""));
    if (!client) throw std::runtime_error("the server's key is not usable");
    return *client;
  }

  std::unique_ptr<LoadedPlugin> plugin;
};

TEST_F(SealedChannel, IsOfferedUnderOneNameAndCarriesAnyBytesBothWays) {
  EXPECT_EQ(plugin->PluginType(), "encryption");
  EXPECT_EQ(plugin->PluginIdent(), std::string(channel::kIdentity));
  EXPECT_EQ(plugin->Identity(), std::string(channel::kIdentity));
  SecureChannel client = Connect(3);
  for (const std::string& text : {""s, "normal\0Ann\0hello"s, "\xe4\xf6\xfc\r\n\x01"s, std::string(70000, 'x')}) {
    const std::string sealed = client.Seal(text);
    EXPECT_EQ(sealed.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
              std::string::npos)
        << "text on the wire";
    EXPECT_EQ(plugin->Decrypt(3, sealed), text);
    const std::optional<std::string> reply = plugin->Encrypt(3, text);
    ASSERT_TRUE(reply.has_value());
    if (!text.empty()) {
      EXPECT_EQ(reply->find(text), std::string::npos);
    }
    EXPECT_EQ(client.Open(*reply), text);
  }
  // The same text sealed twice looks different.
  EXPECT_NE(client.Seal("again"), client.Seal("again"));
}

TEST_F(SealedChannel, RefusesTamperedReplayedReorderedAndForeignPayloads) {
  SecureChannel client = Connect(1);
  SecureChannel other = Connect(2);
  const std::string first = client.Seal("first");
  const std::string second = client.Seal("second");
  std::string tampered = first;
  tampered[4] = tampered[4] == 'A' ? 'B' : 'A';
  const struct {
    const char* what;
    long connection;
    std::string text;
  } refused[] = {
      {"tampered", 1, tampered},
      {"out of order", 1, second},
      {"cut short", 1, first.substr(0, first.size() - 4)},
      {"not Base64", 1, "first"},
      {"sealed for another connection", 1, other.Seal("first")},
      {"no key exchange on the connection", 9, first},
  };
  for (const auto& c : refused) EXPECT_EQ(plugin->Decrypt(c.connection, c.text), std::nullopt) << c.what;
  // Refusals do not advance the stream: the genuine payloads still open, each once.
  EXPECT_EQ(plugin->Decrypt(1, first), "first");
  EXPECT_EQ(plugin->Decrypt(1, first), std::nullopt) << "replayed";
  EXPECT_EQ(plugin->Decrypt(1, second), "second");
}

TEST_F(SealedChannel, OnlyAPublicKeyIsTakenAndResetForgetsTheConnection) {
  for (const std::string& key : {""s, "not a key"s, KeyPair().PublicText().substr(4), std::string(43, 'A') + "=" /* all zero: a key of low order */,
                                 KeyPair().PublicText() + "AAAA"}) {
    EXPECT_FALSE(plugin->SetKey(1, key)) << key;
    EXPECT_EQ(plugin->GetKey(1), std::nullopt) << key;
  }
  SecureChannel client = Connect(1);
  EXPECT_TRUE(plugin->Reset(1));
  EXPECT_EQ(plugin->Encrypt(1, "x"), std::nullopt);
  EXPECT_EQ(plugin->Decrypt(1, client.Seal("x")), std::nullopt);
  // A new exchange gives a new server key.
  const KeyPair own;
  ASSERT_TRUE(plugin->SetKey(1, own.PublicText()));
  const std::optional<std::string> firstKey = plugin->GetKey(1);
  ASSERT_TRUE(plugin->SetKey(1, own.PublicText()));
  EXPECT_NE(plugin->GetKey(1), firstKey);
}

}  // namespace
}  // namespace velmorin
