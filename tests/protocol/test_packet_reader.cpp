#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "codec/PacketReader.hpp"
#include "codec/PacketWriter.hpp"
#include "platform/ByteBuffer.hpp"

namespace velmorin {
namespace {

using namespace std::string_literals;

const std::string kSep = "\r\n\x02\r\n"s;

// What one Read call gave.
struct Outcome {
  ReadResult result = ReadResult::NeedMore;
  std::string command;
  std::string payload;
  long errorNumber = 0;

  bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& o, std::ostream* os) {
  switch (o.result) {
    case ReadResult::NeedMore: *os << "NeedMore"; return;
    case ReadResult::Invalid: *os << "Invalid"; return;
    case ReadResult::LengthError: *os << "LengthError " << o.errorNumber; return;
    case ReadResult::Packet: break;
  }
  *os << "Packet \"" << o.command << "\" with " << o.payload.size() << " characters";
  if (o.payload.size() <= 40) {
    *os << " [";
    for (const char c : o.payload) {
      if (c >= 0x20 && c < 0x7F) *os << c;
      else *os << "\\x" << std::hex << (static_cast<unsigned>(c) & 0xFF) << std::dec;
    }
    *os << "]";
  }
}

Outcome Packet(std::string command, std::string payload) {
  return {ReadResult::Packet, std::move(command), std::move(payload), 0};
}
const Outcome kMore{ReadResult::NeedMore, {}, {}, 0};
const Outcome kInvalid{ReadResult::Invalid, {}, {}, 0};
Outcome LengthError(long number) { return {ReadResult::LengthError, {}, {}, number}; }

// Appends each chunk, then reads packets until the reader needs more, consuming each; stops
// for good at the first broken stream, as the connection would end there.
std::vector<Outcome> Read(const std::vector<std::string>& chunks) {
  ByteBuffer input;
  PacketReader reader;
  std::vector<Outcome> outcomes;
  for (const std::string& chunk : chunks) {
    input.Append(chunk);
    for (;;) {
      PacketView packet;
      Outcome outcome;
      outcome.result = reader.Read(input.View(), packet);
      if (outcome.result == ReadResult::Packet) {
        outcome.command = packet.command;
        outcome.payload = packet.payload;
        input.Consume(packet.size);
      }
      if (outcome.result == ReadResult::LengthError) outcome.errorNumber = reader.ErrorNumber();
      outcomes.push_back(outcome);
      if (outcome.result == ReadResult::Packet) continue;
      if (outcome.result != ReadResult::NeedMore) return outcomes;
      break;
    }
  }
  return outcomes;
}

std::vector<std::string> OneByteAtATime(const std::string& bytes) {
  std::vector<std::string> chunks;
  for (const char c : bytes) chunks.emplace_back(1, c);
  return chunks;
}

// What reading `packets` one byte per read gives: each packet exactly with its last byte.
std::vector<Outcome> TrickledOutcomes(const std::vector<std::pair<std::string, std::string>>& packets) {
  std::vector<Outcome> outcomes;
  for (const auto& [command, payload] : packets) {
    outcomes.insert(outcomes.end(), FramePacket(command, payload).size() - 1, kMore);
    outcomes.push_back(Packet(command, payload));
    outcomes.push_back(kMore);
  }
  return outcomes;
}

// A header of exactly `headerLength` characters: a padded command, CR LF, the length "0", so the
// separator starts at position headerLength + 1.
std::string HeaderOfLength(std::size_t headerLength) {
  return std::string(headerLength - 3, 'c') + "\r\n0";
}

// The header of a packet of `total` characters whose command is "big".
std::string HeaderForPacketOf(long total) {
  // "big" CR LF and a six-digit length: 11 characters, so the payload is total - 16.
  const std::string header = "big\r\n" + std::to_string(total - 16);
  EXPECT_EQ(header.size(), 11u);
  return header;
}

TEST(PacketReader, CutsPacketsAsTheyArrive) {
  const std::string ping = "ping\r\n0" + kSep;
  const std::string message = FramePacket("message", "hello\0world"s);
  const std::string awkward = "x\r\n12" + kSep + "a" + kSep + "\0b\0\r\n\x02"s;  // 12 characters
  const std::string big = HeaderForPacketOf(kMaxPacketLength) + kSep;
  const std::string tooBig = HeaderForPacketOf(kMaxPacketLength + 1) + kSep;
  const std::string largePayload(kMaxPacketLength - 16, 'p');
  // A front packet large enough that the reader drops its consumed bytes on the next append.
  const std::string bulky = FramePacket("bulky", std::string(200, 'b'));

  struct Case {
    const char* name;
    std::vector<std::string> chunks;
    std::vector<Outcome> expected;
  };
  const std::vector<Case> cases = {
      {"an empty payload ends with the separator", {ping}, {Packet("ping", ""), kMore}},
      {"two packets in one read come out in order",
       {ping + message},
       {Packet("ping", ""), Packet("message", "hello\0world"s), kMore}},
      {"nothing before anything arrived", {""}, {kMore}},
      {"two packets one byte per read each come out with their last byte",
       OneByteAtATime(ping + message),
       TrickledOutcomes({{"ping", ""}, {"message", "hello\0world"s}})},
      {"a payload holding the separator and NUL is taken by length",
       {awkward + ping},
       {Packet("x", "a" + kSep + "\0b\0\r\n\x02"s), Packet("ping", ""), kMore}},
      {"a packet split inside its header", {"mess", "age\r\n3\r", "\n\x02\r\nabc"},
       {kMore, kMore, Packet("message", "abc"), kMore}},
      {"a packet split inside its payload after another was taken",
       {bulky + "say\r\n6" + kSep + "abc", "def"},
       {Packet("bulky", std::string(200, 'b')), kMore, Packet("say", "abcdef"), kMore}},
      {"a waiting packet counts only what follows the taken packets",
       {ping + "say\r\n30" + kSep + "abc", std::string(20, 'd'), "eeeeeee"},
       {Packet("ping", ""), kMore, kMore, Packet("say", "abc" + std::string(20, 'd') + "eeeeeee"), kMore}},
      {"a header split after another packet was taken",
       {bulky + "sa", "y\r\n3" + kSep + "xyz"},
       {Packet("bulky", std::string(200, 'b')), kMore, Packet("say", "xyz"), kMore}},

      {"132 characters without a separator wait", {std::string(132, 'a')}, {kMore}},
      {"a 133rd character that cannot start a separator is invalid",
       {std::string(132, 'a'), "a"},
       {kMore, kInvalid}},
      {"133 characters at once without a separator are invalid", {std::string(133, 'a')}, {kInvalid}},
      {"a separator begun at position 133 waits for its end",
       {std::string(132, 'a') + "\r\n\x02\r"},
       {kMore}},
      {"a separator begun at position 134 is invalid at once", {std::string(133, 'a') + "\r"}, {kInvalid}},
      {"a 128-character header waits for its separator",
       {HeaderOfLength(128), kSep},
       {kMore, Packet(std::string(125, 'c'), ""), kMore}},
      {"the allowed positions count only what follows the taken packets",
       {ping + std::string(132, 'a'), "a"},
       {Packet("ping", ""), kMore, kInvalid}},
      {"a separator at position 133 is accepted",
       {HeaderOfLength(132) + kSep},
       {Packet(std::string(129, 'c'), ""), kMore}},
      {"a separator at position 134 is invalid", {HeaderOfLength(133) + kSep}, {kInvalid}},

      {"a CR LF inside the command makes three header elements",
       {"pi\r\nng\r\n0" + kSep},
       {kInvalid}},
      {"a header without CR LF is one element", {"ping0" + kSep}, {kInvalid}},
      {"an empty header is one element", {kSep}, {kInvalid}},

      {"a packet of 131072 characters is accepted",
       {big, largePayload},
       {kMore, Packet("big", largePayload), kMore}},
      {"a packet of 131073 characters is invalid from its header alone", {tooBig}, {kInvalid}},
      {"a negative length is invalid", {"ping\r\n-1" + kSep}, {kInvalid}},
      {"a length that is no number is a type mismatch", {"ping\r\nabc" + kSep}, {LengthError(13)}},
      {"an empty length is a type mismatch", {"ping\r\n" + kSep}, {LengthError(13)}},
      {"a length beyond 32 bits overflows", {"ping\r\n4294967296" + kSep}, {LengthError(6)}},
      {"a huge length overflows", {"ping\r\n99999999999999999999999" + kSep}, {LengthError(6)}},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Read(c.chunks), c.expected);
  }
}

// What a stream amounts to once every byte is in: the packets taken and how the reader ended,
// without the "need more" answers between reads.
std::vector<Outcome> Settled(const std::vector<Outcome>& outcomes) {
  std::vector<Outcome> settled;
  for (const Outcome& outcome : outcomes) {
    if (outcome.result != ReadResult::NeedMore) settled.push_back(outcome);
  }
  if (!outcomes.empty() && outcomes.back().result == ReadResult::NeedMore) settled.push_back(kMore);
  return settled;
}

TEST(PacketReader, TheVerdictDoesNotDependOnHowTheBytesAreSplit) {
  const std::string ping = "ping\r\n0" + kSep;
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<Outcome> expected;
  };
  std::vector<Case> cases;
  for (std::size_t header = 124; header <= 132; ++header) {
    cases.push_back({"a header near the limit", HeaderOfLength(header) + kSep + ping,
                     {Packet(std::string(header - 3, 'c'), ""), Packet("ping", ""), kMore}});
  }
  cases.push_back({"a header one past the limit", HeaderOfLength(133) + kSep, {kInvalid}});
  cases.push_back({"a separator broken off at position 133", std::string(132, 'a') + "\r\n\x02\rx", {kInvalid}});
  cases.push_back({"a separator begun at 133 that is still open", std::string(132, 'a') + "\r\n", {kMore}});
  cases.push_back({"a separator after a false start", "ping\r\n0\r\n\r\n\x02\r\n", {kInvalid}});
  cases.push_back({"a false start before the separator",
                   std::string(124, 'a') + "\r\n0\r\n\x02\r" + kSep, {kInvalid}});
  cases.push_back({"a length error near the limit", std::string(125, 'c') + "\r\nab" + kSep, {LengthError(13)}});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + std::string(", ") + std::to_string(c.bytes.size()) + " bytes");
    ASSERT_EQ(Settled(Read({c.bytes})), c.expected);
    for (std::size_t cut = 1; cut < c.bytes.size(); ++cut) {
      ASSERT_EQ(Settled(Read({c.bytes.substr(0, cut), c.bytes.substr(cut)})), c.expected) << "cut after " << cut;
    }
    // Three reads, the second ending anywhere around the limit.
    for (std::size_t first = 1; first < 120; first += 17) {
      for (std::size_t second = 120; second < std::min<std::size_t>(c.bytes.size(), 140); ++second) {
        const std::vector<std::string> chunks = {c.bytes.substr(0, first), c.bytes.substr(first, second - first),
                                                 c.bytes.substr(second)};
        ASSERT_EQ(Settled(Read(chunks)), c.expected) << "cuts after " << first << " and " << second;
      }
    }
    EXPECT_EQ(Settled(Read(OneByteAtATime(c.bytes))), c.expected) << "one byte per read";
  }
}

