#include "platform/EventLoop.hpp"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <algorithm>
#include <cerrno>

namespace velmorin {
namespace {

constexpr int kMaxEventsPerPass = 256;

std::uint32_t InterestBits(bool readable, bool writable) {
  // Hang-ups and errors are always reported; RDHUP tells a peer's orderly close apart.
  return (readable ? EPOLLIN | EPOLLRDHUP : 0u) | (writable ? EPOLLOUT : 0u);
}

}  // namespace

EventLoop::EventLoop() : epollFd_(::epoll_create1(EPOLL_CLOEXEC)), posted_(std::make_shared<PostQueue>()) {
  posted_->eventFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  postWatch_ = Watch(posted_->eventFd, true, false, [this](std::uint32_t) {
    std::uint64_t count;
    while (::read(posted_->eventFd, &count, sizeof count) > 0) {
    }
  });
}

EventLoop::~EventLoop() {
  std::vector<Task> abandoned;
  {
    // Threads still holding the queue may post; they find a closed descriptor and give up.
    std::lock_guard<std::mutex> lock(posted_->mutex);
    ::close(posted_->eventFd);
    posted_->eventFd = -1;
    abandoned.swap(posted_->tasks);
  }
  abandoned.clear();  // outside the lock: a task's captures may post while they are destroyed
  ::close(epollFd_);
}

EventLoop::WatchId EventLoop::Watch(int fd, bool readable, bool writable, WatchCallback callback, Task afterPass) {
  const WatchId id = nextWatch_++;
  epoll_event event{};
  event.events = InterestBits(readable, writable);
  event.data.u64 = id;
  if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &event) != 0) return 0;
  watches_.emplace(id, WatchEntry{fd, event.events,
                                  std::make_shared<WatchHandlers>(WatchHandlers{std::move(callback), std::move(afterPass)})});
  return id;
}

int EventLoop::SetInterest(WatchId watch, bool readable, bool writable) {
  auto it = watches_.find(watch);
  if (it == watches_.end()) return ENOENT;
  const std::uint32_t bits = InterestBits(readable, writable);
  if (bits == it->second.interest) return 0;
  epoll_event event{};
  event.events = bits;
  event.data.u64 = watch;
  if (::epoll_ctl(epollFd_, EPOLL_CTL_MOD, it->second.fd, &event) != 0) return errno;
  it->second.interest = bits;
  return 0;
}

void EventLoop::Unwatch(WatchId watch) {
  auto it = watches_.find(watch);
  if (it == watches_.end()) return;
  ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, it->second.fd, nullptr);
  watches_.erase(it);
}

EventLoop::TimerId EventLoop::StartTimer(std::chrono::milliseconds interval, TimerCallback callback) {
  if (interval.count() < 0) interval = std::chrono::milliseconds(0);
  const TimerId id = nextTimer_++;
  const Clock::time_point due = Clock::now() + interval;
  timers_.emplace(id, Timer{interval, due, std::make_shared<TimerCallback>(std::move(callback))});
  heap_.push({due, id});
  // Stopped timers leave entries behind; rebuild once they outnumber the live ones.
  if (heap_.size() > 2 * timers_.size() + 64) {
    std::vector<HeapEntry> live;
    live.reserve(timers_.size());
    for (const auto& [timerId, timer] : timers_) live.push_back({timer.due, timerId});
    heap_ = decltype(heap_)(std::greater<>(), std::move(live));
  }
  return id;
}

void EventLoop::StopTimer(TimerId timer) { timers_.erase(timer); }

bool EventLoop::IsTimerActive(TimerId timer) const { return timers_.count(timer) != 0; }

void EventLoop::DropStaleHeapEntries() const {
  while (!heap_.empty()) {
    const HeapEntry& top = heap_.top();
    auto it = timers_.find(top.id);
    if (it != timers_.end() && it->second.due == top.due) return;
    heap_.pop();
  }
}

std::optional<long long> EventLoop::MillisecondsUntilNextTimer() const {
  // End-of-pass work asked for by the last pass is due at once: a host that arms its timer by
  // this runs the next pass without waiting for an event.
  if (!afterPass_.empty()) return 0;
  DropStaleHeapEntries();
  if (heap_.empty()) return std::nullopt;
  // Rounded up, so that a host waking at the deadline finds the timer due.
  const long long ms = std::chrono::ceil<std::chrono::milliseconds>(heap_.top().due - Clock::now()).count();
  return ms > 0 ? ms : 0;
}

