#pragma once
// StreamSocket: one connected TCP socket on the loop thread, adopted from a Listener's connection
// request. Readiness reaches it straight from the event loop (its own watch): it reads into its
// receive buffer and tells its owner, and it sends what its send buffer holds.
//
// Sending is deferred: SendData only buffers, and everything buffered during one pass of the
// event loop leaves in one send at the end of the pass (the watch's end-of-pass work). The bytes
// on the wire are the same as with a send per call, with far fewer system calls.
//
// Operations report failure by returning a SocketError (number 0 = success). Asynchronous
// failures arrive as OnError and leave the state Failed. Events may be raised while the owner
// destroys the instance: the instance notices and stops.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "net/ConnectionRequest.hpp"
#include "net/SocketError.hpp"
#include "platform/ByteBuffer.hpp"
#include "platform/EventLoop.hpp"

namespace velmorin {

class StreamSocket;

// What a stream socket tells its owner. Every method has an empty default.
class StreamSocketEvents {
 public:
  virtual ~StreamSocketEvents() = default;
  // Bytes arrived; ReceivedView() holds every received byte not consumed yet.
  virtual void OnDataArrival(StreamSocket&) {}
  // The peer closed and everything it sent was delivered; the socket is closed already.
  virtual void OnClose(StreamSocket&) {}
  // The connection failed; the socket is silent from now on.
  virtual void OnError(StreamSocket&, const SocketError&) {}
  // The send buffer ran empty; raised from the loop in the pass after the send, never inside
  // SendData.
  virtual void OnSendComplete(StreamSocket&) {}
  // After every send the system accepted: the bytes it took.
  virtual void OnSendProgress(StreamSocket&, long /*bytesSent*/) {}
};

enum class StreamState { Closed, Connected, Closing, Failed };

class StreamSocket {
 public:
  explicit StreamSocket(StreamSocketEvents* events = nullptr);
  ~StreamSocket();
  StreamSocket(const StreamSocket&) = delete;
  StreamSocket& operator=(const StreamSocket&) = delete;

  void SetEvents(StreamSocketEvents* events) { events_ = events; }
  // A number the owner uses to tell instances apart (the slot of a connection).
  long Index() const { return index_; }
  void SetIndex(long index) { index_ = index; }

  // Takes over the request's connection (40014 when it was taken already).
  SocketError Accept(ConnectionRequest& request);

  StreamState State() const { return state_; }
  int SocketHandle() const { return socket_; }
  const std::string& RemoteHostIP() const { return remoteHostIP_; }
  long RemotePort() const { return remotePort_; }

  // Buffers the data for the end-of-pass send. A connection that failed drops it silently; one
  // without a socket refuses it (40006).
  SocketError SendData(std::string_view data);
  // The first maxLength bytes (all with no length, one below 1, or one not smaller than the
  // buffer), removed from the receive buffer.
  std::string GetData(long maxLength = 0);
  // The received bytes in place, for an owner that parses them where they lie (no copy): valid
  // until the next ConsumeReceived, GetData or return to the event loop.
  std::string_view ReceivedView() const { return receiveBuffer_.View(); }
  // Drops the first `count` received bytes once the owner has handled them; reading restarts
  // when the receive limit had stopped it.
  void ConsumeReceived(std::size_t count);
  long BytesReceived() const { return static_cast<long>(receiveBuffer_.size()); }
  long BytesToSend() const { return static_cast<long>(sendBuffer_.size()); }

  // A connected socket sends what it still buffers, then closes its sending direction and waits
  // (at most the close time-out) for the peer's close, which raises OnClose. A failed socket
  // becomes closed and keeps its descriptor until it is destroyed; any other is closed at once.
  SocketError CloseSocket();
  // Ends the connection at once with a reset (zero linger time): the peer sees 10054, and both
  // the system and this instance drop everything buffered. Closed, no event.
  void Abort();

