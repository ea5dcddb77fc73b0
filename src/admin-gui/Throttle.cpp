#include "admin-gui/Throttle.hpp"

namespace velmorin {

Throttle::Throttle(std::chrono::milliseconds interval, std::function<void()> update, QObject* parent)
    : QObject(parent), interval_(interval), update_(std::move(update)) {
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &Throttle::IntervalEnded);
}

void Throttle::Request() {
  if (interval_.count() > 0 && timer_.isActive()) {
    pending_ = true;
    return;
  }
  Run();
}

void Throttle::IntervalEnded() {
  if (pending_) Run();
}

void Throttle::Run() {
  pending_ = false;
  if (interval_.count() > 0) timer_.start(interval_);
  update_();
}

}  // namespace velmorin
