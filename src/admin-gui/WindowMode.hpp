#pragma once
// Desktop mode of velmorin-server: the main window as the server's front end, Qt's event loop
// driving the server's (CoreLoopDriver), the control socket for velmorin-ctl as in headless
// mode. SIGHUP re-reads the configuration; SIGTERM and SIGINT close the window without the stop
// question, through the same shutdown as its close box.
//
// Call it after the settings and the language are loaded, as headless mode. Returns the exit
// status, 0: a server that cannot go online at start keeps its window open, with the reason in
// its log, so that the administrator can choose another port.

namespace velmorin {

int RunWindowMode(int& argc, char** argv);

}  // namespace velmorin