TEST(PacketReader, PacketArrivingByteByByteComesOutWithItsLastByte) {
  const std::string wire = FramePacket("message", "0\0hi there"s);
  ByteBuffer input;
  PacketReader reader;
  for (std::size_t i = 0; i < wire.size(); ++i) {
    SCOPED_TRACE("byte " + std::to_string(i + 1) + " of " + std::to_string(wire.size()));
    input.Append(wire.substr(i, 1));
    // The header is parsed once, when the separator's last byte arrives; from then on the
    // reader only waits for the length.
    const bool separatorComplete = i + 1 >= wire.find(kSep) + kSep.size();
    PacketView packet;
    const ReadResult result = reader.Read(input.View(), packet);
    if (i + 1 < wire.size()) {
      ASSERT_EQ(result, ReadResult::NeedMore);
      EXPECT_EQ(reader.Waiting(), separatorComplete);
    } else {
      ASSERT_EQ(result, ReadResult::Packet);
      EXPECT_EQ(packet.command, "message");
      EXPECT_EQ(packet.payload, "0\0hi there"s);
      EXPECT_EQ(packet.size, wire.size());
      EXPECT_FALSE(reader.Waiting());
      input.Consume(packet.size);
      EXPECT_EQ(input.size(), 0u);
    }
  }
}

