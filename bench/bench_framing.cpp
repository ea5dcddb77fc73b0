#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "codec/PacketReader.hpp"
#include "codec/PacketWriter.hpp"
#include "platform/ByteBuffer.hpp"

namespace velmorin {
namespace {

// A packet of exactly `total` characters (header, separator and payload).
std::string PacketOfSize(std::size_t total) {
  std::string header = "big\r\n";
  std::size_t payload = total - header.size() - 5;
  // The length text's own digits shrink the payload; settle on the width that fits.
  while (header.size() + std::to_string(payload).size() + 5 + payload != total) --payload;
  return FramePacket("big", std::string(payload, 'x'));
}

// Each case twice: through PacketReader alone, which gives views into the buffer that the caller
// consumes, and as the server reads, which also copies each payload once into memory that keeps
// its room from packet to packet, to show what that one copy costs.

// The worst way a packet can arrive: one byte per read, with a take after each. Every call must
// cost the same whatever is already buffered, so bytes/second stays flat from 8 KiB to 128 KiB.
void BM_PacketOneBytePerReadAsViews(benchmark::State& state) {
  const std::string wire = PacketOfSize(static_cast<std::size_t>(state.range(0)));
  std::int64_t packets = 0;
  for (auto _ : state) {
    ByteBuffer input;
    PacketReader reader;
    PacketView packet;
    for (std::size_t i = 0; i < wire.size(); ++i) {
      input.Append(std::string_view(wire).substr(i, 1));
      if (reader.Read(input.View(), packet) == ReadResult::Packet) {
        benchmark::DoNotOptimize(packet.payload.data());
        input.Consume(packet.size);
        ++packets;
      }
    }
  }
  if (packets != state.iterations()) state.SkipWithError("the packet did not come out exactly once");
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(wire.size()));
}
BENCHMARK(BM_PacketOneBytePerReadAsViews)->RangeMultiplier(2)->Range(8 << 10, 128 << 10);

void BM_PacketOneBytePerReadWithPayloadCopy(benchmark::State& state) {
  const std::string wire = PacketOfSize(static_cast<std::size_t>(state.range(0)));
  std::int64_t packets = 0;
  for (auto _ : state) {
    ByteBuffer input;
    PacketReader reader;
    PacketView packet;
    std::string room;
    for (std::size_t i = 0; i < wire.size(); ++i) {
      input.Append(std::string_view(wire).substr(i, 1));
      if (reader.Read(input.View(), packet) == ReadResult::Packet) {
        room.assign(packet.payload);
        input.Consume(packet.size);
        ++packets;
      }
    }
    benchmark::DoNotOptimize(room.data());
  }
  if (packets != state.iterations()) state.SkipWithError("the packet did not come out exactly once");
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(wire.size()));
}
BENCHMARK(BM_PacketOneBytePerReadWithPayloadCopy)->RangeMultiplier(2)->Range(8 << 10, 128 << 10);

// Many small packets in one read, taken one by one: each take must cost the same however many
// are still queued behind it, so items/second stays flat from 1,000 to 100,000 packets.
// Second argument: payload characters per packet (0 is a bare "ping").
std::string SmallPackets(std::int64_t count, std::int64_t payload) {
  const std::string one =
      payload == 0 ? FramePacket("ping", "") : FramePacket("message", std::string(static_cast<std::size_t>(payload), 'm'));
  std::string wire;
  wire.reserve(one.size() * static_cast<std::size_t>(count));
  for (std::int64_t i = 0; i < count; ++i) wire += one;
  return wire;
}

void BM_SmallPacketsInOneReadAsViews(benchmark::State& state) {
  const auto count = static_cast<std::int64_t>(state.range(0));
  const std::string wire = SmallPackets(count, state.range(1));
  std::int64_t packets = 0;
  for (auto _ : state) {
    ByteBuffer input;
    PacketReader reader;
    PacketView packet;
    input.Append(wire);
    while (reader.Read(input.View(), packet) == ReadResult::Packet) {
      benchmark::DoNotOptimize(packet.payload.data());
      input.Consume(packet.size);
      ++packets;
    }
  }
  if (packets != state.iterations() * count) state.SkipWithError("packets were lost");
  state.SetItemsProcessed(packets);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(wire.size()));
}
BENCHMARK(BM_SmallPacketsInOneReadAsViews)->ArgsProduct({{1'000, 10'000, 100'000}, {0, 20}});

void BM_SmallPacketsInOneReadWithPayloadCopy(benchmark::State& state) {
  const auto count = static_cast<std::int64_t>(state.range(0));
  const std::string wire = SmallPackets(count, state.range(1));
  std::int64_t packets = 0;
  for (auto _ : state) {
    ByteBuffer input;
    PacketReader reader;
    PacketView packet;
    std::string room;
    input.Append(wire);
    while (reader.Read(input.View(), packet) == ReadResult::Packet) {
      room.assign(packet.payload);
      benchmark::DoNotOptimize(room.data());
      input.Consume(packet.size);
      ++packets;
    }
  }
  if (packets != state.iterations() * count) state.SkipWithError("packets were lost");
  state.SetItemsProcessed(packets);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(wire.size()));
}
BENCHMARK(BM_SmallPacketsInOneReadWithPayloadCopy)->ArgsProduct({{1'000, 10'000, 100'000}, {0, 20}});

}  // namespace
}  // namespace velmorin
