#pragma once
// The figures of one run and how they are printed: a short text for people, or one JSON line
// for scripts.

#include <cstdint>
#include <optional>
#include <string>

#include "Options.hpp"
#include "Traffic.hpp"

namespace velmorin::load {

struct RunResult {
  // Logging in.
  std::uint32_t loggedIn = 0;
  std::uint32_t loginFailures = 0;
  double loginSeconds = 0;  // first connect attempt to last acceptance
  double loginsPerSecond = 0;
  std::uint64_t loginP50Ns = 0;  // per client: connect attempt to acceptance
  std::uint64_t loginMaxNs = 0;
  std::string firstFailure;
  std::uint64_t maxTextLength = 0;  // announced by the server's welcome

  // Joining the room.
  std::uint32_t joined = 0;
  double joinSeconds = 0;
  bool roomCreated = false;

  // Server memory.
  std::optional<std::uint64_t> rssBeforeKb;
  std::optional<std::uint64_t> rssJoinedKb;
  std::optional<double> rssPerConnectionKb;

  // Messages.
  bool messagePhaseRan = false;
  TrafficTotals traffic;
  double messageSeconds = 0;  // first send to last delivery
  double deliveriesPerSecond = 0;
  double messagesPerSecond = 0;
  std::uint64_t latencyP50Ns = 0, latencyP90Ns = 0, latencyP99Ns = 0, latencyMaxNs = 0;
  std::uint64_t foreign = 0;         // tagged by another run
  std::uint64_t wrongSender = 0;     // relayed under a nickname other than the sender's
  std::uint32_t dropped = 0;         // connections lost after joining
  std::optional<std::uint64_t> serverCpuUs;
  std::optional<double> serverBusyPercent;
  std::optional<double> serverUsPerDelivery;
  std::uint64_t generatorCpuUs = 0;
  double generatorBusyPercent = 0;

  // Encryption: payloads from the server that did not open after its first sealed one.
  std::uint64_t undecryptable = 0;

  // Quitting.
  std::uint32_t quitUnanswered = 0;  // still open when the quit wait ended

  std::string status;  // "ok", "lost-or-failed", "deadline"
  int exitCode = 0;
};

void PrintText(const Options& options, const RunResult& result);
void PrintJson(const Options& options, const RunResult& result);

}  // namespace velmorin::load
