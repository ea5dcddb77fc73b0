#pragma once
// The process's event loop: epoll readiness (level-triggered), a timer queue and work posted
// from other threads, all delivered on the thread that runs the loop.
//
// Embedding: a host with its own loop (the Qt window) watches epollFd() for readability and
// calls RunOnce(0) whenever it is readable, and arms a single-shot timer for
// MillisecondsUntilNextTimer(). Headless mode calls Run().
//
// Callbacks may add and remove watches and timers, post work and stop the loop; a watch or timer
// removed while events for it are pending is not called again.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <queue>
#include <unordered_map>
#include <vector>

namespace velmorin {

class EventLoop {
 public:
  using WatchId = std::uint64_t;
  using TimerId = std::uint64_t;
  // Receives the epoll event bits (EPOLLIN, EPOLLOUT, EPOLLERR, EPOLLHUP, EPOLLRDHUP).
  using WatchCallback = std::function<void(std::uint32_t events)>;
  using TimerCallback = std::function<void()>;
  using Task = std::function<void()>;

  EventLoop();
  ~EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Readiness of a descriptor. Returns 0 when none (the descriptor cannot be watched; errno set).
  // `afterPass` is the watch's end-of-pass work, run when RequestAfterPass asks for it.
  WatchId Watch(int fd, bool readable, bool writable, WatchCallback callback, Task afterPass = {});
  // Changes the interest of a watch: 0, ENOENT when the watch is unknown, or the errno of epoll.
  int SetInterest(WatchId watch, bool readable, bool writable);
  // Loop thread only: runs the watch's end-of-pass work once at the end of the current pass, after
  // every event, timer and posted task of it and before the deferred tasks (outside a pass, in the
  // next one, which it wakes). Each request is one call, so the owner asks once per pass; a
  // request made by end-of-pass work runs in the next pass. Dropped when the watch goes first.
  // This is how a socket sends everything a pass queued for it in one system call.
  void RequestAfterPass(WatchId watch);
  // Stops the watch; pending events and end-of-pass work for it are dropped. Unknown ids are ignored. Call it before
  // closing the descriptor: a reused descriptor number would otherwise lose its new watch.
  void Unwatch(WatchId watch);

  // Starts a timer that fires every `interval` until stopped (a callback may stop its own timer).
  // Start and stop are O(log n) and O(1).
  TimerId StartTimer(std::chrono::milliseconds interval, TimerCallback callback);
  void StopTimer(TimerId timer);
  bool IsTimerActive(TimerId timer) const;

  // Runs the task on the loop thread, after the current event; safe from any thread.
  void Post(Task task);
  // Loop thread only: runs the task at the end of the current pass, after every event, timer and
  // posted task of it, without a system call (outside a pass it is posted instead, so an
  // embedding host wakes up for it). Tasks deferred from a deferred task run in the next pass.
  void Defer(Task task);

  // One pass: waits up to timeoutMs (-1: until the next timer or event; 0: not at all), then runs
  // the ready events, the due timers and the posted work. Returns the number of callbacks run.
  int RunOnce(int timeoutMs = -1);
  // Runs passes until Stop(). Stop() is for the loop thread (a callback); other threads post it.
  void Run();
  void Stop();

  int epollFd() const { return epollFd_; }
  // Milliseconds until the earliest timer is due (0 when overdue, or when end-of-pass work waits
  // for the next pass); nothing when no timer runs and no such work waits.
  std::optional<long long> MillisecondsUntilNextTimer() const;

  std::size_t watchCount() const { return watches_.size(); }
  std::size_t timerCount() const { return timers_.size(); }

 private:
  using Clock = std::chrono::steady_clock;

  struct WatchHandlers {
    WatchCallback ready;
    Task afterPass;
  };
  struct WatchEntry {
    int fd;
    std::uint32_t interest;
    std::shared_ptr<WatchHandlers> handlers;
  };
  struct Timer {
    std::chrono::milliseconds interval;
    Clock::time_point due;
    std::shared_ptr<TimerCallback> callback;
  };
  struct HeapEntry {
    Clock::time_point due;
    TimerId id;
    bool operator>(const HeapEntry& other) const { return due > other.due; }
  };
  // Shared with posting threads, which may outlive the loop.
  struct PostQueue {
    std::mutex mutex;
    std::vector<Task> tasks;
    int eventFd = -1;
  };

  int RunDueTimers();
  int RunPostedTasks();
  int RunDeferredTasks();
  int RunAfterPassWork();
  void DropStaleHeapEntries() const;

  int epollFd_ = -1;
  bool stopped_ = false;
  bool inPass_ = false;
  std::vector<Task> deferred_;
  std::vector<WatchId> afterPass_;         // watches whose end-of-pass work was asked for
  std::vector<WatchId> afterPassRunning_;  // the requests being run (kept for its capacity)
  WatchId nextWatch_ = 1;
  TimerId nextTimer_ = 1;
  std::unordered_map<WatchId, WatchEntry> watches_;
  std::unordered_map<TimerId, Timer> timers_;
  // Lazily cleaned: entries of stopped or rescheduled timers are skipped when they reach the top.
  mutable std::priority_queue<HeapEntry, std::vector<HeapEntry>, std::greater<>> heap_;
  std::shared_ptr<PostQueue> posted_;
  WatchId postWatch_ = 0;

 public:
  // For work posted from threads that may outlive the loop.
  class Poster {
   public:
    void operator()(Task task) const;

   private:
    friend class EventLoop;
    std::shared_ptr<PostQueue> queue_;
  };
  Poster MakePoster() const;
};

// The one loop of the process.
EventLoop& MainLoop();

// Raises the limit of open descriptors to its hard limit so that many connections fit.
void RaiseDescriptorLimit();

}  // namespace velmorin
