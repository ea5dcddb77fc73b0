#pragma once
// Runs an update at most once per interval: a request starts the interval, and every request
// until it ends is gathered into one run at its end. For what the server changes far faster
// than anyone can read, such as the log view and the status line during a storm of logins:
// laying out and painting text in the middle of the storm would slow the server itself, and
// a tenth of a second later nobody notices.
//
// An interval of 0 runs every request at once.

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>

namespace velmorin {

// How often the window shows what changes with every login: ten times a second.
inline constexpr std::chrono::milliseconds kDisplayUpdateInterval{100};

class Throttle : public QObject {
  Q_OBJECT

 public:
  Throttle(std::chrono::milliseconds interval, std::function<void()> update, QObject* parent = nullptr);

  void Request();
  bool Pending() const { return pending_; }
  void SetInterval(std::chrono::milliseconds interval) { interval_ = interval; }

 private:
  void IntervalEnded();

  std::chrono::milliseconds interval_;
  std::function<void()> update_;
  QTimer timer_;
  bool pending_ = false;
};

}  // namespace velmorin
