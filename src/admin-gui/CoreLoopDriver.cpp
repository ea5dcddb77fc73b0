#include "admin-gui/CoreLoopDriver.hpp"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <algorithm>

#include "platform/EventLoop.hpp"

namespace velmorin {

CoreLoopDriver::CoreLoopDriver(EventLoop& loop, QObject* parent)
    : QObject(parent), loop_(loop), notifier_(loop.epollFd(), QSocketNotifier::Read) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&notifier_, &QSocketNotifier::activated, this, &CoreLoopDriver::RunPass);
  connect(&timer_, &QTimer::timeout, this, &CoreLoopDriver::RunPass);
  if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &CoreLoopDriver::ArmTimer);
  }
  ArmTimer();
}

CoreLoopDriver::~CoreLoopDriver() = default;

void CoreLoopDriver::RunPass() {
  if (inPass_) {
    // Called from a nested Qt loop inside a pass: wait for the outer pass to end.
    notifier_.setEnabled(false);
    return;
  }
  inPass_ = true;
  loop_.RunOnce(0);
  ++passes_;
  inPass_ = false;
  notifier_.setEnabled(true);
  ArmTimer();
}

void CoreLoopDriver::ArmTimer() {
  const std::optional<long long> due = loop_.MillisecondsUntilNextTimer();
  if (!due) {
    timer_.stop();
    return;
  }
  // Qt's timers count whole milliseconds; a pass that comes a little early finds nothing due
  // and arms the timer again.
  const int wait = static_cast<int>(std::clamp<long long>(*due, 0, 24LL * 3600 * 1000));
  if (timer_.isActive() && timer_.remainingTime() <= wait) return;
  timer_.start(wait);
}

}  // namespace velmorin
