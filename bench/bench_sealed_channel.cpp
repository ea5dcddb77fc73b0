// The cost of the sealed channel per packet, next to framing the same payload in clear: what an
// encrypted connection adds to every message the server relays to it.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "codec/PacketWriter.hpp"
#include "sealed_channel/SecureChannel.hpp"

namespace velmorin {
namespace {

using channel::KeyPair;
using channel::SecureChannel;

// A matching pair of channel ends, as after a key exchange.
struct ChannelPair {
  ChannelPair() {
    channel::InitialiseCrypto();
    const KeyPair server;
    const KeyPair client;
    serverEnd = SecureChannel::Establish(SecureChannel::Side::Server, server, client.PublicText());
    clientEnd = SecureChannel::Establish(SecureChannel::Side::Client, client, server.PublicText());
  }
  std::optional<SecureChannel> serverEnd;
  std::optional<SecureChannel> clientEnd;
};

std::string Payload(std::int64_t size) { return std::string(static_cast<std::size_t>(size), 'm'); }

void BM_FrameClear(benchmark::State& state) {
  const std::string payload = Payload(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(FramePacket("message", payload));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FrameClear)->Arg(64)->Arg(1024)->Arg(16384);

void BM_SealAndFrame(benchmark::State& state) {
  ChannelPair pair;
  const std::string payload = Payload(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(FramePacket("message", pair.serverEnd->Seal(payload)));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SealAndFrame)->Arg(64)->Arg(1024)->Arg(16384);

// Opening needs the payloads in sealing order: they are sealed in batches outside the timing.
void BM_Open(benchmark::State& state) {
  ChannelPair pair;
  const std::string payload = Payload(state.range(0));
  constexpr std::size_t kBatch = 1024;
  std::vector<std::string> sealed(kBatch);
  std::size_t next = kBatch;
  for (auto _ : state) {
    if (next == kBatch) {
      state.PauseTiming();
      for (std::string& text : sealed) text = pair.serverEnd->Seal(payload);
      next = 0;
      state.ResumeTiming();
    }
    if (!pair.clientEnd->Open(sealed[next++])) state.SkipWithError("a sealed payload did not open");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Open)->Arg(64)->Arg(1024)->Arg(16384);

// The key exchange of one connection: a key pair and the session keys on each side.
void BM_KeyExchange(benchmark::State& state) {
  channel::InitialiseCrypto();
  for (auto _ : state) benchmark::DoNotOptimize(ChannelPair().serverEnd.has_value());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_KeyExchange);

}  // namespace
}  // namespace velmorin