int EventLoop::RunDueTimers() {
  const Clock::time_point now = Clock::now();
  // Collect first: only timers due at the start of the pass run, so a short interval cannot
  // keep the pass going. As with window timers, the next interval counts from now.
  std::vector<TimerId> due;
  while (true) {
    DropStaleHeapEntries();
    if (heap_.empty() || heap_.top().due > now) break;
    due.push_back(heap_.top().id);
    heap_.pop();
  }
  // Rescheduled only once every due timer is out of the heap: a zero interval puts a timer back
  // at `now`, which the collection above would take again, forever.
  for (const TimerId id : due) {
    Timer& timer = timers_.at(id);
    timer.due = now + timer.interval;
    heap_.push({timer.due, id});
  }
  int ran = 0;
  for (const TimerId id : due) {
    auto it = timers_.find(id);
    if (it == timers_.end()) continue;  // stopped by an earlier callback of this pass
    const std::shared_ptr<TimerCallback> callback = it->second.callback;  // may stop itself
    (*callback)();
    ++ran;
  }
  return ran;
}

int EventLoop::RunPostedTasks() {
  std::vector<Task> tasks;
  {
    std::lock_guard<std::mutex> lock(posted_->mutex);
    tasks.swap(posted_->tasks);
  }
  for (Task& task : tasks) task();
  return static_cast<int>(tasks.size());
}

void EventLoop::Post(Task task) { MakePoster()(std::move(task)); }

void EventLoop::Defer(Task task) {
  if (!inPass_) {
    Post(std::move(task));
    return;
  }
  deferred_.push_back(std::move(task));
}

void EventLoop::RequestAfterPass(WatchId watch) {
  afterPass_.push_back(watch);
  // Outside a pass nothing would run the work before the next event, even when other requests
  // wait (those made by end-of-pass work): wake the loop, whose embedding host waits for its
  // descriptor, with an empty posted task. Requests outside a pass are rare (a window's action).
  if (!inPass_) Post([] {});
}

int EventLoop::RunAfterPassWork() {
  afterPassRunning_.swap(afterPass_);
  int ran = 0;
  for (const WatchId watch : afterPassRunning_) {
    auto it = watches_.find(watch);
    if (it == watches_.end() || !it->second.handlers->afterPass) continue;
    const std::shared_ptr<WatchHandlers> handlers = it->second.handlers;  // the work may remove its watch
    handlers->afterPass();
    ++ran;
  }
  afterPassRunning_.clear();
  return ran;
}

int EventLoop::RunDeferredTasks() {
  std::vector<Task> tasks;
  tasks.swap(deferred_);
  for (Task& task : tasks) task();
  return static_cast<int>(tasks.size());
}

EventLoop::Poster EventLoop::MakePoster() const {
  Poster poster;
  poster.queue_ = posted_;
  return poster;
}

void EventLoop::Poster::operator()(Task task) const {
  if (!queue_) return;
  std::lock_guard<std::mutex> lock(queue_->mutex);
  if (queue_->eventFd < 0) return;
  const bool wasEmpty = queue_->tasks.empty();
  queue_->tasks.push_back(std::move(task));
  // One wake-up per batch: the loop takes every queued task when it wakes.
  if (!wasEmpty) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(queue_->eventFd, &one, sizeof one);
}

int EventLoop::RunOnce(int timeoutMs) {
  if (timeoutMs < 0) {
    if (const std::optional<long long> next = MillisecondsUntilNextTimer()) {
      timeoutMs = static_cast<int>(std::min<long long>(*next, 24LL * 3600 * 1000));
    }
  }
  if (!deferred_.empty() || !afterPass_.empty()) timeoutMs = 0;
  {
    std::lock_guard<std::mutex> lock(posted_->mutex);
    if (!posted_->tasks.empty()) timeoutMs = 0;
  }
  std::array<epoll_event, kMaxEventsPerPass> events;
  int ready = ::epoll_wait(epollFd_, events.data(), kMaxEventsPerPass, timeoutMs);
  if (ready < 0) ready = 0;  // EINTR: a signal arrived; the caller's loop looks at its flags
  int ran = 0;
  inPass_ = true;
  for (int i = 0; i < ready; ++i) {
    // epoll_event is packed: its fields are copied out rather than bound to references.
    const std::uint64_t watch = events[i].data.u64;
    const std::uint32_t readyBits = events[i].events;
    auto it = watches_.find(watch);
    if (it == watches_.end()) continue;  // removed by an earlier callback of this pass
    const std::shared_ptr<WatchHandlers> handlers = it->second.handlers;  // may remove its own watch
    handlers->ready(readyBits);
    ++ran;
  }
  ran += RunDueTimers();
  ran += RunPostedTasks();
  ran += RunAfterPassWork();
  ran += RunDeferredTasks();
  inPass_ = false;
  return ran;
}

void EventLoop::Run() {
  stopped_ = false;
  while (!stopped_) RunOnce(-1);
}

void EventLoop::Stop() { stopped_ = true; }

EventLoop& MainLoop() {
  static EventLoop loop;
  return loop;
}

void RaiseDescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
  limit.rlim_cur = limit.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace velmorin
