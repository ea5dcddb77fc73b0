#pragma once
// A fixed-size histogram of durations in nanoseconds with about 1.6 % resolution.
//
// 64 sub-buckets per power of two: recording is a count-leading-zeros and an increment, with
// no allocation, so it can sit in the per-delivery path.

#include <array>
#include <cstdint>

namespace velmorin::load {

class LatencyHistogram {
 public:
  void Add(std::uint64_t nanoseconds);

  std::uint64_t Count() const { return count_; }
  std::uint64_t Max() const { return max_; }
  // The upper edge of the bucket holding the given fraction (0..1] of the samples, never above
  // the largest sample; 0 when empty.
  std::uint64_t Percentile(double fraction) const;

 private:
  static constexpr int kSubBits = 6;
  static constexpr int kSubBuckets = 1 << kSubBits;
  static constexpr int kBuckets = (64 - kSubBits) * kSubBuckets + kSubBuckets;

  static int IndexOf(std::uint64_t value);
  static std::uint64_t UpperEdge(int index);

  std::array<std::uint64_t, kBuckets> counts_{};
  std::uint64_t count_ = 0;
  std::uint64_t max_ = 0;
};

}  // namespace velmorin::load
