#include "platform/ServiceNotify.hpp"

#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

namespace velmorin {
namespace {

// The socket address for NOTIFY_SOCKET's value; its length, or 0 for a value that names none.
socklen_t NotifyAddress(std::string_view name, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  const bool abstract = name.starts_with('@');
  const bool path = name.starts_with('/');
  // An abstract name needs no terminating zero; a path does.
  if ((!abstract && !path) || name.size() < 2 || name.size() + (path ? 1 : 0) > sizeof address.sun_path) return 0;
  std::memcpy(address.sun_path, name.data(), name.size());
  if (abstract) address.sun_path[0] = '\0';
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size() + (path ? 1 : 0));
}

}  // namespace

int NotifyServiceManager(std::string_view state) {
  const char* name = std::getenv("NOTIFY_SOCKET");
  if (name == nullptr || *name == '\0') return 0;
  sockaddr_un address{};
  const socklen_t length = NotifyAddress(name, address);
  if (length == 0) return EAFNOSUPPORT;
  const int socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (socket < 0) return errno;
  int error = 0;
  if (::sendto(socket, state.data(), state.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address),
               length) < 0) {
    error = errno;
  }
  ::close(socket);
  return error;
}

int NotifyReloading() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  const long long microseconds = static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
  return NotifyServiceManager("RELOADING=1\nMONOTONIC_USEC=" + std::to_string(microseconds));
}

}  // namespace velmorin
