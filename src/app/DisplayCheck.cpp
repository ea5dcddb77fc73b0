#include "app/DisplayCheck.hpp"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace velmorin {
namespace {

// Connects to a local socket; an abstract name starts with '@'.
bool Accepts(const std::string& path) {
  sockaddr_un address{};
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.data(), path.size());
  if (path[0] == '@') address.sun_path[0] = '\0';
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
  const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
  ::close(fd);
  return connected;
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

}  // namespace

std::string UnreachableDisplay() {
  if (!Environment("QT_QPA_PLATFORM").empty()) return {};
  std::string tried;
  if (const std::string wayland = Environment("WAYLAND_DISPLAY"); !wayland.empty()) {
    const std::string path = wayland[0] == '/' ? wayland : Environment("XDG_RUNTIME_DIR") + "/" + wayland;
    if (Accepts(path)) return {};
    tried = "WAYLAND_DISPLAY " + wayland;
  }
  if (const std::string x = Environment("DISPLAY"); !x.empty()) {
    const std::size_t colon = x.rfind(':');
    const std::string host = colon == std::string::npos ? x : x.substr(0, colon);
    if (colon == std::string::npos || !(host.empty() || host == "unix")) return {};
    const std::string number = x.substr(colon + 1, x.find('.', colon) - colon - 1);
    const std::string socket = "/tmp/.X11-unix/X" + number;
    if (Accepts("@" + socket) || Accepts(socket)) return {};
    if (!tried.empty()) tried += ", ";
    tried += "DISPLAY " + x;
  }
  return tried.empty() ? "DISPLAY and WAYLAND_DISPLAY are empty" : tried;
}

}  // namespace velmorin
