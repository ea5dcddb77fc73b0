#include "admin-gui/WindowMode.hpp"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <cstring>
#include <iostream>

#include "admin-gui/CoreLoopDriver.hpp"
#include "admin-gui/frmServer.hpp"
#include "admin/AdminService.hpp"
#include "admin/ControlServer.hpp"
#include "config/modSettings.hpp"
#include "net/LingeringSockets.hpp"
#include "platform/EventLoop.hpp"
#include "platform/ProgramPaths.hpp"
#include "server/clsServer.hpp"

namespace velmorin {

int RunWindowMode(int& argc, char** argv) {
  // Blocked before Qt starts its threads, so that every thread leaves them to the signalfd.
  sigset_t blocked;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGTERM);
  sigaddset(&blocked, SIGINT);
  sigaddset(&blocked, SIGHUP);
  sigprocmask(SIG_BLOCK, &blocked, nullptr);
  const int signalFd = signalfd(-1, &blocked, SFD_NONBLOCK | SFD_CLOEXEC);

  QApplication application(argc, argv);
  QApplication::setApplicationName("Velmorin Server");
  EventLoop& loop = MainLoop();
  CoreLoopDriver driver(loop);
  {
    frmServer window;
    clsServer server(window);
    AdminService admin(server);
    ControlRegistry registry;
    admin.RegisterControlCommands(registry);
    ControlServer control(loop, registry, server.Log().Feed(), RunningVersion());
    if (const int error = control.Open(Paths().controlSocket); error != 0) {
      std::cerr << "velmorin-server: no control socket at " << Paths().controlSocket << " (" << std::strerror(error)
                << "); velmorin-ctl cannot reach this server.\n";
    }
    const EventLoop::WatchId signalWatch = loop.Watch(signalFd, true, false, [&](std::uint32_t) {
      signalfd_siginfo info{};
      while (read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        if (info.ssi_signo == SIGHUP) {
          server.Log().WriteLogLine(server.Language().data("msgSignalHangup") + "\r\n", 0);
          admin.Settings().ReloadFromDisk();
        } else {
          // Closed from the next pass of Qt's loop, not from inside the server's pass.
          QMetaObject::invokeMethod(&window, [&window] { window.CloseWithoutQuestion(); }, Qt::QueuedConnection);
        }
      }
    });
    window.Attach(admin, [&] {
      control.Close();
      server.Unload();
    });
    window.LoadWindow(Paths().languageDirectory + ServerSettings.Info.Language);
    server.Load();
    application.exec();
    if (!window.Unloaded()) window.CloseWithoutQuestion();
    loop.Unwatch(signalWatch);
    // Give closing connections a moment to deliver what they still hold.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (LingeringSocketCount() > 0 && std::chrono::steady_clock::now() < deadline) loop.RunOnce(50);
  }
  close(signalFd);
  std::cout.flush();
  return 0;
}

}  // namespace velmorin
