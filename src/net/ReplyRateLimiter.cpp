#include "net/ReplyRateLimiter.hpp"

namespace velmorin {

bool ReplyRateLimiter::HasRoom(Window& window, std::size_t limit, Clock::time_point now) {
  if (window.replies == 0 || now - window.start >= kWindow) {
    window.start = now;
    window.replies = 0;
  }
  return window.replies < limit;
}

ReplyRateLimiter::Window* ReplyRateLimiter::WindowOf(const std::string& source, Clock::time_point now) {
  auto it = sources_.find(source);
  if (it != sources_.end()) return &it->second;
  if (sources_.size() >= limits_.sources) {
    // Addresses whose second has passed start from nothing anyway: forget them.
    std::erase_if(sources_, [now](const auto& entry) { return now - entry.second.start >= kWindow; });
    if (sources_.size() >= limits_.sources) return nullptr;
  }
  return &sources_.emplace(source, Window{now, 0}).first->second;
}

bool ReplyRateLimiter::Allow(const std::string& source, Clock::time_point now) {
  if (!HasRoom(total_, limits_.total, now)) return false;
  Window* window = WindowOf(source, now);
  if (window == nullptr) {
    if (limits_.refuseWhenFull) return false;
    ++total_.replies;
    return true;
  }
  if (!HasRoom(*window, limits_.perSource, now)) return false;
  ++window->replies;
  ++total_.replies;
  return true;
}

}  // namespace velmorin
