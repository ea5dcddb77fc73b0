#pragma once
// What the sockets of the net layer share: their error value and its text, and the machine's
// addresses (the list the server shows, broadcast addresses, reverse lookups).

#include <netinet/in.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velmorin {

// An error as the socket layer reports it: number 0 means none.
struct SocketError {
  int number = 0;
  std::string description;
  std::string source;
  explicit operator bool() const { return number != 0; }
};
SocketError MakeSocketError(int number, const std::string& source);

// The language text "WinsockErr" + code.
std::string WinsockErrorText(int code);
// The failure a socket reports (SO_ERROR) as its Winsock number.
int PendingWinsockError(int socket);

// The socket address of a dotted address and a port; any address when `ip` is empty or not one.
sockaddr_in SocketAddress(const std::string& ip, long port);
// The dotted form of a socket address's address.
std::string DottedAddress(const sockaddr_in& address);

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
