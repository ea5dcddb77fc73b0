#include <benchmark/benchmark.h>

#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/EventLoop.hpp"

namespace velmorin {
namespace {

using namespace std::chrono_literals;

// N descriptors stay readable (nobody reads the eventfds), so every pass dispatches all of them:
// one epoll_wait plus N lookups and callbacks. Per-event time is the figure to watch.
void BM_DispatchReadyEvents(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  EventLoop loop;
  std::vector<int> fds;
  std::int64_t calls = 0;
  for (int i = 0; i < count; ++i) {
    fds.push_back(::eventfd(1, EFD_NONBLOCK | EFD_CLOEXEC));
    loop.Watch(fds.back(), true, false, [&calls](std::uint32_t) { ++calls; });
  }
  for (auto _ : state) benchmark::DoNotOptimize(loop.RunOnce(0));
  if (calls != state.iterations() * count) state.SkipWithError("not every ready descriptor was dispatched");
  state.SetItemsProcessed(calls);
  for (const int fd : fds) ::close(fd);
}
BENCHMARK(BM_DispatchReadyEvents)->Arg(1)->Arg(16)->Arg(256);

// A busy server: tens of thousands of send timers live while one more is armed and disarmed.
// The cost includes the heap rebuilds that stopped timers trigger now and then.
void BM_TimerStartStopAmongLiveTimers(benchmark::State& state) {
  const int live = static_cast<int>(state.range(0));
  EventLoop loop;
  // Deadlines spread over an hour, so a new timer lands in the middle of the heap.
  for (int i = 0; i < live; ++i) loop.StartTimer(1h + std::chrono::milliseconds((i * 7919) % 3'600'000), [] {});
  for (auto _ : state) loop.StopTimer(loop.StartTimer(90min, [] {}));
  if (loop.timerCount() != static_cast<std::size_t>(live)) state.SkipWithError("timer count drifted");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TimerStartStopAmongLiveTimers)->Arg(50'000);

// Post then run: mutex, eventfd write, the wake-up read and the task itself. A batch shows what
// a burst of resolver results costs per task.
void BM_PostAndRun(benchmark::State& state) {
  const int batch = static_cast<int>(state.range(0));
  EventLoop loop;
  std::int64_t ran = 0;
  for (auto _ : state) {
    for (int i = 0; i < batch; ++i) loop.Post([&ran] { ++ran; });
    loop.RunOnce(0);
  }
  if (ran != state.iterations() * batch) state.SkipWithError("posted work was lost");
  state.SetItemsProcessed(ran);
}
BENCHMARK(BM_PostAndRun)->Arg(1)->Arg(64);

}  // namespace
}  // namespace velmorin
