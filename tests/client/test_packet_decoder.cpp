#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "client/PacketDecoder.hpp"
#include "codec/PacketWriter.hpp"
#include "support/ByteTexts.hpp"

namespace velmorin::client {

void PrintTo(const Packet& packet, std::ostream* out) {
  *out << ::testing::PrintToString(packet.command) << " / " << ::testing::PrintToString(packet.payload);
}

namespace {

using namespace std::string_literals;

using testing::AllByteValues;

const std::vector<Packet>& SamplePackets() {
  static const std::vector<Packet> packets = {
      {"ping", ""},
      {"login", "Anna\0\0" "255\0" "1.0\0" "0.6"s},
      {"message", "normal\0Anna\0" "0\0a\r\n\x02\r\nb"s},  // the separator inside a payload
      {"welcome", std::string(kPacketSeparator) + "\0\0"s},
      {"userlist", AllByteValues() + AllByteValues()},
      {"", "x"},  // the server never sends an empty command, but the framing allows it
  };
  return packets;
}

std::string Concatenated(const std::vector<Packet>& packets) {
  std::string stream;
  for (const Packet& packet : packets) stream += FramePacket(packet.command, packet.payload);
  return stream;
}

std::vector<Packet> PopAll(PacketDecoder& decoder) {
  std::vector<Packet> packets;
  while (auto packet = decoder.Pop()) packets.push_back(std::move(*packet));
  return packets;
}

TEST(PacketEncoding, WritesCommandLengthSeparatorPayload) {
  EXPECT_EQ(FramePacket("ping", ""), "ping\r\n0\r\n\x02\r\n");
  EXPECT_EQ(FramePacket("message", "server\0hi"s), "message\r\n9\r\n\x02\r\nserver\0hi"s);
  EXPECT_EQ(FramePacket("x", std::string(1234, 'a')).substr(0, 7), "x\r\n1234");
}

// However the stream is cut, the same packets come out in order, and each one as soon as its
// last byte is in.
TEST(PacketDecoding, AnyCutOfTheStreamGivesThePacketsInOrder) {
  const std::string stream = Concatenated(SamplePackets());
  std::vector<std::size_t> packetEnds;
  std::size_t end = 0;
  for (const Packet& packet : SamplePackets())
    packetEnds.push_back(end += FramePacket(packet.command, packet.payload).size());

  for (const std::size_t chunk : {1u, 2u, 3u, 5u, 7u, 64u, 100000u}) {
    SCOPED_TRACE("chunk size " + std::to_string(chunk));
    PacketDecoder decoder;
    std::vector<Packet> received;
    for (std::size_t fed = 0; fed < stream.size();) {
      const std::size_t size = std::min(chunk, stream.size() - fed);
      decoder.Feed(std::string_view(stream).substr(fed, size));
      fed += size;
      for (Packet& packet : PopAll(decoder)) {
        ASSERT_LT(received.size(), packetEnds.size());
        const std::size_t expectedEnd = packetEnds[received.size()];
        EXPECT_GE(fed, expectedEnd);
        EXPECT_LT(fed - size, expectedEnd) << "packet was complete one feed earlier";
        received.push_back(std::move(packet));
      }
    }
    EXPECT_EQ(received, SamplePackets());
    EXPECT_FALSE(decoder.Malformed());
    EXPECT_EQ(decoder.Buffered(), 0u);
  }
}

TEST(PacketDecoding, ManyPacketsInOneFeed) {
  std::vector<Packet> sent;
  for (int i = 0; i < 5000; ++i) sent.push_back({"message", "normal\0Anna\0" "0\0"s + std::to_string(i)});
  PacketDecoder decoder;
  decoder.Feed(Concatenated(sent));
  EXPECT_EQ(PopAll(decoder), sent);
  EXPECT_EQ(decoder.Buffered(), 0u);
}

TEST(PacketDecoding, KeepsAPartialPacketAfterCompletePackets) {
  const std::string next = FramePacket("message", "abcdef");
  PacketDecoder decoder;
  decoder.Feed(FramePacket("ping", "") + next.substr(0, 14));
  EXPECT_EQ(PopAll(decoder), (std::vector<Packet>{{"ping", ""}}));
  EXPECT_EQ(decoder.Buffered(), 14u);
  decoder.Feed(next.substr(14));
  EXPECT_EQ(PopAll(decoder), (std::vector<Packet>{{"message", "abcdef"}}));
}

// Limits small enough to reach: a header of 16 bytes, a payload of 10.
constexpr PacketLimits kSmall{16, static_cast<std::size_t>(-1), 10, true};

TEST(PacketDecoding, AcceptsPacketsAtTheLimits) {
  PacketDecoder decoder(kSmall);
  const std::string command(13, 'c');  // 13 + CR LF + "5" is a 16-byte header
  decoder.Feed(command + "\r\n5\r\n\x02\r\nhello" + "m\r\n010\r\n\x02\r\n0123456789");
  EXPECT_EQ(PopAll(decoder), (std::vector<Packet>{{command, "hello"}, {"m", "0123456789"}}));
  EXPECT_FALSE(decoder.Malformed());
}

TEST(PacketDecoding, StopsAtBadFraming) {
  struct Case {
    const char* name;
    std::string stream;
  };
  const Case cases[] = {
      {"no CR LF in the header", "ping0\r\n\x02\r\n"},
      {"CR LF inside the command", "a\r\nb\r\n1\r\n\x02\r\nx"},
      {"empty length", "ping\r\n\r\n\x02\r\n"},
      {"negative length", "ping\r\n-1\r\n\x02\r\nx"},
      {"length with a sign", "ping\r\n+1\r\n\x02\r\nx"},
      {"length not a number", "ping\r\nabc\r\n\x02\r\n"},
      {"length with a blank", "ping\r\n 1\r\n\x02\r\nx"},
      {"length over the limit", "ping\r\n11\r\n\x02\r\n"},
      {"length overflowing any integer", "ping\r\n99999999999999999999999999\r\n\x02\r\n"},
      {"header over the limit", std::string(14, 'c') + "\r\n5\r\n\x02\r\nhello"},
      {"no separator within the limit", std::string(21, 'x')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PacketDecoder decoder(kSmall);
    // A good packet in front is still delivered; the bad one stops the stream for good.
    decoder.Feed(FramePacket("ok", "1") + c.stream);
    EXPECT_EQ(decoder.Pop(), (Packet{"ok", "1"}));
    EXPECT_EQ(decoder.Pop(), std::nullopt);
    EXPECT_TRUE(decoder.Malformed());
    EXPECT_FALSE(decoder.Error().empty());
    EXPECT_EQ(decoder.Buffered(), 0u);
    decoder.Feed(FramePacket("ping", ""));
    EXPECT_EQ(decoder.Pop(), std::nullopt);
    EXPECT_EQ(decoder.Buffered(), 0u);
  }
}

// Bytes trickling in without a separator are held only up to the header limit: one byte more
// that cannot start the separator ends the stream.
TEST(PacketDecoding, GarbageIsCutOffAtTheHeaderLimit) {
  PacketDecoder decoder(kSmall);
  const std::size_t window = kSmall.maxHeader + 1;
  for (std::size_t fed = 1; fed < window; ++fed) {
    decoder.Feed("x");
    EXPECT_EQ(decoder.Pop(), std::nullopt);
    ASSERT_FALSE(decoder.Malformed()) << "after " << fed << " bytes";
  }
  decoder.Feed("x");
  EXPECT_EQ(decoder.Pop(), std::nullopt);
  EXPECT_TRUE(decoder.Malformed());
}

TEST(PacketDecoding, ResetStartsAFreshStream) {
  PacketDecoder decoder(kSmall);
  decoder.Feed("ping\r\nabc\r\n\x02\r\n");
  EXPECT_EQ(decoder.Pop(), std::nullopt);
  ASSERT_TRUE(decoder.Malformed());
  decoder.Reset();
  decoder.Feed(FramePacket("ping", ""));
  EXPECT_EQ(decoder.Pop(), (Packet{"ping", ""}));
  EXPECT_FALSE(decoder.Malformed());
}

}  // namespace
}  // namespace velmorin::client
