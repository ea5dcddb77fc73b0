#pragma once
// ctlSocket: one asynchronous IPv4 socket, TCP or UDP, whose readiness arrives as events on the
// loop thread. Its state numbers are part of its interface:
//   0 closed, 1 open (UDP), 2 listening, 3 connection pending (never entered), 4 resolving,
//   5 resolved, 6 connecting, 7 connected, 8 closing, 9 error.
//
// Operations report failure by returning a SocketError (number 0 = success) with the source
// "ctlSocket.<operation>". Asynchronous failures arrive as OnError and leave state 9.
// Events may be raised while the handler destroys the instance: the instance notices and stops.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include <string_view>

#include "net/modSocket.hpp"
#include "platform/ByteBuffer.hpp"

namespace velmorin {

class ctlSocket;

// The receiver of a socket's events. Every method has an empty default.
class SocketEvents {
 public:
  virtual ~SocketEvents() = default;
  // The peer closed and all pending data was delivered; State() is 0 here.
  virtual void OnClose(ctlSocket&) {}
  virtual void OnConnect(ctlSocket&) {}
  // A listening socket took a connection; Accept(requestId) on another instance adopts it,
  // otherwise it is closed when the handler returns.
  virtual void OnConnectionRequest(ctlSocket&, long /*requestId*/) {}
  // bytesTotal is the whole buffered length, not the chunk.
  virtual void OnDataArrival(ctlSocket&, long /*bytesTotal*/) {}
  virtual void OnError(ctlSocket&, const SocketError&) {}
  // The send buffer ran empty after a SendData; raised from the loop, never inside SendData.
  virtual void OnSendComplete(ctlSocket&) {}
  // After every send the platform accepted: what it took and what is left.
  virtual void OnSendProgress(ctlSocket&, long /*bytesSent*/, long /*bytesRemaining*/) {}
};

enum SocketState : long {
  sckClosed = 0,
  sckOpen = 1,
  sckListening = 2,
  sckConnectionPending = 3,
  sckResolvingHost = 4,
  sckHostResolved = 5,
  sckConnecting = 6,
  sckConnected = 7,
  sckClosing = 8,
  sckError = 9,
};

enum SocketProtocol : long { sckTCPProtocol = 0, sckUDPProtocol = 1 };

class ctlSocket {
 public:
  explicit ctlSocket(SocketEvents* events = nullptr);
  ~ctlSocket();
  ctlSocket(const ctlSocket&) = delete;
  ctlSocket& operator=(const ctlSocket&) = delete;

  void SetEvents(SocketEvents* events) { events_ = events; }
  // A number the owner uses to tell instances apart (the index in a control array).
  long Index() const { return index_; }
  void SetIndex(long index) { index_ = index; }

  SocketError SendData(const std::string& data);
  SocketError Listen();
  // The first maxLength characters (all with no length, one below 1, or one not smaller than
  // the buffer), removed from the receive buffer.
  std::string GetData(long maxLength = 0);
  // The received bytes in place, for an owner that parses them where they lie (no copy): valid
  // until the next ConsumeReceived, GetData or return to the event loop.
  std::string_view ReceivedView() const { return receiveBuffer_.View(); }
  // Drops the first `count` received bytes once the owner has handled them; reading restarts
  // when the receive limit had stopped it.
  void ConsumeReceived(std::size_t count);
  SocketError Connect(const std::string& remoteHost = "", long remotePort = -1);
  SocketError CloseSocket();
  SocketError Bind(long localPort = 0, const std::string& localIP = "");
  SocketError Accept(long requestId);
  // Listening socket only: hands over a stream socket connected by other means (an in-process
  // transport) as a connection request, exactly as an accepted one. Takes ownership of fd: it
  // is closed when the handler does not accept it. Returns whether it was accepted.
  bool AdoptConnected(int fd, const std::string& remoteAddress, long remotePort);

  long State() const { return state_; }
  int SocketHandle() const { return socket_; }
  long RemotePort() const { return remotePort_; }
  SocketError SetRemotePort(long port);
  const std::string& RemoteHostIP() const { return remoteHostIP_; }
  // Blocking reverse lookup of RemoteHostIP when due, cached.
  const std::string& RemoteHost();
  SocketError SetRemoteHost(const std::string& host);
  long Protocol() const { return protocol_; }
  void SetProtocol(long protocol);  // ignored while a socket exists
  long LocalPort() const { return localPort_; }
  SocketError SetLocalPort(long port);
  const std::string& LocalIP() const { return localIP_; }
  const std::string& LocalHostName();

  long BytesReceived() const { return static_cast<long>(receiveBuffer_.size()); }
  long BytesToSend() const { return static_cast<long>(sendBuffer_.size()); }

