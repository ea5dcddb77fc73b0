// velmorin-soak: a long mixed load against a copy of the server, with its RSS, descriptors and
// user count sampled; fails when any of them drifts. See --help.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "Load.hpp"
#include "Options.hpp"
#include "Samples.hpp"
#include "SoakServer.hpp"
#include "client/ChatClient.hpp"

namespace velmorin::soak {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

void RaiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

// One whole session before the baseline, so that what the server opens once and keeps (log
// file, room tables) is there when the baseline is taken.
bool WarmUp(std::uint16_t port) {
  client::ChatClient client;
  if (!client.Connect("127.0.0.1", port, 10s) || !client.ReceiveWelcome(10s)) return false;
  const auto reply = client.Login("warmup", "", 0, "soak 1.0", 10s);
  if (!reply || !reply->Accepted()) return false;
  client.Send("createChatroom", std::string("lobby\0\0\0", 8));
  client.ReceiveCommand("acceptChatroom", 10s);
  client.Send("quit", "");
  return client.WaitForClose(10s);
}

Sample Measure(SoakServer& server, const Load* load, const char* phase, Clock::time_point loadStart) {
  Sample sample;
  sample.seconds = std::chrono::duration<double>(Clock::now() - loadStart).count();
  sample.phase = phase;
  sample.rssKb = server.RssKb().value_or(0);
  sample.descriptors = server.Descriptors().value_or(-1);
  sample.users = server.Users().value_or(-1);
  if (load != nullptr) {
    const Counters& counters = load->counters();
    sample.sessions = counters.sessions;
    sample.messages = counters.messages + counters.privateMessages + counters.fileSetups;
    sample.received = counters.received;
    sample.failures = counters.failures;
  }
  return sample;
}

// Sleeps until `until`, waking early when the server ends.
bool SleepWhileRunning(SoakServer& server, Clock::time_point until) {
  while (Clock::now() < until) {
    if (!server.Running()) return false;
    std::this_thread::sleep_for(std::min<Clock::duration>(100ms, until - Clock::now()));
  }
  return server.Running();
}

int Run(const Options& options) {
  SoakServer server(options.server);
  if (options.keep) server.Keep();
  std::printf("soak: %.1f min, %u workers, %u residents; server copy in %s, port %u\n", options.minutes,
              options.workers, options.residents, server.directory().c_str(), server.port());
  if (!server.Start() || !WarmUp(server.port())) {
    std::fprintf(stderr, "velmorin-soak: the server did not come up\n%s\n", server.OutputTail(4000).c_str());
    return 1;
  }
  std::this_thread::sleep_for(500ms);
  std::vector<Sample> samples;
  Clock::time_point loadStart = Clock::now();
  samples.push_back(Measure(server, nullptr, "base", loadStart));
  const long baseDescriptors = samples.back().descriptors;
  PrintHeader();
  PrintRow(samples.back());

  Load load(server.port(), options.workers, options.residents);
  loadStart = Clock::now();
  load.Start();
  const auto interval = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.sampleSeconds));
  const auto end = loadStart + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.minutes * 60));
  bool alive = true;
  for (auto next = loadStart + interval; alive && next <= end; next += interval) {
    alive = SleepWhileRunning(server, next);
    if (alive) {
      samples.push_back(Measure(server, &load, "load", loadStart));
      PrintRow(samples.back());
    }
  }
  load.Stop();

  // Everybody has left: descriptors and users must come back to where they were.
  bool settled = false;
  const auto settleEnd = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.settleSeconds));
  while (alive && !settled && Clock::now() < settleEnd) {
    alive = SleepWhileRunning(server, Clock::now() + 500ms);
    const Sample after = Measure(server, &load, "after", loadStart);
    settled = after.descriptors == baseDescriptors && after.users == 0;
  }
  if (alive) {
    samples.push_back(Measure(server, &load, "after", loadStart));
    PrintRow(samples.back());
  }
  const Sample& last = samples.back();
  // -1: did not exit normally in time.
  const int exitStatus = alive ? server.Stop().value_or(-1) : -1;

  bool failed = false;
  const auto verdict = [&](bool ok, const std::string& line) {
    std::printf("%-6s %s\n", ok ? "ok" : "FAIL", line.c_str());
    failed = failed || !ok;
  };
  std::printf("\n");
  const RssDrift drift = MeasureRssDrift(samples);
  if (drift.measured) {
    const bool grew = drift.lastKb > drift.firstKb + options.rssDriftFloorKb && drift.percent > options.rssDriftPercent;
    char line[256];
    std::snprintf(line, sizeof line, "RSS: first third %llu kB, last third %llu kB, %+.1f%% (limit %.1f%%, floor %llu kB)",
                  static_cast<unsigned long long>(drift.firstKb), static_cast<unsigned long long>(drift.lastKb),
                  drift.percent, options.rssDriftPercent, static_cast<unsigned long long>(options.rssDriftFloorKb));
    verdict(!grew, line);
  } else {
    std::printf("       RSS: too few samples to compare (run longer or sample more often)\n");
  }
  verdict(alive && last.descriptors == baseDescriptors,
          "descriptors: baseline " + std::to_string(baseDescriptors) + ", after the load " + std::to_string(last.descriptors));
  verdict(alive && last.users == 0, "users: after the load " + std::to_string(last.users));
  const std::vector<std::string> failures = load.Failures();
  verdict(failures.empty(), "client failures: " + std::to_string(load.counters().failures.load()));
  for (const std::string& failure : failures) std::printf("         %s\n", failure.c_str());
  verdict(alive && exitStatus == 0,
          !alive             ? std::string("the server ended during the run")
          : exitStatus >= 0 ? "server exit status " + std::to_string(exitStatus)
                             : std::string("server exit status: none (hung or signalled)"));
  if (!alive || failed) std::printf("\nLast server output:\n%s\n", server.OutputTail(3000).c_str());
  std::printf("%s\n", failed ? "soak: FAILED" : "soak: passed");
  return failed ? 1 : 0;
}

}  // namespace
}  // namespace velmorin::soak

int main(int argc, char** argv) {
  using namespace velmorin::soak;
  const ParsedOptions parsed = ParseOptions(argc, argv);
  if (!parsed.options) return parsed.exitCode;
  RaiseDescriptorLimit();
  try {
    return Run(*parsed.options);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "velmorin-soak: %s\n", error.what());
    return 1;
  }
}
