#pragma once
// The process-wide half of the socket layer: the table from socket to ctlSocket instance, the
// readiness notifications of the event loop turned into the classic notification codes, host-name
// lookups, the per-instance send timers, error texts and the machine's addresses.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velmorin {

class ctlSocket;

// Notification codes delivered to ctlSocket::PostSocketEvent.
inline constexpr int kNotifyRead = 1;
inline constexpr int kNotifyWrite = 2;
inline constexpr int kNotifyAccept = 8;
inline constexpr int kNotifyConnect = 16;
inline constexpr int kNotifyClose = 32;

// An error as the socket layer reports it: number 0 means none.
struct SocketError {
  int number = 0;
  std::string description;
  std::string source;
  explicit operator bool() const { return number != 0; }
};
SocketError MakeSocketError(int number, const std::string& source);

// Counts a start of the socket service; returns the largest UDP datagram.
long InitWinsockService();
// Balances one InitWinsockService.
void StopWinsockService();

// Starts delivering notifications for the socket to the instance. On failure `error` is set.
bool RegisterSocket(int socket, ctlSocket& instance, SocketError& error);
// Stops the notifications; those still queued for this socket are dropped, those of other
// sockets are delivered as usual. Returns whether the socket was registered.
bool UnregisterSocket(int socket);
// Write readiness is watched only while data waits to be sent or a connect is under way.
void SetWriteInterest(int socket, bool enabled);
// Read readiness is watched unless the instance's receive buffer is full.
void SetReadInterest(int socket, bool enabled);
// Notifications for an instance that is closed or failed are suspended (a dead socket would
// report hang-up forever); this re-arms them when the instance becomes active again.
void ResumeNotifications(int socket);
void SuspendNotifications(int socket);
// Queues a notification for the socket, delivered from the event loop (never from inside the
// caller); dropped if the socket is unregistered meanwhile.
void PostSocketNotification(int socket, int code, int error);
// Queues a failure of the socket (OnError with the code), raised from the loop.
void PostSocketFailure(int socket, int error);

// Starts an asynchronous name-to-address lookup; its result reaches the instance's
// PostGetHostEvent on the loop thread. Returns the lookup handle, 0 on failure (error set).
long ResolveHost(const std::string& name, ctlSocket& instance, SocketError& error);
// Forgets the instance's pending lookup; its result will be dropped.
void CancelResolve(ctlSocket& instance);

// The send-timeout timer of an instance; a second start restarts it.
void StartSocketTimer(ctlSocket& instance, long intervalMs);
void StopSocketTimer(ctlSocket& instance);

// The language text "WinsockErr" + code.
std::string WinsockErrorText(int code);

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

// Number of registered sockets (the service's table).
std::size_t RegisteredSocketCount();

}  // namespace velmorin
