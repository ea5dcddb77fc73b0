#pragma once
// Caps how many events per second one source address and all of them together may cause:
// discovery replies (a short request draws a much longer reply, and UDP source addresses can be
// forged: without a cap the server would multiply any traffic aimed at a victim) and new
// connections (one address that connects and disconnects without end costs the server a slot,
// a welcome and log lines each time).

#include <chrono>
#include <cstddef>
#include <string>
#include <unordered_map>

namespace velmorin {

class ReplyRateLimiter {
 public:
  using Clock = std::chrono::steady_clock;
  struct Limits {
    std::size_t perSource = 5;  // replies to one address per second
    std::size_t total = 100;    // replies to all addresses per second
    std::size_t sources = 256;  // addresses remembered at once
    // A newcomer that finds the table full of addresses still counting: refused (replies,
    // which forged sources could otherwise multiply) or allowed uncounted (connections, where
    // refusing would let many addresses lock out every other one).
    bool refuseWhenFull = true;
  };

  ReplyRateLimiter() = default;
  explicit ReplyRateLimiter(const Limits& limits) : limits_(limits) {}

  void SetLimits(const Limits& limits) { limits_ = limits; }
  const Limits& GetLimits() const { return limits_; }

  // True when a reply to the address still fits into its second and the global one; the reply
  // is counted then. A full table of addresses that are all still counting refuses newcomers
  // unless refuseWhenFull is off.
  bool Allow(const std::string& source, Clock::time_point now);

  std::size_t RememberedSources() const { return sources_.size(); }

 private:
  struct Window {
    Clock::time_point start;
    std::size_t replies = 0;
  };
  static constexpr Clock::duration kWindow = std::chrono::seconds(1);

  // Starts a new window when the old one has passed; true when the window has room.
  static bool HasRoom(Window& window, std::size_t limit, Clock::time_point now);
  // The address's window, new when there is room in the table; nullptr when there is none.
  Window* WindowOf(const std::string& source, Clock::time_point now);

  Limits limits_;
  Window total_;
  std::unordered_map<std::string, Window> sources_;
};

}  // namespace velmorin
