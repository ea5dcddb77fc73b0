// The whole server core, fed by several clients at once over an in-process transport.
//
// Input (fuzz/README.md has the details and examples):
//   raw:        a first line "#raw", or a first byte that is a letter: the input (after the
//               marker line) is client 0's byte stream, sent in one piece
//   structured: a sequence of operations, each a byte whose low 3 bits pick the client and
//               whose high 5 bits the kind:
//                 0-11   bytes: a 16-bit little-endian length, then that many bytes
//                 12-23  packet: a byte choosing the command, a 16-bit length, the payload
//                 24-25  login: a byte-length nickname; sent as a login with the protocol "0.6"
//                 26-27  the client closes its connection
//                 28     the client stops sending (half close)
//                 29     the client connects (when it is not connected) and nothing else
//                 30-31  time passes: the loop runs past the ping time-out (at most
//                        kMaxTimePassing times per input; later ones do nothing)
// The loop runs until idle after each operation, and the counters are checked against the
// connection table; after the input every connection is removed and the table must be empty.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "codec/PacketWriter.hpp"
#include "support/FuzzInput.hpp"
#include "support/InProcessServer.hpp"

namespace {

using velmorin::fuzz::FuzzInput;
using velmorin::fuzz::InProcessServer;

// Every command a client may send, and one the server does not know.
constexpr const char* kCommands[] = {
    "login",        "message",         "ping",           "pong",          "command",
    "abortFiletransfer", "acceptEncryptionkey", "acceptFiles", "awaymessage", "clientPluginData",
    "createChatroom", "encryptionkey", "fileRequest",    "findPerson",    "getAwayMessage",
    "getChatroomlist", "getEncryptionlist", "getUserlist", "joinChatroom", "pluginResponse",
    "quit",         "serverPluginData", "setClientState", "setColor",     "setEncryption",
    "noSuchCommand",
};
constexpr std::size_t kCommandCount = sizeof kCommands / sizeof kCommands[0];

// The rest of the input after a "#raw" line, or the whole input when it starts with a letter;
// nothing when the input is structured.
bool RawStream(std::string_view input, std::string_view& stream) {
  if (input.substr(0, 4) == "#raw") {
    const std::size_t end = input.find('\n');
    stream = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
    return true;
  }
  const char first = input.empty() ? '\0' : input.front();
  if ((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z')) {
    stream = input;
    return true;
  }
  return false;
}

// Each passing of time costs milliseconds of real time: a few per input keep inputs fast.
constexpr int kMaxTimePassing = 2;

void RunOperation(InProcessServer& core, FuzzInput& input, int& timePassed) {
  const std::uint8_t operation = input.Byte();
  const int client = operation & 7;
  const int kind = operation >> 3;
  if (kind < 12) {
    core.Send(client, input.Bytes(input.Word()));
  } else if (kind < 24) {
    const char* command = kCommands[input.Byte() % kCommandCount];
    core.Send(client, velmorin::FramePacket(command, input.Bytes(input.Word())));
  } else if (kind < 26) {
    // nickname, proof (none), colour, client version, protocol version
    std::string login(input.ShortText());
    login.append(1, '\0').append(1, '\0').append("255").append(1, '\0').append("fuzz 1.0").append(1, '\0').append("0.6");
    core.Send(client, velmorin::FramePacket("login", login));
  } else if (kind < 28) {
    core.Close(client);
  } else if (kind == 28) {
    core.Close(client, true);
  } else if (kind == 29) {
    core.Connect(client);
  } else if (timePassed < kMaxTimePassing) {
    ++timePassed;
    core.LetTimePass();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  InProcessServer& core = InProcessServer::Instance();
  std::string_view stream;
  if (RawStream(std::string_view(reinterpret_cast<const char*>(data), size), stream)) {
    core.Send(0, stream);
    core.RunUntilIdle();
    core.CheckInvariants();
  } else {
    FuzzInput input(data, size);
    int timePassed = 0;
    while (!input.empty()) {
      RunOperation(core, input, timePassed);
      core.RunUntilIdle();
      core.CheckInvariants();
    }
  }
  core.Reset();
  return 0;
}
