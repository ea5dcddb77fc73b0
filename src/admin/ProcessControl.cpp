#include "admin/ProcessControl.hpp"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <iostream>

#include "admin/AdminService.hpp"
#include "net/LingeringSockets.hpp"
#include "platform/AdminGroup.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/ServiceNotify.hpp"
#include "server/ChatServer.hpp"

namespace velmorin {

int BlockControlSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGHUP);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  return signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
}

namespace {

ControlRegistry& Registered(ControlRegistry& registry, AdminService& admin) {
  admin.RegisterControlCommands(registry);
  return registry;
}

}  // namespace

ProcessControl::ProcessControl(EventLoop& loop, int signalFd, ChatServer& server, AdminService& admin,
                               std::function<void()> stop)
    : loop_(loop),
      signalFd_(signalFd),
      control_(loop, Registered(registry_, admin), server.Log().Feed(), RunningVersion()) {
  if (const int error = control_.Open(Paths().controlSocket, AdminGroupOf(Paths().programDirectory)); error != 0) {
    std::cerr << "velmorin-server: no control socket at " << Paths().controlSocket << " (" << std::strerror(error)
              << "); velmorin-ctl cannot reach this server.\n";
  }
  control_.SetAudit([&admin](std::optional<uid_t> peerUser, const std::vector<std::string>& words, const ControlReply& reply) {
    // Words that form no command attempted nothing.
    if (reply.status == ControlStatus::Usage || !ChangesSomething(words)) return;
    AdminAudit& audit = admin.Audit();
    audit.Record(audit.FromControl(peerUser), AuditedWords(words),
                 {reply.status == ControlStatus::Done, reply.notice, reply.message});
  });
  signalWatch_ = loop.Watch(signalFd, true, false, [this, &admin, stop = std::move(stop)](std::uint32_t) {
    signalfd_siginfo info{};
    AdminAudit& audit = admin.Audit();
    while (read(signalFd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
      const int signal = static_cast<int>(info.ssi_signo);
      if (signal == SIGHUP) {
        NotifyReloading();
        audit.Record(audit.FromSignal(signal), "reload", admin.Settings().ReloadFromDisk());
        NotifyServiceManager("READY=1");
      } else {
        NotifyServiceManager("STOPPING=1");
        audit.RecordStop(audit.StopBySignal(signal, static_cast<pid_t>(info.ssi_pid), static_cast<uid_t>(info.ssi_uid)));
        stop();
      }
    }
  });
}

void ProcessControl::Close() {
  control_.Close();
  if (watching_) loop_.Unwatch(signalWatch_);
  watching_ = false;
}

ProcessControl::~ProcessControl() {
  Close();
  if (signalFd_ >= 0) close(signalFd_);
}

void LetClosingConnectionsFinish(EventLoop& loop) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (LingeringSocketCount() > 0 && std::chrono::steady_clock::now() < deadline) loop.RunOnce(50);
}

}  // namespace velmorin
