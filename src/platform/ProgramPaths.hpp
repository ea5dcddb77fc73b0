#pragma once
// The program directory and the files the server keeps in it. Process-wide; start-up sets the
// program directory once, tests point it at a temporary directory.

#include <string>

namespace velmorin {

struct ProgramPaths {
  std::string programDirectory;  // always ends in "/"
  std::string configDirectory;   // programDirectory + "config/"
  std::string languageDirectory;
  std::string pluginDirectory;
  std::string logDirectory;      // the default log path
  std::string settingsFile;      // config/server.cfg
  std::string usersFile;         // config/users.cfg
  std::string chatroomsFile;     // config/chatrooms.cfg
  std::string banFile;           // config/ban.cfg
  std::string welcomeFile;       // config/welcome.msg
  std::string runDirectory;      // run/: the instance lock and the control socket (mode 0700, 0750 for an admin group)
  std::string controlSocket;     // run/control.sock
};

const ProgramPaths& Paths();

// Sets the program directory (a missing final "/" is added) and every path derived from it.
void SetProgramDirectory(std::string directory);

// The directory of the running executable, ending in "/".
std::string ExecutableDirectory();

// The running version: major, minor and revision joined by ".".
std::string RunningVersion();

}  // namespace velmorin
