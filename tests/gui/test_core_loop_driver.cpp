// Qt's loop driving the server's: timers started outside a pass fire, and a nested Qt loop
// inside a pass (a question box) neither runs a second pass nor spins.

#include <gtest/gtest.h>

#include <sys/eventfd.h>
#include <unistd.h>

#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <chrono>

#include "admin-gui/CoreLoopDriver.hpp"
#include "platform/EventLoop.hpp"

namespace velmorin {
namespace {

TEST(CoreLoopDriver, FiresATimerStartedOutsideAnyPass) {
  CoreLoopDriver driver(MainLoop());
  // A blocking Qt loop, as the application's: the driver arms its timer when Qt is about to wait.
  QEventLoop waiting;
  QTimer::singleShot(5000, &waiting, &QEventLoop::quit);
  int fired = 0;
  const EventLoop::TimerId timer = MainLoop().StartTimer(std::chrono::milliseconds(30), [&] {
    if (++fired == 2) waiting.quit();
  });
  waiting.exec();
  EXPECT_GE(fired, 2);
  MainLoop().StopTimer(timer);
}

TEST(CoreLoopDriver, RunsNoPassInsideAPass) {
  CoreLoopDriver driver(MainLoop());
  const int fd = ::eventfd(1, EFD_NONBLOCK | EFD_CLOEXEC);  // readable until read
  int calls = 0;
  unsigned long long passesInside = 0;
  const EventLoop::WatchId watch = MainLoop().Watch(fd, true, false, [&](std::uint32_t) {
    if (++calls > 1) return;
    const unsigned long long before = driver.passes();
    QEventLoop nested;  // what a modal question runs
    QTimer::singleShot(100, &nested, &QEventLoop::quit);
    nested.exec();
    passesInside = driver.passes() - before;
    std::uint64_t value = 0;
    EXPECT_EQ(::read(fd, &value, sizeof value), static_cast<ssize_t>(sizeof value));
  });
  EXPECT_TRUE(QTest::qWaitFor([&] { return calls >= 1 && passesInside == 0; }, 5000));
  QTest::qWait(50);
  EXPECT_EQ(calls, 1);  // the descriptor was read once it was its turn, not again from within
  EXPECT_EQ(passesInside, 0u);
  MainLoop().Unwatch(watch);
  ::close(fd);
}

}  // namespace
}  // namespace velmorin
