#include "logging/LogRateLimiter.hpp"

namespace velmorin {

bool LogRateLimiter::Admit(std::string_view id, LogMessageType type, std::time_t now, long perSecond) {
  Key key{std::string(id), type};
  auto found = entries_.find(key);
  if (found == entries_.end() && entries_.size() >= kMaxTracked) {
    key.first.clear();
    found = entries_.find(key);
  }
  if (found == entries_.end()) {
    entries_.emplace(std::move(key), Entry{now, 0, 1});
    return true;
  }
  if (found->second.second != now) {
    // Only reached when the caller did not end the past seconds first; the line is written.
    found->second = Entry{now, 0, 1};
    return true;
  }
  if (found->second.admitted < perSecond) {
    ++found->second.admitted;
    return true;
  }
  ++found->second.suppressed;
  return false;
}

std::vector<LogRateLimiter::Suppressed> LogRateLimiter::EndBefore(std::time_t now) {
  std::vector<Suppressed> ended;
  // Every kept entry belongs to the second of the last call: nothing can have ended since.
  if (now == current_) return ended;
  current_ = now;
  for (auto entry = entries_.begin(); entry != entries_.end();) {
    entry = entry->second.second != now ? End(entry, ended) : std::next(entry);
  }
  return ended;
}

std::vector<LogRateLimiter::Suppressed> LogRateLimiter::EndConnection(std::string_view id) {
  std::vector<Suppressed> ended;
  for (auto entry = entries_.lower_bound(Key{std::string(id), LogMessageType{}});
       entry != entries_.end() && entry->first.first == id;) {
    entry = End(entry, ended);
  }
  return ended;
}

LogRateLimiter::Entries::iterator LogRateLimiter::End(Entries::iterator entry, std::vector<Suppressed>& ended) {
  if (entry->second.suppressed > 0) ended.push_back({entry->first.first, entry->first.second, entry->second.suppressed});
  return entries_.erase(entry);
}

}  // namespace velmorin
