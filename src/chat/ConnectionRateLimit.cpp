#include "chat/ConnectionRateLimit.hpp"

#include <limits>

#include "logging/LogWriter.hpp"
#include "platform/EventLoop.hpp"

namespace velmorin {

ConnectionRateLimit::~ConnectionRateLimit() {
  if (reportTimer_ != 0) MainLoop().StopTimer(reportTimer_);
}

bool ConnectionRateLimit::Admit(const std::string& address, long perSecond) {
  if (perSecond <= 0) return true;
  if (perSecond != limit_) {
    limit_ = perSecond;
    limiter_.SetLimits({.perSource = static_cast<std::size_t>(perSecond),
                        .total = std::numeric_limits<std::size_t>::max(),
                        .sources = kAddresses,
                        .refuseWhenFull = false});
  }
  if (limiter_.Allow(address, ReplyRateLimiter::Clock::now())) return true;
  ++refused_;
  lastRefused_ = address;
  if (reportTimer_ == 0) {
    reportTimer_ = MainLoop().StartTimer(std::chrono::duration_cast<std::chrono::milliseconds>(kReportInterval),
                                         [this] { Report(); });
  }
  return false;
}

void ConnectionRateLimit::Report() {
  MainLoop().StopTimer(reportTimer_);
  reportTimer_ = 0;
  if (refused_ == 0) return;
  log_.LogText(LogMessageType::ErrorDenied, "msgConnectionsRefused",
               {{"%count", std::to_string(refused_)},
                {"%seconds", std::to_string(kReportInterval.count())},
                {"%limit", std::to_string(limit_)},
                {"%ip", lastRefused_}});
  refused_ = 0;
  lastRefused_.clear();
}

}  // namespace velmorin
