#include "admin-gui/Throttle.hpp"

namespace velmorin {

Throttle::Throttle(std::chrono::milliseconds interval, std::function<void()> update, QObject* parent)
    : QObject(parent), interval_(interval), update_(std::move(update)) {
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &Throttle::IntervalEnded);
}

void Throttle::Request() {
  if (interval_.count() == 0) {
    update_();
    return;
  }
  if (pending_) return;
  pending_ = true;
  timer_.start(interval_);
}

void Throttle::IntervalEnded() {
  if (!pending_) return;
  pending_ = false;
  update_();
}

}  // namespace velmorin
