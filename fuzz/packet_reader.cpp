// The packet reader fed the same stream in chunks of sizes taken from the input, checked
// against feeding it in one piece: the packets, the way the stream ends (waiting for more,
// invalid, or a length error) and what is left buffered must be the same however the bytes are
// split, the packets' views lie inside the input, and the buffer stays bounded.
//
// Input: a byte n, then n % 8 + 1 chunk sizes (a byte each, size = byte + 1, used in turn
// again and again), then the stream.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "codec/PacketReader.hpp"
#include "platform/ByteBuffer.hpp"
#include "support/FuzzCheck.hpp"
#include "support/FuzzInput.hpp"

namespace {

using velmorin::ByteBuffer;
using velmorin::PacketReader;
using velmorin::PacketView;
using velmorin::ReadResult;

struct TakenPacket {
  std::string command;
  std::string payload;
};

struct Outcome {
  std::vector<TakenPacket> packets;
  ReadResult end = ReadResult::NeedMore;
  long errorNumber = 0;
  std::size_t buffered = 0;  // unconsumed bytes when the stream ended waiting for more
};

constexpr std::size_t kMaxChunk = 256;

bool Inside(std::string_view part, std::string_view whole) {
  return part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size();
}

// Takes packets until the reader needs more or the stream is over; false when it is over.
bool TakeAll(PacketReader& reader, ByteBuffer& input, Outcome& outcome) {
  while (true) {
    PacketView packet;
    const std::string_view bytes = input.View();
    const ReadResult result = reader.Read(bytes, packet);
    if (result == ReadResult::Packet) {
      FUZZ_CHECK(packet.size <= bytes.size());
      FUZZ_CHECK(Inside(packet.command, bytes) && Inside(packet.payload, bytes));
      FUZZ_CHECK(packet.command.data() == bytes.data());
      FUZZ_CHECK(packet.payload.data() + packet.payload.size() == bytes.data() + packet.size);
      FUZZ_CHECK(packet.command.find("\r\n") == std::string::npos);
      FUZZ_CHECK(packet.command.size() <= 132);
      FUZZ_CHECK(packet.size <= static_cast<std::size_t>(velmorin::kMaxPacketLength));
      outcome.packets.push_back({std::string(packet.command), std::string(packet.payload)});
      input.Consume(packet.size);
      continue;
    }
    outcome.end = result;
    if (result == ReadResult::LengthError) {
      outcome.errorNumber = reader.ErrorNumber();
      FUZZ_CHECK(outcome.errorNumber == 6 || outcome.errorNumber == 13);
    }
    if (result != ReadResult::NeedMore) return false;
    // Waiting for more: never more than one packet's worth unconsumed.
    FUZZ_CHECK(input.size() < static_cast<std::size_t>(velmorin::kMaxPacketLength));
    outcome.buffered = input.size();
    return true;
  }
}

Outcome InOnePiece(std::string_view stream) {
  Outcome outcome;
  ByteBuffer input;
  PacketReader reader;
  input.Append(stream);
  TakeAll(reader, input, outcome);
  return outcome;
}

Outcome InChunks(std::string_view stream, const std::vector<std::size_t>& sizes) {
  Outcome outcome;
  ByteBuffer input;
  PacketReader reader;
  for (std::size_t chunk = 0; !stream.empty(); ++chunk) {
    const std::size_t size = std::min(sizes[chunk % sizes.size()], stream.size());
    input.Append(stream.substr(0, size));
    stream.remove_prefix(size);
    // The consumed front is dropped once it dominates: the allocation holds at most a small
    // multiple of the unconsumed bytes plus one chunk.
    FUZZ_CHECK(input.capacity() <= 4 * static_cast<std::size_t>(velmorin::kMaxPacketLength) + 2 * kMaxChunk);
    if (!TakeAll(reader, input, outcome)) break;
  }
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velmorin::fuzz::FuzzInput input(data, size);
  std::vector<std::size_t> sizes(input.Byte() % 8 + 1);
  for (std::size_t& chunk : sizes) chunk = static_cast<std::size_t>(input.Byte()) + 1;
  const std::string_view stream = input.Rest();

  const Outcome whole = InOnePiece(stream);
  const Outcome split = InChunks(stream, sizes);
  // The decision must not depend on how the bytes arrived.
  FUZZ_CHECK(split.packets.size() == whole.packets.size());
  for (std::size_t i = 0; i < whole.packets.size(); ++i) {
    FUZZ_CHECK(split.packets[i].command == whole.packets[i].command);
    FUZZ_CHECK(split.packets[i].payload == whole.packets[i].payload);
  }
  FUZZ_CHECK(split.end == whole.end);
  if (whole.end == ReadResult::LengthError) FUZZ_CHECK(split.errorNumber == whole.errorNumber);
  if (whole.end == ReadResult::NeedMore) FUZZ_CHECK(split.buffered == whole.buffered);
  return 0;
}
