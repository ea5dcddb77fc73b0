#pragma once
// Desktop mode of velmorin-server: the main window as the server's front end, Qt's event loop
// driving the server's (CoreLoopDriver), the control socket for velmorin-ctl as in headless
// mode. SIGHUP re-reads the configuration; SIGTERM and SIGINT close the window without the stop
// question, through the same shutdown as its close box.
//
// Call it after the settings and the language are loaded, as headless mode. Returns the exit
// status, 0: a server that cannot go online at start keeps its window open, with the reason in
// its log, so that the administrator can choose another port.
//
// RunDesktop is the part after the QApplication exists: it opens the window and starts the
// server, reporting each step to the splash (SplashWindow, when ShowSplashScreen is set), closes
// the splash, connects the server's loop to Qt's, then hands the open window to `runWindow`
// (Qt's loop in the program) and closes everything down when that returns. With `askLanguage`
// (LanguageQuestionDue before the automatic choice was stored) the language chooser opens over
// the window from the first pass of Qt's loop, with the server online (LanguageAtStart.hpp).

#include <functional>

namespace velmorin {

class ChatServer;
class MainWindow;
class StartupSplash;

int RunWindowMode(int& argc, char** argv, bool askLanguage);

int RunDesktop(int signalFd, StartupSplash& splash, const std::function<void(MainWindow&, ChatServer&)>& runWindow,
               bool askLanguage = false);

}  // namespace velmorin
