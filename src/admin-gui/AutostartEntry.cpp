#include "admin-gui/AutostartEntry.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/AtomicFile.hpp"

namespace velmorin {
namespace {

std::string ConfigHome() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.config";
}

std::string AutostartFolder() { return ConfigHome() + "/autostart"; }

// A quoted argument of an Exec line: inside double quotes, '"', '`', '$' and '\' are escaped,
// and the value's own backslashes are escaped once more, as the desktop entry format asks.
std::string QuotedExec(const std::string& path) {
  std::string quoted = "\"";
  for (const char c : path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += "\\\\";
    if (c == '%') {
      quoted += "%%";
      continue;
    }
    quoted += c;
  }
  return quoted + "\"";
}

int MakeFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) return 0;
  if (errno != ENOENT) return errno;
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return ENOENT;
  if (const int error = MakeFolder(path.substr(0, slash)); error != 0) return error;
  return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST ? 0 : errno;
}

}  // namespace

std::string AutostartEntryPath() { return AutostartFolder() + "/velmorin-server.desktop"; }

bool AutostartEnabled() { return ::access(AutostartEntryPath().c_str(), F_OK) == 0; }

int WriteAutostartEntry(const std::string& executable) {
  if (executable.empty() || executable.front() != '/') return EINVAL;
  for (const char c : executable) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return EINVAL;
  }
  if (const int error = MakeFolder(AutostartFolder()); error != 0) return error;
  const std::string entry =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=Velmorin Server\n"
      "Comment=Chat server\n"
      "Exec=" + QuotedExec(executable) + "\n"
      "Terminal=false\n"
      "X-GNOME-Autostart-enabled=true\n";
  return WriteFileAtomically(AutostartEntryPath(), entry);
}

int RemoveAutostartEntry() {
  if (::unlink(AutostartEntryPath().c_str()) == 0 || errno == ENOENT) return 0;
  return errno;
}

}  // namespace velmorin
