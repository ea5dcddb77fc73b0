#pragma once
// The figures sampled during a soak run, their table, and the drift verdict.

#include <cstdint>
#include <string>
#include <vector>

namespace velmorin::soak {

struct Sample {
  double seconds = 0;  // since the load started (negative: before it)
  std::string phase;   // "base", "load", "after"
  std::uint64_t rssKb = 0;
  long descriptors = -1;
  long users = -1;  // -1: discovery did not answer
  std::uint64_t sessions = 0;
  std::uint64_t messages = 0;  // room, private and file set-up packets sent so far
  std::uint64_t received = 0;
  std::uint64_t failures = 0;
};

void PrintHeader();
void PrintRow(const Sample& sample);

struct RssDrift {
  bool measured = false;    // enough load samples to compare
  std::uint64_t firstKb = 0;  // median of the first third after the warm-up
  std::uint64_t lastKb = 0;   // median of the last third
  double percent = 0;
};

// Leaves out the first tenth of the load samples (warm-up: rooms, buffers and tables reach
// their working size), then compares the medians of the first and last thirds of the rest.
RssDrift MeasureRssDrift(const std::vector<Sample>& samples);

}  // namespace velmorin::soak
