// The shipped encryption plugin's channel: opening arbitrary sealed text never succeeds and
// never disturbs the channel (the next genuine payload still opens), genuine payloads open to
// what was sealed, and a peer key from the input is refused or agreed without harm.
//
// Input: operations until the input ends, a byte each: even: open the next 16-bit-length run
// as sealed text from the client; odd: the client seals the run and the server must open it.
// Before them, the whole input is tried as the client's public key.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sealed_channel/SecureChannel.hpp"
#include "support/FuzzCheck.hpp"
#include "support/FuzzInput.hpp"

namespace {

using velmorin::channel::KeyPair;
using velmorin::channel::SecureChannel;

struct Peers {
  KeyPair clientKeys;
  KeyPair serverKeys;
  SecureChannel client;
  SecureChannel server;
};

// One agreed pair of channels for the whole run; each input starts from fresh copies.
const Peers& Agreed() {
  static const Peers* peers = [] {
    FUZZ_CHECK(velmorin::channel::InitialiseCrypto());
    KeyPair clientKeys;
    KeyPair serverKeys;
    auto client = SecureChannel::Establish(SecureChannel::Side::Client, clientKeys, serverKeys.PublicText());
    auto server = SecureChannel::Establish(SecureChannel::Side::Server, serverKeys, clientKeys.PublicText());
    FUZZ_CHECK(client.has_value() && server.has_value());
    return new Peers{clientKeys, serverKeys, *client, *server};
  }();
  return *peers;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Peers& agreed = Agreed();
  const std::string_view whole(reinterpret_cast<const char*>(data), size);
  SecureChannel::Establish(SecureChannel::Side::Server, agreed.serverKeys, whole);

  SecureChannel client = agreed.client;
  SecureChannel server = agreed.server;
  velmorin::fuzz::FuzzInput input(data, size);
  while (!input.empty()) {
    const bool genuine = (input.Byte() & 1) != 0;
    const std::string_view text = input.Bytes(input.Word());
    if (genuine) {
      const std::optional<std::string> opened = server.Open(client.Seal(text));
      FUZZ_CHECK(opened.has_value() && *opened == text);
    } else {
      FUZZ_CHECK(!server.Open(text).has_value());
    }
  }
  // After whatever was refused, the next genuine payload still opens.
  FUZZ_CHECK(server.Open(client.Seal("after")) == std::optional<std::string>("after"));
  return 0;
}
