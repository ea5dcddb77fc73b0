#pragma once
// How a running server process is administered from outside, the same in headless and desktop
// mode: the control socket for velmorin-ctl, SIGHUP (re-read the configuration files and apply
// them) and SIGTERM/SIGINT (end, through the mode's own close). A service manager is told of the
// reload (RELOADING=1, then READY=1) and of the stop (STOPPING=1); see platform/ServiceNotify.
//
//   const int signalFd = BlockControlSignals();   before any other thread starts, so that
//                                                  every thread leaves the three to the signalfd
//   {
//     ProcessControl control(loop, signalFd, server, admin, stop);   socket open, signals watched
//     ...
//     control.Close();                              before the server unloads: the socket closes
//                                                   and the signals are no longer watched
//     LetClosingConnectionsFinish(loop);            a moment for what closing connections hold
//   }                                               the signalfd closed

#include <functional>

#include "admin/ControlRegistry.hpp"
#include "admin/ControlServer.hpp"
#include "platform/EventLoop.hpp"

namespace velmorin {

class AdminService;
class ChatServer;

int BlockControlSignals();

class ProcessControl {
 public:
  // `stop` runs on the loop thread for SIGTERM and SIGINT. A socket that cannot be opened is
  // reported on standard error; the server runs on without it.
  ProcessControl(EventLoop& loop, int signalFd, ChatServer& server, AdminService& admin, std::function<void()> stop);
  ~ProcessControl();
  ProcessControl(const ProcessControl&) = delete;
  ProcessControl& operator=(const ProcessControl&) = delete;

  void Close();

 private:
  EventLoop& loop_;
  int signalFd_;
  ControlRegistry registry_;
  ControlServer control_;
  EventLoop::WatchId signalWatch_;
  bool watching_ = true;
};

// Runs the loop for up to two seconds while closing connections still deliver what they hold.
void LetClosingConnectionsFinish(EventLoop& loop);

}  // namespace velmorin
