// The packet reader fed the same stream in chunks of sizes taken from the input, checked
// against feeding it in one piece: the packets, the way the stream ends (waiting for more,
// invalid, or a length error) and what is left buffered must be the same however the bytes are
// split, and the reader's offsets stay inside its buffer, which stays bounded.
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
#include "support/FuzzCheck.hpp"
#include "support/FuzzInput.hpp"

namespace {

using velmorin::ReadPacket;
using velmorin::ReadResult;
using velmorin::ReceiveState;

struct Outcome {
  std::vector<ReadPacket> packets;
  ReadResult end = ReadResult::NeedMore;
  long errorNumber = 0;
  std::size_t buffered = 0;  // unconsumed bytes when the stream ended waiting for more
};

constexpr std::size_t kMaxChunk = 256;

void CheckState(const ReceiveState& state) {
  FUZZ_CHECK(state.Start <= state.Buffer.size());
  if (state.Waiting) {
    FUZZ_CHECK(state.Header.size() == 2);
    FUZZ_CHECK(state.SeparatorPos >= 1 && state.SeparatorPos <= 133);
    FUZZ_CHECK(state.PacketLength >= state.SeparatorPos + 4);
    FUZZ_CHECK(state.PacketLength <= velmorin::kMaxPacketLength);
    FUZZ_CHECK(static_cast<std::size_t>(state.PacketLength) > state.Buffered());
  }
}

// Takes packets until the reader needs more or the stream is over; false when it is over.
bool TakeAll(ReceiveState& state, Outcome& outcome) {
  while (true) {
    ReadPacket packet;
    std::string errorText;
    const ReadResult result = velmorin::TakePacket(state, packet, outcome.errorNumber, errorText);
    CheckState(state);
    if (result == ReadResult::Packet) {
      FUZZ_CHECK(packet.command.find("\r\n") == std::string::npos);
      FUZZ_CHECK(packet.command.size() <= 132);
      FUZZ_CHECK(packet.payload.size() <= static_cast<std::size_t>(velmorin::kMaxPacketLength));
      outcome.packets.push_back(std::move(packet));
      continue;
    }
    outcome.end = result;
    if (result == ReadResult::LengthError) FUZZ_CHECK(outcome.errorNumber == 6 || outcome.errorNumber == 13);
    if (result != ReadResult::NeedMore) return false;
    // Waiting for more: never more than one packet's worth unconsumed.
    FUZZ_CHECK(state.Buffered() < static_cast<std::size_t>(velmorin::kMaxPacketLength));
    outcome.buffered = state.Buffered();
    return true;
  }
}

Outcome InOnePiece(std::string_view stream) {
  Outcome outcome;
  ReceiveState state;
  velmorin::AppendReceived(state, stream);
  TakeAll(state, outcome);
  return outcome;
}

Outcome InChunks(std::string_view stream, const std::vector<std::size_t>& sizes) {
  Outcome outcome;
  ReceiveState state;
  for (std::size_t chunk = 0; !stream.empty(); ++chunk) {
    const std::size_t size = std::min(sizes[chunk % sizes.size()], stream.size());
    velmorin::AppendReceived(state, stream.substr(0, size));
    stream.remove_prefix(size);
    // The consumed front is dropped once it dominates: the buffer holds at most about twice
    // the unconsumed bytes plus one chunk.
    FUZZ_CHECK(state.Buffer.size() <= 2 * static_cast<std::size_t>(velmorin::kMaxPacketLength) + kMaxChunk);
    if (!TakeAll(state, outcome)) break;
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