  // Milliseconds buffered data may wait without the peer taking a single byte before 10060;
  // every byte taken starts the wait again.
  void SetSendTimeout(long milliseconds) { sendTimeoutMs_ = milliseconds; }
  // Most unsent bytes a connection may hold; a send beyond it fails the socket (10055) so a
  // peer that stops reading cannot exhaust memory.
  void SetSendBufferLimit(std::size_t bytes) { sendBufferLimit_ = bytes; }
  // Most received bytes a socket holds for its owner: when the owner does not take them, the
  // socket stops reading (the peer is slowed down by the system) until GetData or
  // ConsumeReceived makes room.
  void SetReceiveBufferLimit(std::size_t bytes);
  // Deferred flush: SendData only buffers, and everything buffered during one pass of the event
  // loop goes out in one send at the end of the pass; OnSendProgress then comes from that
  // flush. The bytes on the wire are the same, with far fewer system calls.
  void SetDeferredFlush(bool on) { deferredFlush_ = on; }
  // Sends small packets at once instead of waiting to fill a segment.
  void SetNoDelay(bool on);
  // Sends what every deferred socket has buffered; run by the loop at the end of a pass.
  static void FlushDeferred();

  // How long a graceful close waits for the peer before the connection is reset.
  void SetCloseTimeout(long milliseconds) { closeTimeoutMs_ = milliseconds; }

  // Memory the socket's buffers hold (their capacity, not only their content).
  std::size_t BufferMemory() const;
  // Bytes the system holds for the peer and has not delivered yet (TCP; 0 otherwise).
  std::size_t SystemQueuedBytes() const;
  // Gives back buffer memory beyond the unsent and unread bytes.
  void TrimBuffers();
  // Ends a TCP connection at once with a reset (zero linger time): the peer sees 10054, and
  // both the system and this instance drop everything buffered. State 0, no event.
  void Abort();

  static constexpr long kDefaultSendTimeoutMs = 60000;
  static constexpr std::size_t kDefaultSendBufferLimit = 4 * 1024 * 1024;
  static constexpr std::size_t kDefaultReceiveBufferLimit = 4 * 1024 * 1024;
  static constexpr long kDefaultCloseTimeoutMs = 30000;

  // Called by the socket service.
  void PostSocketEvent(int code, int error);
  void PostGetHostEvent(long lookupHandle, const std::string& address, const std::string& name, int error);
  void SendTimeoutExpired();
  // A failure decided earlier (the send buffer limit), raised now: State 9 and OnError.
  void RaiseDeferredError(int code);

 private:
  enum class Pending { Connect = 0, SendDatagram = 1 };

  int vbSocket(SocketError& error);
  bool EnsureSocket(SocketError& error);
  void ReadChunkSize();
  long RecvToBuffer();
  // Stops or restarts reading from the platform while the receive buffer is full.
  void UpdateReadInterest();
  SocketError SendBuffered();
  // After a send attempt: runs the send time-out while data waits, stops it when none does.
  void NoteSendProgress(bool progressed);
  SocketError ConnectNow(const std::string& source);
  void RaiseSocketError(int code);
  // The failure in errno: raised as OnError (State 9) and returned with the source.
  SocketError RaisePlatformError(const std::string& source);
  void SetState(long state);
  void UpdateWriteInterest();
  SocketError DestroySocket();
  void FinishClose();
  // Takes one pending connection and raises its request event; false when none was taken.
  bool AcceptOne();
  // Raises the request event for an accepted descriptor; closes it unless the handler took it.
  bool RaiseConnectionRequest(int fd, const std::string& address, long port);
  void CloseTimeoutExpired();
  void ReadLocalAddress();
  void TrimSendBufferWhileClosing();
  void QueueFlush();
  bool Alive(const std::weak_ptr<char>& token) const { return !token.expired(); }

  SocketEvents* events_ = nullptr;
  long index_ = 0;
  Pending pendingOperation_ = Pending::Connect;
  long protocol_ = sckTCPProtocol;
  long state_ = sckClosed;
  std::string localHostName_;
  std::string localIP_;
  bool localLookupDue_ = false;
  long localPort_ = 0;
  std::string remoteHost_;
  std::string remoteHostIP_;
  bool remoteLookupDue_ = false;
  long remotePort_ = 0;
  int socket_ = -1;
  long lookupHandle_ = 0;
  ByteBuffer sendBuffer_;
  ByteBuffer receiveBuffer_;
  std::size_t chunkSize_ = 65536;
  // What the next stream receive asks for at least (see RecvToBuffer).
  static constexpr std::size_t kMinReadRoom = 2 * 1024;
  std::size_t readRoom_ = kMinReadRoom;
  long maxDatagram_ = 0;
  bool bound_ = false;
  bool sendCompletePending_ = false;
  bool sendTimerActive_ = false;
  bool broadcastEnabled_ = false;
  bool shutdownPending_ = false;
  bool keptAfterError_ = false;
  bool deferredFlush_ = false;
  bool flushQueued_ = false;  // closed after an error, platform socket still open  // a graceful close waits for the send buffer to drain
  std::uint64_t closeTimer_ = 0;
  std::uint64_t acceptRetryTimer_ = 0;
  long sendTimeoutMs_ = kDefaultSendTimeoutMs;
  std::chrono::steady_clock::time_point lastSendProgress_;  // last time the peer took bytes
  std::size_t lastSystemQueued_ = 0;  // what the system held for the peer at the last check
  std::size_t sendBufferLimit_ = kDefaultSendBufferLimit;
  std::size_t receiveBufferLimit_ = kDefaultReceiveBufferLimit;
  bool readingPaused_ = false;
  long closeTimeoutMs_ = kDefaultCloseTimeoutMs;
  // Expires when the instance is destroyed, so code that raised an event can tell.
  std::shared_ptr<char> alive_ = std::make_shared<char>();
};

}  // namespace velmorin
