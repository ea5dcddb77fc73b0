#pragma once
// Runs the server's event loop inside Qt's: the window's thread is the server's thread.
//
// The loop's epoll descriptor is watched with a QSocketNotifier; each activation runs one
// pass that does not wait (RunOnce(0)), which drains what is ready (the notifier is
// level-triggered: a pass that left events behind fires it again at once). The loop's next
// timer deadline is a single-shot QTimer, armed again whenever Qt is about to wait, so a timer
// started from a menu action is seen as well as one started inside a pass.
//
// A pass never runs inside another: when a pass opens a modal dialog (a question), Qt's nested
// loop would fire the notifier again; the notifier is switched off until the outer pass ends.

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

namespace velmorin {

class EventLoop;

class CoreLoopDriver : public QObject {
  Q_OBJECT

 public:
  explicit CoreLoopDriver(EventLoop& loop, QObject* parent = nullptr);
  ~CoreLoopDriver() override;

  // One pass of the server's loop without waiting, unless a pass is running already.
  void RunPass();
  // Passes run so far (for tests: the loop really is driven).
  unsigned long long passes() const { return passes_; }

 private:
  void ArmTimer();

  EventLoop& loop_;
  QSocketNotifier notifier_;
  QTimer timer_;
  bool inPass_ = false;
  unsigned long long passes_ = 0;
};

}  // namespace velmorin
