#pragma once
// The socket layer reports errors by their classic Winsock numbers (10048 address in use,
// 10054 reset, ...), because those are what the log lines and the plugin calls show. This is
// the one place where errno and resolver codes become them; the layers below keep errno.

#include <vector>

namespace velmorin {

inline constexpr int kErrorPermissionDenied = 10013;
inline constexpr int kErrorWouldBlock = 10035;
inline constexpr int kErrorAddressInUse = 10048;
inline constexpr int kErrorNoRemoteHost = 10049;
inline constexpr int kErrorNoBufferSpace = 10055;
inline constexpr int kErrorTimedOut = 10060;
inline constexpr int kErrorWrongState = 40006;
inline constexpr int kErrorAcceptedTwice = 40014;

// The Winsock number of an errno value; 10004..10101 style. Unknown values map to 10022
// (invalid argument) so that a caller always gets a number with a text.
int WinsockErrorOfErrno(int errnoValue);
// The Winsock number of a getaddrinfo/getnameinfo result (11001 host not found, ...).
int WinsockErrorOfResolver(int eaiValue);
// Every number the two mappings can produce, for checking the language files.
const std::vector<int>& KnownWinsockErrors();

}  // namespace velmorin
