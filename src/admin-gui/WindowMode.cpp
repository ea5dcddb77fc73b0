#include "admin-gui/WindowMode.hpp"


#include <QApplication>
#include <QTimer>
#include <iostream>

#include "admin-gui/CoreLoopDriver.hpp"
#include "admin-gui/LanguageAtStart.hpp"
#include "admin-gui/MainWindow.hpp"
#include "admin-gui/SplashWindow.hpp"
#include "admin/AdminService.hpp"
#include "admin/ProcessControl.hpp"
#include "config/Settings.hpp"
#include "platform/EventLoop.hpp"
#include "platform/ProgramPaths.hpp"
#include "server/ChatServer.hpp"

namespace velmorin {

int RunWindowMode(int& argc, char** argv, bool askLanguage) {
  // Blocked before Qt starts its threads, so that every thread leaves them to the signalfd.
  const int signalFd = BlockControlSignals();

  QApplication application(argc, argv);
  QApplication::setApplicationName("Velmorin Server");
  StartupSplash splash(ServerSettings.Start.ShowSplashScreen, Paths().languageDirectory + ServerSettings.Info.Language);
  return RunDesktop(signalFd, splash, [](MainWindow&, ChatServer&) { QApplication::exec(); }, askLanguage);
}

int RunDesktop(int signalFd, StartupSplash& splash, const std::function<void(MainWindow&, ChatServer&)>& runWindow,
               bool askLanguage) {
  EventLoop& loop = MainLoop();
  {
    splash.Reach(StartupStep::Window);
    MainWindow window;
    splash.Reach(StartupStep::Server);
    ChatServer server(window);
    AdminService admin(server);
    // Closed from the next pass of Qt's loop, not from inside the server's pass.
    ProcessControl control(loop, signalFd, server, admin, [&window] {
      QMetaObject::invokeMethod(&window, [&window] { window.CloseWithoutQuestion(); }, Qt::QueuedConnection);
    });
    window.Attach(admin, [&] {
      control.Close();
      server.Unload();
    });
    splash.Reach(StartupStep::WindowState);
    window.LoadWindow(Paths().languageDirectory + ServerSettings.Info.Language);
    // The window has shown; the splash stays above it while the slowest step runs.
    splash.Raise();
    splash.Reach(StartupStep::Online);
    server.Load();
    splash.Reach(StartupStep::Ready);
    splash.Close();
    // Qt's loop drives the server's only from here: the splash's redraws during the start-up
    // serve no client, no velmorin-ctl request and no signal before the server has loaded.
    CoreLoopDriver driver(loop);
    if (askLanguage) QTimer::singleShot(0, &window, [&window, &admin] { AskLanguageOverWindow(window, admin); });
    runWindow(window, server);
    if (!window.Unloaded()) window.CloseWithoutQuestion();
    LetClosingConnectionsFinish(loop);
  }
  std::cout.flush();
  return 0;
}

}  // namespace velmorin
