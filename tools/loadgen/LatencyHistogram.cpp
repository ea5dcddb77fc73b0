#include "LatencyHistogram.hpp"

#include <cmath>

namespace velmorin::load {

// Values below 128 get one bucket each; above, the bucket is the power of two (shift) and the
// top seven significant bits, of which the first is always set (sub in [64, 128)).
int LatencyHistogram::IndexOf(std::uint64_t value) {
  if (value < 2 * kSubBuckets) return static_cast<int>(value);
  const int msb = 63 - __builtin_clzll(value);
  const int shift = msb - kSubBits;
  const int sub = static_cast<int>(value >> shift);
  return shift * kSubBuckets + sub;
}

std::uint64_t LatencyHistogram::UpperEdge(int index) {
  if (index < 2 * kSubBuckets) return static_cast<std::uint64_t>(index);
  const int shift = index / kSubBuckets - 1;
  const std::uint64_t sub = static_cast<std::uint64_t>(index % kSubBuckets + kSubBuckets);
  return ((sub + 1) << shift) - 1;
}

void LatencyHistogram::Add(std::uint64_t nanoseconds) {
  ++counts_[IndexOf(nanoseconds)];
  ++count_;
  if (nanoseconds > max_) max_ = nanoseconds;
}

std::uint64_t LatencyHistogram::Percentile(double fraction) const {
  if (count_ == 0) return 0;
  auto rank = static_cast<std::uint64_t>(std::ceil(fraction * static_cast<double>(count_)));
  if (rank == 0) rank = 1;
  std::uint64_t seen = 0;
  for (int i = 0; i < kBuckets; ++i) {
    seen += counts_[i];
    if (seen >= rank) {
      const std::uint64_t edge = UpperEdge(i);
      return edge < max_ ? edge : max_;
    }
  }
  return max_;
}

}  // namespace velmorin::load