TEST(PacketReader, FramedPacketsReadBackUnchanged) {
  EXPECT_EQ(FramePacket("ping", ""), "ping\r\n0" + kSep);
  EXPECT_EQ(FramePacket("message", "0123456789"), "message\r\n10" + kSep + "0123456789");

  const std::vector<std::pair<std::string, std::string>> packets = {
      {"ping", ""},
      {"login", "nick\0proof\0" "255\0" "0.6"s},
      {"message", "line one\r\nline two" + kSep + "\x01\0"s},
      {"bulk", std::string(100000, '\xE4')},
  };
  std::string wire;
  std::vector<Outcome> expected;
  for (const auto& [command, payload] : packets) {
    wire += FramePacket(command, payload);
    expected.push_back(Packet(command, payload));
  }
  expected.push_back(kMore);
  EXPECT_EQ(Read({wire}), expected);
}

TEST(PacketReader, AnEmptiedBufferGivesBackWhatABurstMadeItGrowTo) {
  std::string burst;
  while (burst.size() < 8 * static_cast<std::size_t>(kMaxPacketLength)) burst += FramePacket("ping", std::string(1000, 'p'));
  // The kept capacity a server connection's input has.
  ByteBuffer input(2 * static_cast<std::size_t>(kMaxPacketLength));
  PacketReader reader;
  input.Append(burst);
  PacketView packet;
  while (reader.Read(input.View(), packet) == ReadResult::Packet) input.Consume(packet.size);
  EXPECT_EQ(input.size(), 0u);
  EXPECT_LE(input.capacity(), 2 * static_cast<std::size_t>(kMaxPacketLength));
}

