// How the server cuts packets out of a client's byte stream, seen from the client: what it
// answers, and which streams end the connection.

#include <gtest/gtest.h>

#include "client/PacketDecoder.hpp"
#include "codec/PacketWriter.hpp"
#include "support/ServerHarness.hpp"

namespace velmorin {
namespace {

using testing::kWait;
using testing::ServerHarness;

const std::string kSeparator(kPacketSeparator);

// A "ping" packet whose length text is padded with leading zeros to make a header of the given
// size: the separator then starts at headerSize + 1.
std::string PingWithHeaderOf(std::size_t headerSize) {
  const std::string command = "ping\r\n";
  return command + std::string(headerSize - command.size(), '0') + kSeparator;
}

// A "ping" packet of exactly `total` bytes (header, separator and payload).
std::string PingOfSize(std::size_t total) {
  const std::size_t header = std::string("ping\r\n").size() + std::to_string(total).size();
  const std::size_t payload = total - header - kSeparator.size();
  std::string packet = "ping\r\n" + std::to_string(payload) + kSeparator + std::string(payload, 'x');
  return packet;
}

class ServerFraming : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.Start());
    client = server.LoggedIn("Framer");
  }
  // The server answered a ping, so it read the packet and kept the connection.
  bool Answered() { return client.ReceiveCommand("pong", kWait).has_value(); }

  ServerHarness server;
  client::ChatClient client;
};

TEST_F(ServerFraming, AnEmptyPingIsAPacketAndTwoPacketsInOneWriteAreBothHandled) {
  ASSERT_TRUE(client.SendRaw(std::string("ping\r\n0") + kSeparator));
  EXPECT_TRUE(Answered());
  ASSERT_TRUE(client.SendRaw(FramePacket("ping", "a") + FramePacket("ping", "b")));
  EXPECT_TRUE(Answered());
  EXPECT_TRUE(Answered());
}

TEST_F(ServerFraming, APayloadIsTakenByItsLengthWhateverItHolds) {
  const std::string inner = std::string("ping\r\n0") + kSeparator;
  ASSERT_TRUE(client.SendRaw(FramePacket("ping", kSeparator + inner + std::string(1, '\0'))));
  ASSERT_TRUE(client.Send("ping", ""));
  EXPECT_TRUE(Answered());
  EXPECT_TRUE(Answered());
  server.Sync();
  EXPECT_FALSE(client.Receive(std::chrono::milliseconds(0)));  // no third answer
}

TEST_F(ServerFraming, APacketArrivingOneByteAtATimeIsHandledWhenItsLastByteArrives) {
  const std::string packet = FramePacket("ping", "payload");
  for (std::size_t i = 0; i + 1 < packet.size(); ++i) {
    ASSERT_TRUE(client.SendRaw(packet.substr(i, 1)));
    server.Sync();
  }
  EXPECT_FALSE(client.Receive(std::chrono::milliseconds(0)));
  ASSERT_TRUE(client.SendRaw(packet.substr(packet.size() - 1)));
  EXPECT_TRUE(Answered());
}

TEST_F(ServerFraming, HeaderLimits) {
  // 128 bytes without a separator wait for more.
  const std::string late = PingWithHeaderOf(129);
  ASSERT_TRUE(client.SendRaw(late.substr(0, 128)));
  server.Sync();
  ASSERT_TRUE(client.SendRaw(late.substr(128)));
  EXPECT_TRUE(Answered());
  // A read that ends inside a separator near the limit waits for the rest of it.
  const std::string longest = PingWithHeaderOf(132);
  ASSERT_TRUE(client.SendRaw(longest.substr(0, 134)));
  server.Sync();
  ASSERT_TRUE(client.SendRaw(longest.substr(134)));
  EXPECT_TRUE(Answered());
  // A separator starting at position 133 still counts.
  ASSERT_TRUE(client.SendRaw(PingWithHeaderOf(132)));
  EXPECT_TRUE(Answered());
}

TEST_F(ServerFraming, APacketOfTheLargestSizeIsTaken) {
  ASSERT_EQ(PingOfSize(131072).size(), 131072u);
  ASSERT_TRUE(client.SendRaw(PingOfSize(131072)));
  EXPECT_TRUE(Answered());
}

// Each stream breaks the format: the server logs it and closes the connection, without reply.
TEST(ServerInvalidFraming, EndsTheConnection) {
  ServerHarness server;
  ASSERT_TRUE(server.Start());
  const std::string oversized = PingOfSize(131073);
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"133 bytes that leave no place for a separator", std::string(133, 'x')},
      {"a separator starting at position 134", PingWithHeaderOf(133)},
      {"a negative length", "ping\r\n-1" + kSeparator},
      {"three header elements", "pi\r\nng\r\n0" + kSeparator},
      {"one header element", "ping" + kSeparator},
      {"131073 bytes, before the payload", oversized.substr(0, oversized.find(kSeparator) + kSeparator.size())},
  };
  int closed = 0;
  for (const Case& c : cases) {
    auto client = server.LoggedIn(std::string("Bad") + std::to_string(closed));
    ASSERT_TRUE(client.SendRaw(c.bytes)) << c.what;
    EXPECT_TRUE(client.WaitForClose(kWait)) << c.what;
    EXPECT_TRUE(client.TakePending().empty()) << c.what;
    ++closed;
    server.Sync();
    EXPECT_EQ(server.CountLog("msgErrorInvalidData"), closed) << c.what;
  }
}

TEST(ServerInvalidFraming, ALengthThatDoesNotConvertIsReportedAsAnErrorAndEndsTheConnection) {
  ServerHarness server;
  ASSERT_TRUE(server.Start());
  int failures = 0;
  for (const std::string length : {"abc", "99999999999"}) {
    auto client = server.Connect();
    ASSERT_TRUE(client.ReceiveWelcome(kWait));
    ASSERT_TRUE(client.SendRaw("ping\r\n" + length + kSeparator));
    EXPECT_TRUE(client.WaitForClose(kWait)) << length;
    ++failures;
    server.Sync();
    EXPECT_EQ(server.CountLog("msgErrorRaised"), failures) << length;
    EXPECT_EQ(server.CountLog("msgErrorInvalidData", {{"%id", "1"}}), failures) << length;
  }
}

}  // namespace
}  // namespace velmorin
