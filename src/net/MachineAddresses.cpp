#include "net/MachineAddresses.hpp"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <cstring>

namespace velmorin {
namespace {

InterfaceSource interfaceSource;

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

}  // namespace

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

}  // namespace velmorin
