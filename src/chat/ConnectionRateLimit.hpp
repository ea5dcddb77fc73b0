#pragma once
// The rate of new connections from one address (General.MaxConnectionRate per second; 0: no
// limit). A connection beyond it is refused silently: the caller closes it at once, before it
// takes a slot, gets a welcome or causes a log line. The refusals are counted and reported in
// one line ("msgConnectionsRefused") per report interval in which there were any, so a client
// that connects without end costs neither a slot nor the disk.
//
// The per-address counts live in a bounded table (ReplyRateLimiter, kAddresses entries); an
// address that finds it full of addresses still counting is let through uncounted, so that many
// addresses cannot lock out every other one.

#include <chrono>
#include <cstdint>
#include <string>

#include "net/ReplyRateLimiter.hpp"

namespace velmorin {

class LogWriter;

class ConnectionRateLimit {
 public:
  static constexpr std::size_t kAddresses = 4096;
  static constexpr std::chrono::seconds kReportInterval{10};

  explicit ConnectionRateLimit(LogWriter& log) : log_(log) {}
  ~ConnectionRateLimit();
  ConnectionRateLimit(const ConnectionRateLimit&) = delete;
  ConnectionRateLimit& operator=(const ConnectionRateLimit&) = delete;

  // True when a new connection from the address is within the rate (it is counted then);
  // false when it is to be refused (counted for the report).
  bool Admit(const std::string& address, long perSecond);

  long RefusedSinceReport() const { return refused_; }

 private:
  void Report();

  LogWriter& log_;
  ReplyRateLimiter limiter_;
  long limit_ = 0;
  long refused_ = 0;
  std::string lastRefused_;
  std::uint64_t reportTimer_ = 0;  // event-loop timer; 0 while nothing waits to be reported
};

}  // namespace velmorin
