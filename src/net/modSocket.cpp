#include "net/modSocket.hpp"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <unordered_map>

#include "i18n/LanguageFile.hpp"
#include "net/ctlSocket.hpp"
#include "platform/EventLoop.hpp"
#include "platform/Text.hpp"
#include "net/WinsockErrors.hpp"

namespace velmorin {
namespace {

// UDP over IPv4: 65535 minus the IP and UDP headers.
constexpr long kMaxDatagram = 65507;

struct Registration {
  ctlSocket* instance = nullptr;
  std::uint64_t token = 0;  // tells a reused descriptor number from the one registered before
  EventLoop::WatchId watch = 0;  // 0 while notifications are suspended
  bool readable = true;
  bool writable = false;
};

int serviceStarts = 0;
std::uint64_t nextToken = 1;
std::unordered_map<int, Registration> sockets;
long nextLookup = 1;
std::unordered_map<long, ctlSocket*> lookups;            // lookup handle -> instance
std::unordered_map<ctlSocket*, long> lookupOfInstance;   // instance -> its pending lookup
std::unordered_map<ctlSocket*, EventLoop::TimerId> sendTimers;
InterfaceSource interfaceSource;

Registration* Find(int socket, std::uint64_t token) {
  auto it = sockets.find(socket);
  return it == sockets.end() || it->second.token != token ? nullptr : &it->second;
}

int PendingError(int socket) {
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  return error;
}

bool IsStream(int socket) {
  int type = 0;
  socklen_t length = sizeof type;
  return ::getsockopt(socket, SOL_SOCKET, SO_TYPE, &type, &length) == 0 && type == SOCK_STREAM;
}

void Suspend(Registration& registration) {
  if (registration.watch == 0) return;
  MainLoop().Unwatch(registration.watch);
  registration.watch = 0;
}

// Turns epoll readiness into the notification codes of the socket's state.
void Deliver(int socket, std::uint64_t token, std::uint32_t events) {
  Registration* registration = Find(socket, token);
  if (registration == nullptr) return;
  ctlSocket& instance = *registration->instance;
  const long state = instance.State();
  if (state == sckClosed || state == sckError || state == sckResolvingHost || state == sckHostResolved) {
    // Nothing will take these events, and a socket without a connection reports hang-up for as
    // long as it is watched: pause until the instance becomes active again.
    Suspend(*registration);
    return;
  }
  if (events & EPOLLERR) {
    const int error = WinsockErrorOfErrno(PendingError(socket));
    const int code = state == sckConnecting ? kNotifyConnect : state == sckListening ? kNotifyAccept : kNotifyClose;
    instance.PostSocketEvent(code, error);
    return;
  }
  if (state == sckListening) {
    if (events & EPOLLIN) instance.PostSocketEvent(kNotifyAccept, 0);
    return;
  }
  if (state == sckConnecting) {
    if (events & (EPOLLOUT | EPOLLHUP)) {
      const int error = PendingError(socket);
      instance.PostSocketEvent(kNotifyConnect, error == 0 ? 0 : WinsockErrorOfErrno(error));
    }
    return;
  }
  if (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP)) {
    const bool peerClosed = (events & (EPOLLRDHUP | EPOLLHUP)) && IsStream(socket);
    instance.PostSocketEvent(peerClosed ? kNotifyClose : kNotifyRead, 0);
    if (Find(socket, token) == nullptr) return;
  }
  if (events & EPOLLOUT) instance.PostSocketEvent(kNotifyWrite, 0);
}

bool Arm(int socket, Registration& registration) {
  if (registration.watch != 0) {
    return MainLoop().SetInterest(registration.watch, registration.readable, registration.writable) == 0;
  }
  const std::uint64_t token = registration.token;
  registration.watch = MainLoop().Watch(socket, registration.readable, registration.writable,
                                        [socket, token](std::uint32_t events) { Deliver(socket, token, events); });
  return registration.watch != 0;
}

std::optional<std::vector<InterfaceAddress>> SystemInterfaces() {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return std::nullopt;
  std::vector<InterfaceAddress> result;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    char address[INET_ADDRSTRLEN] = "";
    char netmask[INET_ADDRSTRLEN] = "";
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr, address, sizeof address);
    if (entry->ifa_netmask != nullptr) {
      ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask)->sin_addr, netmask, sizeof netmask);
    }
    result.push_back({address, netmask});
  }
  ::freeifaddrs(list);
  return result;
}

