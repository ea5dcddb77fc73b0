#include "logging/LogBacklog.hpp"

#include <algorithm>

namespace velmorin {

void LogBacklog::Add(std::optional<LogMessageType> type, long color, const std::string& text) {
  lines_.push_back({type, color, text});
  bytes_ += text.size();
  // The newest line stays even when it alone is over the byte bound.
  while (lines_.size() > 1 && (lines_.size() > kMaxLines || bytes_ > kMaxBytes)) {
    bytes_ -= lines_.front().text.size();
    lines_.pop_front();
  }
}

std::vector<LogBacklog::Line> LogBacklog::Last(std::size_t count) const {
  const std::size_t taken = std::min(count, lines_.size());
  return {lines_.end() - static_cast<std::ptrdiff_t>(taken), lines_.end()};
}

}  // namespace velmorin
