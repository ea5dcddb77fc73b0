#include "Samples.hpp"

#include <algorithm>
#include <cstdio>

namespace velmorin::soak {
namespace {

std::uint64_t Median(std::vector<std::uint64_t> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

void PrintHeader() {
  std::printf("%9s  %-5s  %9s  %5s  %5s  %9s  %9s  %10s  %8s\n", "time s", "phase", "RSS kB", "fds", "users",
              "sessions", "sent", "received", "failures");
}

void PrintRow(const Sample& sample) {
  std::printf("%9.1f  %-5s  %9llu  %5ld  %5ld  %9llu  %9llu  %10llu  %8llu\n", sample.seconds, sample.phase.c_str(),
              static_cast<unsigned long long>(sample.rssKb), sample.descriptors, sample.users,
              static_cast<unsigned long long>(sample.sessions), static_cast<unsigned long long>(sample.messages),
              static_cast<unsigned long long>(sample.received), static_cast<unsigned long long>(sample.failures));
  std::fflush(stdout);
}

RssDrift MeasureRssDrift(const std::vector<Sample>& samples) {
  std::vector<std::uint64_t> load;
  for (const Sample& sample : samples) {
    if (sample.phase == "load") load.push_back(sample.rssKb);
  }
  RssDrift drift;
  const std::size_t warmUp = load.size() / 10;
  const std::size_t third = (load.size() - warmUp) / 3;
  if (third < 1) return drift;
  drift.measured = true;
  drift.firstKb = Median({load.begin() + static_cast<long>(warmUp), load.begin() + static_cast<long>(warmUp + third)});
  drift.lastKb = Median({load.end() - static_cast<long>(third), load.end()});
  drift.percent = drift.firstKb == 0 ? 0
                                     : 100.0 * (static_cast<double>(drift.lastKb) - static_cast<double>(drift.firstKb)) /
                                           static_cast<double>(drift.firstKb);
  return drift;
}

}  // namespace velmorin::soak