std::optional<std::vector<InterfaceAddress>> Interfaces() {
  if (interfaceSource) return interfaceSource();
  // Asked for every discovery reply: a short-lived copy keeps a request flood cheap.
  static std::optional<std::vector<InterfaceAddress>> cached;
  static std::chrono::steady_clock::time_point readAt;
  const auto now = std::chrono::steady_clock::now();
  if (!cached || now - readAt > std::chrono::seconds(2)) {
    cached = SystemInterfaces();
    readAt = now;
  }
  return cached;
}

bool IsUsableInterfaceAddress(const std::string& address) {
  return !address.empty() && address != "0.0.0.0" && address != "127.0.0.1";
}

std::optional<std::uint32_t> ParseIPv4(const std::string& text) {
  in_addr parsed{};
  if (::inet_pton(AF_INET, text.c_str(), &parsed) != 1) return std::nullopt;
  return ntohl(parsed.s_addr);
}

// Runs on a resolver thread: looks the name up and posts the result to the loop.
void ResolveInBackground(std::string name, long handle, EventLoop::Poster post) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* result = nullptr;
  const int status = ::getaddrinfo(name.c_str(), nullptr, &hints, &result);
  std::string address;
  std::string canonical = name;
  int error = 0;
  if (status != 0 || result == nullptr) {
    error = WinsockErrorOfResolver(status);
  } else {
    char text[INET_ADDRSTRLEN] = "";
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr, text, sizeof text);
    address = text;
    if (result->ai_canonname != nullptr) canonical = result->ai_canonname;
  }
  if (result != nullptr) ::freeaddrinfo(result);
  post([handle, address, canonical, error] {
    auto it = lookups.find(handle);
    if (it == lookups.end()) return;  // cancelled: the instance is gone or asked again
    ctlSocket* instance = it->second;
    lookups.erase(it);
    lookupOfInstance.erase(instance);
    if (error != 0) {
      instance->PostGetHostEvent(0, "", "", error);
    } else {
      instance->PostGetHostEvent(handle, address, canonical, 0);
    }
  });
}

}  // namespace

SocketError MakeSocketError(int number, const std::string& source) {
  return SocketError{number, WinsockErrorText(number), source};
}

long InitWinsockService() {
  ++serviceStarts;
  return kMaxDatagram;
}

void StopWinsockService() {
  if (serviceStarts > 0) --serviceStarts;
}

bool RegisterSocket(int socket, ctlSocket& instance, SocketError& error) {
  Registration registration;
  registration.instance = &instance;
  registration.token = nextToken++;
  if (!Arm(socket, registration)) {
    error = MakeSocketError(WinsockErrorOfErrno(errno), "modSocket.RegisterSocket");
    return false;
  }
  sockets[socket] = registration;
  return true;
}

bool UnregisterSocket(int socket) {
  if (socket == -1) return false;
  auto it = sockets.find(socket);
  if (it == sockets.end()) return false;
  Suspend(it->second);
  sockets.erase(it);
  return true;
}

void SetWriteInterest(int socket, bool enabled) {
  auto it = sockets.find(socket);
  if (it == sockets.end() || it->second.writable == enabled) return;
  it->second.writable = enabled;
  if (it->second.watch != 0) Arm(socket, it->second);
}

void SetReadInterest(int socket, bool enabled) {
  auto it = sockets.find(socket);
  if (it == sockets.end() || it->second.readable == enabled) return;
  it->second.readable = enabled;
  if (it->second.watch != 0) Arm(socket, it->second);
}

void ResumeNotifications(int socket) {
  auto it = sockets.find(socket);
  if (it != sockets.end() && it->second.watch == 0) Arm(socket, it->second);
}