  // Milliseconds buffered data may wait without the peer taking a single byte before 10060;
  // every byte taken starts the wait again.
  void SetSendTimeout(long milliseconds) { sendTimeoutMs_ = milliseconds; }
  // Most unsent bytes a connection may hold; a send beyond it fails the socket (10055, raised
  // from the loop) so a peer that stops reading cannot exhaust memory.
  void SetSendBufferLimit(std::size_t bytes) { sendBufferLimit_ = bytes; }
  // Most received bytes the socket holds for its owner: when the owner does not take them, the
  // socket stops reading (the peer is slowed down by the system) until GetData or
  // ConsumeReceived makes room.
  void SetReceiveBufferLimit(std::size_t bytes);
  // Sends small packets at once instead of waiting to fill a segment.
  void SetNoDelay(bool on);
  // How long a graceful close waits for the peer before the connection is reset.
  void SetCloseTimeout(long milliseconds) { closeTimeoutMs_ = milliseconds; }

  // Memory the socket's buffers hold (their capacity, not only their content).
  std::size_t BufferMemory() const;
  // Bytes the system holds for the peer and has not delivered yet.
  std::size_t SystemQueuedBytes() const;
  // Gives back buffer memory beyond the unsent and unread bytes.
  void TrimBuffers();

  static constexpr long kDefaultSendTimeoutMs = 60000;
  static constexpr std::size_t kDefaultSendBufferLimit = 4 * 1024 * 1024;
  static constexpr std::size_t kDefaultReceiveBufferLimit = 4 * 1024 * 1024;
  static constexpr long kDefaultCloseTimeoutMs = 30000;

 private:
  // The socket's readiness, straight from the loop.
  void OnReady(std::uint32_t events);
  void Readable();
  // Sends what waits, or reports that everything went; ends a close's sending direction once
  // nothing waits.
  void Writable();
  // The peer closed: what it sent is delivered, what is buffered goes out, then OnClose.
  void PeerClosed();
  // The end-of-pass work: the one send of the pass, or the report of a completed send.
  void AfterPass();
  void RequestAfterPass();

  void ReadChunkSize();
  long RecvToBuffer();
  SocketError SendBuffered();
  // After a send attempt: runs the send time-out while data waits, stops it when none does.
  void NoteSendProgress(bool progressed);
  void SendTimeoutExpired();
  void StopSendTimer();
  void SetInterest(bool readable, bool writable);
  // Stops or restarts reading from the platform while the receive buffer is full.
  void UpdateReadInterest();
  void UpdateWriteInterest();
  void StopWatching();
  // The connection failed: silent from now on, then OnError.
  void Fail(int code);
  SocketError FailWithErrno(const char* source);
  void DestroySocket();
  void FinishClose();
  void CloseTimeoutExpired();
  void TrimSendBufferWhileClosing();
  static bool Alive(const std::weak_ptr<char>& token) { return !token.expired(); }

  StreamSocketEvents* events_ = nullptr;
  long index_ = 0;
  StreamState state_ = StreamState::Closed;
  int socket_ = -1;
  EventLoop::WatchId watch_ = 0;
  bool readable_ = false;  // the interest the watch has
  bool writable_ = false;
  bool afterPassRequested_ = false;
  std::string remoteHostIP_;
  long remotePort_ = 0;
  ByteBuffer sendBuffer_;
  ByteBuffer receiveBuffer_;
  std::size_t chunkSize_ = 65536;
  // What the next receive asks for at least (see RecvToBuffer).
  static constexpr std::size_t kMinReadRoom = 2 * 1024;
  std::size_t readRoom_ = kMinReadRoom;
  bool sendCompletePending_ = false;
  bool shutdownPending_ = false;  // a graceful close waits for the send buffer to drain
  bool readingPaused_ = false;
  EventLoop::TimerId closeTimer_ = 0;
  EventLoop::TimerId sendTimer_ = 0;
  long sendTimeoutMs_ = kDefaultSendTimeoutMs;
  std::chrono::steady_clock::time_point lastSendProgress_;  // last time the peer took bytes
  std::size_t lastSystemQueued_ = 0;  // what the system held for the peer at the last check
  std::size_t sendBufferLimit_ = kDefaultSendBufferLimit;
  std::size_t receiveBufferLimit_ = kDefaultReceiveBufferLimit;
  long closeTimeoutMs_ = kDefaultCloseTimeoutMs;
  // Expires when the instance is destroyed, so code that raised an event can tell.
  std::shared_ptr<char> alive_ = std::make_shared<char>();
};

}  // namespace velmorin
