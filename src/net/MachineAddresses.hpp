#pragma once
// The machine's IPv4 addresses: the list the server shows, broadcast addresses, reverse lookups.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velmorin {

// IPv4 addresses of the machine's interfaces, without 0.0.0.0, 127.0.0.1 and empty ones,
// separated by CR LF; "" when none.
std::string GetLocalIPs();
// True for 255.255.255.255 and for the directed broadcast address of any interface.
bool IsBroadcastAddress(const std::string& address);
// The host name of a dotted address by a blocking reverse lookup; the address when none.
std::string LookupHostName(const std::string& address);

// The interface list behind GetLocalIPs and IsBroadcastAddress; tests inject their own.
struct InterfaceAddress {
  std::string address;  // dotted
  std::string netmask;  // dotted
};
using InterfaceSource = std::function<std::optional<std::vector<InterfaceAddress>>()>;
void SetInterfaceSource(InterfaceSource source);  // an empty function restores the system's list

}  // namespace velmorin