void SuspendNotifications(int socket) {
  auto it = sockets.find(socket);
  if (it != sockets.end()) Suspend(it->second);
}

void PostSocketNotification(int socket, int code, int error) {
  auto it = sockets.find(socket);
  if (it == sockets.end()) return;
  const std::uint64_t token = it->second.token;
  MainLoop().Defer([socket, token, code, error] {
    if (Registration* registration = Find(socket, token)) registration->instance->PostSocketEvent(code, error);
  });
}

void PostSocketFailure(int socket, int error) {
  auto it = sockets.find(socket);
  if (it == sockets.end()) return;
  const std::uint64_t token = it->second.token;
  MainLoop().Defer([socket, token, error] {
    if (Registration* registration = Find(socket, token)) registration->instance->RaiseDeferredError(error);
  });
}

long ResolveHost(const std::string& name, ctlSocket& instance, SocketError& error) {
  CancelResolve(instance);
  const long handle = nextLookup++;
  try {
    std::thread(ResolveInBackground, name, handle, MainLoop().MakePoster()).detach();
  } catch (const std::system_error&) {
    error = MakeSocketError(kErrorNoBufferSpace, "modSocket.ResolveHost");
    return 0;
  }
  lookups[handle] = &instance;
  lookupOfInstance[&instance] = handle;
  return handle;
}

void CancelResolve(ctlSocket& instance) {
  auto it = lookupOfInstance.find(&instance);
  if (it == lookupOfInstance.end()) return;
  lookups.erase(it->second);
  lookupOfInstance.erase(it);
}

void StartSocketTimer(ctlSocket& instance, long intervalMs) {
  StopSocketTimer(instance);
  ctlSocket* target = &instance;
  sendTimers[target] = MainLoop().StartTimer(std::chrono::milliseconds(intervalMs),
                                             [target] { target->SendTimeoutExpired(); });
}

void StopSocketTimer(ctlSocket& instance) {
  auto it = sendTimers.find(&instance);
  if (it == sendTimers.end()) return;
  MainLoop().StopTimer(it->second);
  sendTimers.erase(it);
}

std::string WinsockErrorText(int code) {
  return CurrentLanguage().Text("WinsockErr" + std::to_string(code), "frmServer");
}

std::string GetLocalIPs() {
  const std::optional<std::vector<InterfaceAddress>> interfaces = Interfaces();
  if (!interfaces) return {};
  std::string list;
  for (const InterfaceAddress& entry : *interfaces) {
    if (!IsUsableInterfaceAddress(entry.address)) continue;
    if (!list.empty()) list += "\r\n";
    list += entry.address;
  }
  return list;
}

bool IsBroadcastAddress(const std::string& address) {
  if (address == "255.255.255.255") return true;
  const std::optional<std::uint32_t> wanted = ParseIPv4(address);
  if (!wanted) return false;
  const std::optional<std::vector<InterfaceAddress>> interfaces = Interfaces();
  if (!interfaces) return false;
  for (const InterfaceAddress& entry : *interfaces) {
    if (!IsUsableInterfaceAddress(entry.address)) continue;
    const std::optional<std::uint32_t> own = ParseIPv4(entry.address);
    const std::optional<std::uint32_t> mask = ParseIPv4(entry.netmask);
    if (own && mask && (*own | ~*mask) == *wanted) return true;
  }
  return false;
}

std::string LookupHostName(const std::string& address) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  if (::inet_pton(AF_INET, address.c_str(), &peer.sin_addr) != 1) return address;
  char host[NI_MAXHOST] = "";
  if (::getnameinfo(reinterpret_cast<const sockaddr*>(&peer), sizeof peer, host, sizeof host, nullptr, 0,
                    NI_NAMEREQD) != 0) {
    return address;
  }
  return host;
}

void SetInterfaceSource(InterfaceSource source) { interfaceSource = std::move(source); }

std::size_t RegisteredSocketCount() { return sockets.size(); }

}  // namespace velmorin
