#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/EventLoop.hpp"

namespace velmorin {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~Fd() { Close(); }
  int get() const { return fd_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

struct FdPair {
  Fd first;   // a pipe's read end
  Fd second;  // a pipe's write end
};

FdPair MakePipe() {
  int fds[2] = {-1, -1};
  EXPECT_EQ(::pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
  return {Fd(fds[0]), Fd(fds[1])};
}

FdPair MakeSocketPair() {
  int fds[2] = {-1, -1};
  EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0);
  return {Fd(fds[0]), Fd(fds[1])};
}

Fd MakeReadableEventFd() { return Fd(::eventfd(1, EFD_NONBLOCK | EFD_CLOEXEC)); }

void WriteByte(int fd) { ASSERT_EQ(::write(fd, "x", 1), 1); }

bool IsReadable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

// Runs passes until `done` holds; the pass limit only keeps a broken loop from hanging the suite.
template <typename Done>
bool RunUntil(EventLoop& loop, Done done, int maxPasses = 500) {
  for (int i = 0; i < maxPasses && !done(); ++i) loop.RunOnce(2);
  return done();
}

// Wakes a pass or Run() that a broken loop would leave blocked forever: after a second it posts a
// task that throws out of the loop.
class Watchdog {
 public:
  explicit Watchdog(EventLoop& loop)
      : thread_([this, post = loop.MakePoster()] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!woken_.wait_for(lock, 1s, [this] { return done_; })) {
            post([] { throw std::runtime_error("the loop did not return"); });
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    woken_.notify_one();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable woken_;
  bool done_ = false;
  std::thread thread_;
};

// --- Readiness -------------------------------------------------------------------------------

TEST(EventLoop, ReadinessArrivesWithTheBitsOfWhatHappened) {
  struct Case {
    const char* name;
    FdPair (*make)();
    // Brings the pair into the state under test and returns the descriptor to watch.
    int (*prepare)(FdPair&);
    bool readable;
    bool writable;
    std::uint32_t expected;
    std::uint32_t unexpected;
  };
  const Case cases[] = {
      {"pipe with data", MakePipe, [](FdPair& p) { WriteByte(p.second.get()); return p.first.get(); },
       true, false, EPOLLIN, EPOLLHUP | EPOLLOUT},
      {"pipe whose writer closed", MakePipe, [](FdPair& p) { p.second.Close(); return p.first.get(); },
       true, false, EPOLLHUP, EPOLLOUT},
      {"hang-up without any interest", MakePipe, [](FdPair& p) { p.second.Close(); return p.first.get(); },
       false, false, EPOLLHUP, EPOLLIN | EPOLLOUT},
      {"pipe whose reader closed", MakePipe, [](FdPair& p) { p.first.Close(); return p.second.get(); },
       false, true, EPOLLERR, EPOLLIN},
      {"idle socket with write interest", MakeSocketPair, [](FdPair& p) { return p.first.get(); },
       false, true, EPOLLOUT, EPOLLIN | EPOLLRDHUP | EPOLLHUP},
      {"socket whose peer shut down writing", MakeSocketPair,
       [](FdPair& p) { ::shutdown(p.second.get(), SHUT_WR); return p.first.get(); },
       true, false, EPOLLIN | EPOLLRDHUP, EPOLLHUP | EPOLLOUT},
      {"socket whose peer closed", MakeSocketPair, [](FdPair& p) { p.second.Close(); return p.first.get(); },
       true, false, EPOLLIN | EPOLLRDHUP | EPOLLHUP, EPOLLOUT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EventLoop loop;
    FdPair pair = c.make();
    const int fd = c.prepare(pair);
    std::vector<std::uint32_t> seen;
    ASSERT_NE(loop.Watch(fd, c.readable, c.writable, [&](std::uint32_t events) { seen.push_back(events); }), 0u);
    EXPECT_EQ(loop.RunOnce(0), 1);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0] & c.expected, c.expected);
    EXPECT_EQ(seen[0] & c.unexpected, 0u);
  }
}

TEST(EventLoop, QuietAndRemovedWatchesAreNotCalled) {
  EventLoop loop;
  const std::size_t ownWatches = loop.watchCount();
  FdPair pipe = MakePipe();
  int calls = 0;
  const EventLoop::WatchId watch = loop.Watch(pipe.first.get(), true, false, [&](std::uint32_t) { ++calls; });
  EXPECT_EQ(loop.watchCount(), ownWatches + 1);
  EXPECT_EQ(loop.RunOnce(0), 0);

  WriteByte(pipe.second.get());
  EXPECT_EQ(loop.RunOnce(0), 1);
  EXPECT_EQ(loop.RunOnce(0), 1) << "level-triggered: unread data is reported again";

  loop.Unwatch(watch);
  loop.Unwatch(watch);
  EXPECT_EQ(loop.RunOnce(0), 0);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(loop.watchCount(), ownWatches);

  EXPECT_EQ(loop.Watch(-1, true, false, [](std::uint32_t) {}), 0u);
  EXPECT_EQ(loop.watchCount(), ownWatches);
}

TEST(EventLoop, WriteInterestIsReportedOnlyWhileArmed) {
  EventLoop loop;
  FdPair sockets = MakeSocketPair();  // always writable
  std::vector<std::uint32_t> seen;
  const EventLoop::WatchId watch =
      loop.Watch(sockets.first.get(), true, false, [&](std::uint32_t events) { seen.push_back(events); });

  EXPECT_EQ(loop.RunOnce(0), 0);
  ASSERT_EQ(loop.SetInterest(watch, true, true), 0);
  EXPECT_EQ(loop.RunOnce(0), 1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], static_cast<std::uint32_t>(EPOLLOUT));

  ASSERT_EQ(loop.SetInterest(watch, true, false), 0);
  EXPECT_EQ(loop.RunOnce(0), 0);
  EXPECT_EQ(seen.size(), 1u);

  loop.Unwatch(watch);
  EXPECT_EQ(loop.SetInterest(watch, true, true), ENOENT);
}

TEST(EventLoop, AWatchRemovedEarlierInThePassIsNotCalled) {
  EventLoop loop;
  Fd a = MakeReadableEventFd();
  Fd b = MakeReadableEventFd();
  EventLoop::WatchId watchA = 0;
  EventLoop::WatchId watchB = 0;
  int calls = 0;
  // epoll does not promise an order, so whichever runs first removes the other.
  watchA = loop.Watch(a.get(), true, false, [&](std::uint32_t) {
    ++calls;
    loop.Unwatch(watchB);
  });
  watchB = loop.Watch(b.get(), true, false, [&](std::uint32_t) {
    ++calls;
    loop.Unwatch(watchA);
  });

  EXPECT_EQ(loop.RunOnce(0), 1);
  EXPECT_EQ(calls, 1);
}

TEST(EventLoop, CallbacksMayRemoveThemselvesAndKeepUsingTheirCaptures) {
  EventLoop loop;
  Fd fd = MakeReadableEventFd();
  const std::string text(100, 'x');  // on the heap, so a freed callback shows up under ASan
  std::string watchSaw;
  std::string timerSaw;
  EventLoop::WatchId watch = 0;
  EventLoop::TimerId timer = 0;
  watch = loop.Watch(fd.get(), true, false, [&, text](std::uint32_t) {
    loop.Unwatch(watch);
    watchSaw = text;
  });
  timer = loop.StartTimer(1ms, [&, text] {
    loop.StopTimer(timer);
    timerSaw = text;
  });

  ASSERT_TRUE(RunUntil(loop, [&] { return !timerSaw.empty(); }));
  EXPECT_EQ(watchSaw, text);
  EXPECT_EQ(timerSaw, text);
  EXPECT_FALSE(loop.IsTimerActive(timer));
  EXPECT_EQ(loop.timerCount(), 0u);
}

// --- Timers ----------------------------------------------------------------------------------

TEST(EventLoop, DueTimersFireInDeadlineOrder) {
  EventLoop loop;
  std::string order;
  loop.StartTimer(6ms, [&] { order += 'c'; });
  loop.StartTimer(2ms, [&] { order += 'a'; });
  loop.StartTimer(4ms, [&] { order += 'b'; });
  std::this_thread::sleep_for(8ms);

  EXPECT_EQ(loop.RunOnce(0), 3);
  EXPECT_EQ(order, "abc");
}

TEST(EventLoop, ATimerRepeatsUntilStopped) {
  EventLoop loop;
  int fired = 0;
  const EventLoop::TimerId timer = loop.StartTimer(1ms, [&] { ++fired; });
  ASSERT_TRUE(RunUntil(loop, [&] { return fired == 3; }));

  loop.StopTimer(timer);
  EXPECT_FALSE(loop.IsTimerActive(timer));
  EXPECT_EQ(loop.timerCount(), 0u);
  std::this_thread::sleep_for(3ms);
  EXPECT_EQ(loop.RunOnce(0), 0);
  EXPECT_EQ(fired, 3);
}

TEST(EventLoop, ATimerStoppedEarlierInThePassDoesNotRun) {
  EventLoop loop;
  EventLoop::TimerId first = 0;
  EventLoop::TimerId second = 0;
  int fired = 0;
  // Equal intervals may give equal deadlines, so whichever runs first stops the other.
  first = loop.StartTimer(1ms, [&] {
    ++fired;
    loop.StopTimer(second);
  });
  second = loop.StartTimer(1ms, [&] {
    ++fired;
    loop.StopTimer(first);
  });
  std::this_thread::sleep_for(3ms);

  EXPECT_EQ(loop.RunOnce(0), 1);
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(loop.timerCount(), 1u);
}

TEST(EventLoopDeathTest, AZeroIntervalTimerFiresOncePerPass) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // A pass that never ends cannot be watched from inside it, so it runs in a child on an alarm.
  EXPECT_EXIT(
      {
        ::alarm(1);
        EventLoop loop;
        int fired = 0;
        loop.StartTimer(0ms, [&] { ++fired; });
        loop.RunOnce(0);
        loop.RunOnce(0);
        std::fprintf(stderr, "fired %d times\n", fired);
        std::_Exit(fired == 2 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "fired 2 times");
}

TEST(EventLoop, BlockingPassWakesForTheNextTimer) {
  EventLoop loop;
  int fired = 0;
  loop.StartTimer(5ms, [&] { ++fired; });
  Watchdog watchdog(loop);
  EXPECT_NO_THROW(loop.RunOnce(-1));
  EXPECT_EQ(fired, 1);
}

TEST(EventLoop, MillisecondsUntilNextTimer) {
  EventLoop loop;
  EXPECT_EQ(loop.MillisecondsUntilNextTimer(), std::nullopt);

  const EventLoop::TimerId soon = loop.StartTimer(50ms, [] {});
  std::optional<long long> next = loop.MillisecondsUntilNextTimer();
  ASSERT_TRUE(next.has_value());
  EXPECT_GT(*next, 0);
  EXPECT_LE(*next, 50);

  // The stopped timer's heap entry is still first in line; it must not count.
  loop.StartTimer(1h, [] {});
  loop.StopTimer(soon);
  next = loop.MillisecondsUntilNextTimer();
  ASSERT_TRUE(next.has_value());
  EXPECT_GT(*next, 59 * 60 * 1000);

  const EventLoop::TimerId overdue = loop.StartTimer(1ms, [] {});
  std::this_thread::sleep_for(3ms);
  EXPECT_EQ(loop.MillisecondsUntilNextTimer(), 0);
  loop.StopTimer(overdue);
}

TEST(EventLoop, ManyStartStopCyclesLeaveTheRemainingTimerWorking) {
  EventLoop loop;
  int fired = 0;
  loop.StartTimer(1ms, [&] { ++fired; });
  // Late deadlines never reach the top of the heap, so only a rebuild clears them out.
  for (int i = 0; i < 100000; ++i) loop.StopTimer(loop.StartTimer(1h, [] {}));

  EXPECT_EQ(loop.timerCount(), 1u);
  ASSERT_TRUE(loop.MillisecondsUntilNextTimer().has_value());
  EXPECT_LE(*loop.MillisecondsUntilNextTimer(), 1);
  EXPECT_TRUE(RunUntil(loop, [&] { return fired > 0; }));
}

// --- Posted work -----------------------------------------------------------------------------

TEST(EventLoop, WorkPostedFromAnotherThreadWakesABlockedPass) {
  EventLoop loop;
  std::atomic<std::thread::id> ranOn{};
  std::thread poster([&] {
    std::this_thread::sleep_for(10ms);
    loop.Post([&] { ranOn = std::this_thread::get_id(); });
  });

  const Clock::time_point start = Clock::now();
  loop.RunOnce(1000);
  const Clock::duration waited = Clock::now() - start;
  poster.join();

  EXPECT_EQ(ranOn.load(), std::this_thread::get_id());
  EXPECT_LT(waited, 900ms) << "the post did not wake the pass";
}

TEST(EventLoop, PostedWorkRunsLaterInTheSamePassButWorkItPostsWaits) {
  EventLoop loop;
  Fd fd = MakeReadableEventFd();
  std::string order;
  const EventLoop::WatchId watch = loop.Watch(fd.get(), true, false, [&](std::uint32_t) {
    loop.Post([&] {
      order += 'b';
      loop.Post([&] { order += 'c'; });
    });
    order += 'a';
  });

  loop.RunOnce(0);
  loop.Unwatch(watch);
  EXPECT_EQ(order, "ab");
  loop.RunOnce(0);
  EXPECT_EQ(order, "abc");
}

// A socket asks for its end-of-pass work on every send; the work runs once per request, after
// the pass's events and before its deferred tasks, and a request from the work waits a pass.
TEST(EventLoop, EndOfPassWorkRunsAfterTheEventsOfItsPass) {
  EventLoop loop;
  Fd fd = MakeReadableEventFd();
  std::string order;
  EventLoop::WatchId watch = 0;
  bool again = true;
  watch = loop.Watch(
      fd.get(), true, false,
      [&](std::uint32_t) {
        order += 'e';
        loop.Defer([&] { order += 'd'; });
        loop.RequestAfterPass(watch);
      },
      [&] {
        order += 'w';
        if (std::exchange(again, false)) loop.RequestAfterPass(watch);
      });
  loop.RunOnce(0);
  EXPECT_EQ(order, "ewd");
  loop.SetInterest(watch, false, false);
  loop.RunOnce(0);
  EXPECT_EQ(order, "ewdw");
}

TEST(EventLoop, EndOfPassWorkIsDroppedWithItsWatchAndWakesAHostLoop) {
  EventLoop loop;
  FdPair pipe = MakePipe();
  int ran = 0;
  const EventLoop::WatchId watch = loop.Watch(pipe.first.get(), true, false, [](std::uint32_t) {}, [&] { ++ran; });
  // Asked for outside a pass, as a window's action sends: the host must wake for it.
  loop.RequestAfterPass(watch);
  EXPECT_TRUE(IsReadable(loop.epollFd()));
  loop.RunOnce(0);
  EXPECT_EQ(ran, 1);
  loop.RequestAfterPass(watch);
  loop.Unwatch(watch);
  loop.RunOnce(0);
  EXPECT_EQ(ran, 1);
}

// Work asked for by end-of-pass work waits for the next pass (a socket's report that its sends
// completed); a host that arms its timer by the loop runs that pass at once, not at the next
// event.
TEST(EventLoop, EndOfPassWorkForTheNextPassIsDueAtOnceForAHostLoop) {
  EventLoop loop;
  FdPair pipe = MakePipe();
  int ran = 0;
  EventLoop::WatchId watch = 0;
  watch = loop.Watch(pipe.first.get(), true, false, [](std::uint32_t) {}, [&] {
    if (++ran == 1) loop.RequestAfterPass(watch);
  });
  EXPECT_FALSE(loop.MillisecondsUntilNextTimer().has_value());
  loop.RequestAfterPass(watch);
  loop.RunOnce(0);
  ASSERT_EQ(ran, 1);
  EXPECT_EQ(loop.MillisecondsUntilNextTimer(), 0);
  loop.RunOnce(0);
  EXPECT_EQ(ran, 2);
  EXPECT_FALSE(loop.MillisecondsUntilNextTimer().has_value());
}

TEST(EventLoop, EpollDescriptorSignalsPendingWorkToAHostLoop) {
  EventLoop loop;
  EXPECT_FALSE(IsReadable(loop.epollFd()));

  loop.Post([] {});
  EXPECT_TRUE(IsReadable(loop.epollFd()));
  loop.RunOnce(0);
  EXPECT_FALSE(IsReadable(loop.epollFd()));

  FdPair pipe = MakePipe();
  loop.Watch(pipe.first.get(), true, false, [](std::uint32_t) {});
  WriteByte(pipe.second.get());
  EXPECT_TRUE(IsReadable(loop.epollFd()));
}

TEST(EventLoop, APosterOutlivesItsLoop) {
  auto loop = std::make_unique<EventLoop>();
  const EventLoop::Poster post = loop->MakePoster();
  const auto token = std::make_shared<int>(0);
  post([token] {});
  std::atomic<bool> stop{false};
  std::atomic<int> posts{0};
  std::thread resolver([&] {
    while (!stop) {
      post([] {});
      ++posts;
    }
  });
  const auto waitForPosts = [&](int count) {
    for (int i = 0; i < 1000 && posts < count; ++i) std::this_thread::sleep_for(1ms);
  };

  waitForPosts(100);
  loop.reset();
  EXPECT_EQ(token.use_count(), 1) << "work pending at destruction is released";
  const int postsBeforeDestruction = posts;
  waitForPosts(postsBeforeDestruction + 100);
  stop = true;
  resolver.join();

  post([token] {});
  EXPECT_EQ(token.use_count(), 1) << "work posted to a dead loop is dropped";
}

// --- Run and Stop ----------------------------------------------------------------------------

TEST(EventLoop, StopFromACallbackEndsRunAndRunCanResume) {
  EventLoop loop;
  int fired = 0;
  loop.StartTimer(1ms, [&] {
    if (++fired % 3 == 0) loop.Stop();
  });
  Watchdog watchdog(loop);

  EXPECT_NO_THROW(loop.Run());
  EXPECT_EQ(fired, 3);
  EXPECT_NO_THROW(loop.Run());
  EXPECT_EQ(fired, 6);
}

}  // namespace
}  // namespace velmorin
