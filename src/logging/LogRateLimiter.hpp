#pragma once
// Limits the error lines one connection can cause: one line per connection and kind in each
// second of the log clock (or perSecond lines, for keys that stand for more than one
// connection). Lines held back are counted; once their second has passed, the count is handed
// back for one "suppressed" line.
//
//   Admit(id, type, now)   true: write the line; false: it was counted instead. Call EndBefore
//                          (or EndConnection) first, so no ended second is still counted.
//   EndBefore(now)         ends every second but `now`: the counts held back in them, in the
//                          order of connection and kind; the entries are dropped
//   EndConnection(id)      ends every second of one connection (its slot closes or is reused)
//   Empty()                nothing is being counted
//
// The bookkeeping is bounded: only seconds not yet ended are kept, and past kMaxTracked entries
// new connections share one entry per kind under the empty id.

#include <cstddef>
#include <ctime>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/LogMessageType.hpp"

namespace velmorin {

class LogRateLimiter {
 public:
  static constexpr std::size_t kMaxTracked = 16384;

  struct Suppressed {
    std::string id;  // empty: connections that did not fit the table
    LogMessageType type;
    long count;
  };

  bool Admit(std::string_view id, LogMessageType type, std::time_t now, long perSecond = 1);
  std::vector<Suppressed> EndBefore(std::time_t now);
  std::vector<Suppressed> EndConnection(std::string_view id);
  bool Empty() const { return entries_.empty(); }

 private:
  struct Entry {
    std::time_t second = 0;
    long suppressed = 0;
    long admitted = 1;
  };
  using Key = std::pair<std::string, LogMessageType>;
  using Entries = std::map<Key, Entry>;

  // Moves the counts of the entry to `ended` (when there are any) and drops it.
  Entries::iterator End(Entries::iterator entry, std::vector<Suppressed>& ended);

  Entries entries_;
  std::time_t current_ = 0;  // the second every kept entry belongs to, after EndBefore
};

}  // namespace velmorin