TEST(PacketReader, ConsumedBytesDoNotPileUp) {
  // Half a packet first, then one packet's worth per read: the buffer never runs empty, so the
  // consumed front must be dropped while unconsumed bytes remain.
  const std::string packet = FramePacket("message", std::string(20, 'm'));
  std::string stream;
  for (int i = 0; i < 20000; ++i) stream += packet;

  ByteBuffer input;
  PacketReader reader;
  std::size_t taken = 0;
  std::size_t largestBuffer = 0;
  std::size_t offset = 0;
  for (std::size_t chunkSize = packet.size() / 2; offset < stream.size(); chunkSize = packet.size()) {
    input.Append(std::string_view(stream).substr(offset, chunkSize));
    offset += chunkSize;
    largestBuffer = std::max(largestBuffer, input.capacity());
    PacketView out;
    ReadResult result;
    while ((result = reader.Read(input.View(), out)) == ReadResult::Packet) {
      input.Consume(out.size);
      ++taken;
    }
    ASSERT_EQ(result, ReadResult::NeedMore);
  }
  EXPECT_EQ(taken, 20000u);
  EXPECT_EQ(input.size(), 0u);
  EXPECT_LE(largestBuffer, 4 * packet.size()) << "the consumed prefix is kept";
}

}  // namespace
}  // namespace velmorin
