#include "platform/ProgramPaths.hpp"

#include <unistd.h>

#include <climits>

namespace velmorin {
namespace {

ProgramPaths paths;

}  // namespace

const ProgramPaths& Paths() { return paths; }

void SetProgramDirectory(std::string directory) {
  if (directory.empty() || directory.back() != '/') directory += '/';
  paths.programDirectory = directory;
  paths.configDirectory = directory + "config/";
  paths.languageDirectory = directory + "language/";
  paths.pluginDirectory = directory + "plugins/";
  paths.logDirectory = directory + "logs/";
  paths.settingsFile = paths.configDirectory + "server.cfg";
  paths.usersFile = paths.configDirectory + "users.cfg";
  paths.chatroomsFile = paths.configDirectory + "chatrooms.cfg";
  paths.banFile = paths.configDirectory + "ban.cfg";
  paths.welcomeFile = paths.configDirectory + "welcome.msg";
  paths.runDirectory = directory + "run/";
  paths.controlSocket = paths.runDirectory + "control.sock";
}

std::string ExecutableDirectory() {
  char buffer[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return "./";
  std::string path(buffer, static_cast<std::size_t>(length));
  return path.substr(0, path.rfind('/') + 1);
}

std::string RunningVersion() {
  return std::to_string(VELMORIN_VERSION_MAJOR) + "." + std::to_string(VELMORIN_VERSION_MINOR) +
         "." + std::to_string(VELMORIN_VERSION_REVISION);
}

}  // namespace velmorin
