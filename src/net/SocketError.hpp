#pragma once
// The socket layer's error value and its text, and socket addresses to and from their dotted form.

#include <netinet/in.h>

#include <string>

namespace velmorin {

// An error as the socket layer reports it: number 0 means none. Ask `ok()`; there is no
// conversion to bool, so a test of a result always says which way it reads.
struct SocketError {
  int number = 0;
  std::string description;
  std::string source;
  bool ok() const { return number == 0; }
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

}  // namespace velmorin
