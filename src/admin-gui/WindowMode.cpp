#include "admin-gui/WindowMode.hpp"


#include <QApplication>
#include <iostream>

#include "admin-gui/CoreLoopDriver.hpp"
#include "admin-gui/frmServer.hpp"
#include "admin/AdminService.hpp"
#include "admin/ProcessControl.hpp"
#include "config/modSettings.hpp"
#include "platform/EventLoop.hpp"
#include "platform/ProgramPaths.hpp"
#include "server/clsServer.hpp"

namespace velmorin {

int RunWindowMode(int& argc, char** argv) {
  // Blocked before Qt starts its threads, so that every thread leaves them to the signalfd.
  const int signalFd = BlockControlSignals();

  QApplication application(argc, argv);
  QApplication::setApplicationName("Velmorin Server");
  EventLoop& loop = MainLoop();
  CoreLoopDriver driver(loop);
  {
    frmServer window;
    clsServer server(window);
    AdminService admin(server);
    // Closed from the next pass of Qt's loop, not from inside the server's pass.
    ProcessControl control(loop, signalFd, server, admin, [&window] {
      QMetaObject::invokeMethod(&window, [&window] { window.CloseWithoutQuestion(); }, Qt::QueuedConnection);
    });
    window.Attach(admin, [&] {
      control.Close();
      server.Unload();
    });
    window.LoadWindow(Paths().languageDirectory + ServerSettings.Info.Language);
    server.Load();
    application.exec();
    if (!window.Unloaded()) window.CloseWithoutQuestion();
    LetClosingConnectionsFinish(loop);
  }
  std::cout.flush();
  return 0;
}

}  // namespace velmorin
