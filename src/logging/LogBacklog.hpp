#pragma once
// The most recent log lines as followers get them, for "log follow --lines N": at most
// kMaxLines lines and about kMaxBytes of text, the oldest going first. Every line shown is
// added, whether someone follows or not.

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "config/LogMessageType.hpp"

namespace velmorin {

class LogBacklog {
 public:
  static constexpr std::size_t kMaxLines = 1000;
  static constexpr std::size_t kMaxBytes = 256 * 1024;

  struct Line {
    std::optional<LogMessageType> type;
    long color = 0;
    std::string text;
  };

  void Add(std::optional<LogMessageType> type, long color, const std::string& text);
  // The last `count` lines, oldest first; all that are kept when fewer.
  std::vector<Line> Last(std::size_t count) const;
  std::size_t size() const { return lines_.size(); }

 private:
  std::deque<Line> lines_;
  std::size_t bytes_ = 0;
};

}  // namespace velmorin
