// The main window's log view under load: a batch of lines per pass once the view is at its
// bound, a scroll to the oldest line of a full view, and what a log of a million lines holds
// in memory. Runs with any Qt platform; QT_QPA_PLATFORM=offscreen needs no display.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QScrollBar>
#include <QTextDocument>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "admin-gui/LogViewWidget.hpp"

namespace velmorin {
namespace {

constexpr int kLinesPerPass = 100;

double ResidentMiB() {
  long pages = 0, resident = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// A shown view whose end-of-pass writes run when the bench ends a pass, followed by the
// repaint the window's loop would do. By default every pass writes its lines: the view's
// worst case.
struct ShownView {
  std::vector<std::function<void()>> scheduled;
  LogViewWidget view{nullptr, [this](std::function<void()> task) { scheduled.push_back(std::move(task)); }};
  long next = 0;

  explicit ShownView(std::chrono::milliseconds writeInterval = std::chrono::milliseconds(0)) {
    view.SetWriteInterval(writeInterval);
    view.resize(900, 600);
    view.show();
    QApplication::processEvents();
  }
  void Pass() {
    for (int i = 0; i < kLinesPerPass; ++i, ++next) {
      view.AppendLine("[11.12.2026 04:12:31] User guest" + std::to_string(next) +
                          " (127.0.0.1) logged in and joined the chatroom Lobby.",
                      next % 3 == 0 ? 0x008000 : 0x000000);
    }
    auto tasks = std::move(scheduled);
    scheduled.clear();
    for (auto& task : tasks) task();
    QApplication::processEvents();
  }
  void FillTo(long lines) {
    while (next < lines) Pass();
  }
};

void BM_LogViewPassAtBound(benchmark::State& state) {
  static ShownView* full = [] {
    auto* shown = new ShownView;
    shown->FillTo(kMaxLogViewLines);
    return shown;
  }();
  for (auto _ : state) full->Pass();
  state.SetItemsProcessed(state.iterations() * kLinesPerPass);
}
BENCHMARK(BM_LogViewPassAtBound)->Unit(benchmark::kMillisecond);

void BM_LogViewScrollToOldestWhenFull(benchmark::State& state) {
  ShownView shown;
  shown.FillTo(kMaxLogViewLines);
  QScrollBar* bar = shown.view.verticalScrollBar();
  bool top = false;
  for (auto _ : state) {
    bar->setValue(top ? bar->maximum() : 0);
    top = !top;
    QApplication::processEvents();
  }
}
BENCHMARK(BM_LogViewScrollToOldestWhenFull)->Unit(benchmark::kMillisecond);

// The argument is the write interval in milliseconds: 0 writes every pass, 100 is the window's.
void BM_LogViewMillionLines(benchmark::State& state) {
  for (auto _ : state) {
    const double before = ResidentMiB();
    ShownView shown{std::chrono::milliseconds(state.range(0))};
    shown.FillTo(1000000);
    shown.view.FlushQueue();
    state.counters["held_MiB"] = ResidentMiB() - before;
    state.counters["lines_kept"] = shown.view.document()->blockCount();
  }
}
BENCHMARK(BM_LogViewMillionLines)->Arg(0)->Arg(100)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace velmorin

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
