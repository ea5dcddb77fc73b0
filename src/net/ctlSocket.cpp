#include "net/ctlSocket.hpp"

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <unordered_map>
#include <vector>

#include "platform/EventLoop.hpp"
#include "net/WinsockErrors.hpp"

namespace velmorin {
namespace {

// A zero linger time makes the coming close reset the connection: the system drops what it
// still holds for the peer instead of keeping it for an orderly end.
void ResetOnClose(int socket) {
  const linger abortive{1, 0};
  if (socket != -1) ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
}

// Accepted connections waiting for an Accept inside OnConnectionRequest.
struct ConnectionRequest {
  int socket = -1;
  bool accepted = false;
  std::string address;
  long port = 0;
};
std::unordered_map<long, ConnectionRequest> requests;
long nextRequest = 1;

constexpr int kOverflow = 6;
constexpr long kAcceptBackoffMs = 100;
constexpr int kAcceptsPerNotification = 32;
constexpr const char* kWrongStateText =
    "Wrong protocol or connection state for the requested transaction or request.";
constexpr const char* kAcceptedTwiceText = "Accept darf nur 1x aufgerufen werden";

SocketError PlatformError(const std::string& source) {
  return MakeSocketError(WinsockErrorOfErrno(errno), source);
}

bool IsDottedAddress(const std::string& text) {
  in_addr parsed{};
  return ::inet_pton(AF_INET, text.c_str(), &parsed) == 1;
}

sockaddr_in MakeAddress(const std::string& ip, long port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (ip.empty() || ::inet_pton(AF_INET, ip.c_str(), &address.sin_addr) != 1) {
    address.sin_addr.s_addr = htonl(INADDR_ANY);
  }
  return address;
}

std::string DottedOf(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = "";
  ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
  return text;
}

bool IsPort(long port) { return port >= 0 && port <= 65535; }

}  // namespace

ctlSocket::ctlSocket(SocketEvents* events) : events_(events), maxDatagram_(InitWinsockService()) {}

ctlSocket::~ctlSocket() {
  alive_.reset();
  CancelResolve(*this);
  DestroySocket();
  StopSocketTimer(*this);
  StopWinsockService();
}

void ctlSocket::SetState(long state) {
  state_ = state;
  if (socket_ != -1 && (state == sckOpen || state == sckListening || state == sckConnecting ||
                        state == sckConnected || state == sckClosing)) {
    ResumeNotifications(socket_);
  }
}

void ctlSocket::SetReceiveBufferLimit(std::size_t bytes) {
  receiveBufferLimit_ = std::max<std::size_t>(bytes, 1);
  UpdateReadInterest();
}

void ctlSocket::UpdateReadInterest() {
  const bool full = static_cast<std::size_t>(BytesReceived()) >= receiveBufferLimit_;
  if (full == readingPaused_ || socket_ == -1) return;
  readingPaused_ = full;
  SetReadInterest(socket_, !full);
}

void ctlSocket::UpdateWriteInterest() {
  if (socket_ != -1) SetWriteInterest(socket_, BytesToSend() > 0 || state_ == sckConnecting);
}

int ctlSocket::vbSocket(SocketError& error) {
  const int type = protocol_ == sckUDPProtocol ? SOCK_DGRAM : SOCK_STREAM;
  const int fd = ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = PlatformError("ctlSocket.vbSocket");
    return -1;
  }
  if (!RegisterSocket(fd, *this, error)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool ctlSocket::EnsureSocket(SocketError& error) {
  if (socket_ == -1) {
    socket_ = vbSocket(error);
    if (socket_ != -1) ReadChunkSize();
  }
  return socket_ != -1;
}

void ctlSocket::ReadChunkSize() {
  if (protocol_ == sckUDPProtocol) {
    chunkSize_ = static_cast<std::size_t>(maxDatagram_);
    return;
  }
  int size = 0;
  socklen_t length = sizeof size;
  if (::getsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &size, &length) == 0 && size > 0) {
    chunkSize_ = std::clamp<std::size_t>(static_cast<std::size_t>(size), 4096, 1 << 20);
  }
}

long ctlSocket::RecvToBuffer() {
  // A stream is read only up to the receive limit; a datagram must be taken whole.
  std::size_t wanted = chunkSize_;
  const auto buffered = static_cast<std::size_t>(BytesReceived());
  if (protocol_ == sckTCPProtocol && buffered < receiveBufferLimit_) {
    wanted = std::min(wanted, receiveBufferLimit_ - buffered);
  }
  // The bytes go straight into the receive buffer. A stream asks for room the size its recent
  // reads had (doubled after a read that filled it, halved after a few short ones), so a
  // connection of short packets keeps a small buffer and a burst soon reads whole chunks; it
  // also uses whatever room the buffer has anyway.
  std::size_t room = wanted;
  if (protocol_ == sckTCPProtocol) room = std::min(room, readRoom_);
  const std::span<char> tail = receiveBuffer_.WritableTail(room);
  if (protocol_ == sckTCPProtocol) wanted = std::min(wanted, tail.size());
  ssize_t received;
  if (protocol_ == sckUDPProtocol) {
    sockaddr_in sender{};
    socklen_t length = sizeof sender;
    received = ::recvfrom(socket_, tail.data(), wanted, 0, reinterpret_cast<sockaddr*>(&sender), &length);
    if (received >= 0) {
      remotePort_ = ntohs(sender.sin_port);
      remoteHostIP_ = DottedOf(sender);
      remoteLookupDue_ = true;
    }
  } else {
    received = ::recv(socket_, tail.data(), wanted, 0);
  }
  if (received < 0) {
    // Readiness can be spurious on a non-blocking socket: nothing to read is not an error.
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
    RaiseSocketError(WinsockErrorOfErrno(errno));
    return -1;
  }
  const auto taken = static_cast<std::size_t>(received);
  if (taken == wanted) {
    readRoom_ = std::min(2 * readRoom_, chunkSize_);
  } else if (taken < readRoom_ / 4) {
    readRoom_ = std::max(readRoom_ / 2, kMinReadRoom);
  }
  receiveBuffer_.Commit(taken);
  return static_cast<long>(received);
}

SocketError ctlSocket::SendData(const std::string& data) {
  // Named on failures only: a std::string here would cost an allocation on every send.
  static constexpr const char* source = "ctlSocket.SendData";
  if (protocol_ == sckTCPProtocol && socket_ == -1) {
    return SocketError{kErrorWrongState, kWrongStateText, source};
  }
  if (protocol_ == sckUDPProtocol) {
    SocketError error;
    if (!EnsureSocket(error)) return SocketError{error.number, error.description, source};
    if (state_ == sckClosed) SetState(sckOpen);
  }
  // The connection has failed and its OnError is on the way: there is nowhere to send to.
  if (state_ == sckError) return {};
  if (protocol_ == sckTCPProtocol && BytesToSend() + data.size() > sendBufferLimit_) {
    // A peer that stops reading must not make the server buffer without end: the connection
    // fails now, and its OnError comes from the loop so that the caller is not re-entered.
    SetState(sckError);
    PostSocketFailure(socket_, kErrorNoBufferSpace);
    return {};
  }
  sendBuffer_.Append(data);
  if (deferredFlush_ && protocol_ == sckTCPProtocol) {
    QueueFlush();
    return {};
  }
  return SendBuffered();
}

namespace {

// Sockets with deferred data, each with a token that tells whether it still exists.
std::vector<std::pair<ctlSocket*, std::weak_ptr<char>>> socketsToFlush;

}  // namespace

void ctlSocket::QueueFlush() {
  if (flushQueued_) return;
  flushQueued_ = true;
  if (socketsToFlush.empty()) MainLoop().Defer(&ctlSocket::FlushDeferred);
  socketsToFlush.emplace_back(this, alive_);
}

void ctlSocket::FlushDeferred() {
  std::vector<std::pair<ctlSocket*, std::weak_ptr<char>>> sockets;
  sockets.swap(socketsToFlush);
  for (auto& [socket, token] : sockets) {
    if (token.expired()) continue;
    socket->flushQueued_ = false;
    const long state = socket->state_;
    if (socket->BytesToSend() > 0 && (state == sckConnected || state == sckClosing)) socket->SendBuffered();
  }
}

void ctlSocket::SetNoDelay(bool on) {
  const int value = on ? 1 : 0;
  if (socket_ != -1) ::setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value);
}

void ctlSocket::TrimSendBufferWhileClosing() {
  // A closing socket gets no new data: what its buffer holds well beyond the rest is given back.
  if (state_ == sckClosing && sendBuffer_.capacity() > 2 * sendBuffer_.size() + 65536) sendBuffer_.ShrinkToFit();
}

std::size_t ctlSocket::BufferMemory() const { return sendBuffer_.capacity() + receiveBuffer_.capacity(); }

std::size_t ctlSocket::SystemQueuedBytes() const {
  int queued = 0;
  if (socket_ == -1 || protocol_ != sckTCPProtocol || ::ioctl(socket_, SIOCOUTQ, &queued) != 0 || queued < 0) return 0;
  return static_cast<std::size_t>(queued);
}

void ctlSocket::TrimBuffers() {
  sendBuffer_.ShrinkToFit();
  receiveBuffer_.ShrinkToFit();
}

void ctlSocket::Abort() {
  if (protocol_ == sckTCPProtocol) ResetOnClose(socket_);
  DestroySocket();
  state_ = sckClosed;
}

SocketError ctlSocket::SendBuffered() {
  // Named on failures only: a std::string here would cost an allocation on every send.
  static constexpr const char* source = "ctlSocket.SendData";
  sendCompletePending_ = true;
  const std::size_t length = sendBuffer_.size();
  const char* bytes = sendBuffer_.data();
  ssize_t sent;
  if (protocol_ == sckUDPProtocol) {
    if (remoteHostIP_.empty()) {
      SocketError error;
      pendingOperation_ = Pending::SendDatagram;
      lookupHandle_ = ResolveHost(remoteHost_, *this, error);
      if (lookupHandle_ == 0) return SocketError{error.number, error.description, source};
      return {};
    }
    const sockaddr_in target = MakeAddress(remoteHostIP_, remotePort_);
    sent = ::sendto(socket_, bytes, length, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&target), sizeof target);
  } else {
    sent = ::send(socket_, bytes, length, MSG_NOSIGNAL);
  }
  if (protocol_ == sckUDPProtocol) {
    // Every SendData is a datagram of its own: one that cannot go now is dropped rather than
    // merged with the next one, which may be meant for another peer.
    sendBuffer_.Clear();
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return {};
  }
  if (sent >= 0) {
    const auto taken = static_cast<std::size_t>(sent);
    if (taken >= length) {
      sendBuffer_.Clear();
      // OnSendComplete comes from the loop, not from inside SendData.
      PostSocketNotification(socket_, kNotifyWrite, 0);
    } else {
      sendBuffer_.Consume(taken);
      TrimSendBufferWhileClosing();
    }
    NoteSendProgress(taken > 0);
    UpdateWriteInterest();
    if (events_ != nullptr) events_->OnSendProgress(*this, static_cast<long>(sent), BytesToSend());
    return {};
  }
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
    NoteSendProgress(false);
    UpdateWriteInterest();
    return {};
  }
  return RaisePlatformError(source);
}

void ctlSocket::NoteSendProgress(bool progressed) {
  if (BytesToSend() == 0) {
    if (sendTimerActive_) {
      sendTimerActive_ = false;
      StopSocketTimer(*this);
    }
    return;
  }
  // Data waits: the time-out counts from the last progress, or from now when the wait begins.
  // Progress only moves the mark, so a steady reader costs no timer work per send.
  if (progressed || !sendTimerActive_) lastSendProgress_ = std::chrono::steady_clock::now();
  if (!sendTimerActive_) {
    sendTimerActive_ = true;
    lastSystemQueued_ = SystemQueuedBytes();
    // Checked four times per time-out: a peer that stops is cut within 1.25 time-outs.
    StartSocketTimer(*this, std::max(sendTimeoutMs_ / 4, 1L));
  }
}

SocketError ctlSocket::Listen() {
  const std::string source = "ctlSocket.Listen";
  SocketError error;
  if (!EnsureSocket(error)) return SocketError{error.number, error.description, source};
  if (!bound_) {
    const int reuse = 1;
    ::setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    const sockaddr_in address = MakeAddress(localIP_, localPort_);
    if (::bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      error = PlatformError(source);
      SetState(sckError);
      return error;
    }
    bound_ = true;
  }
  // A deep backlog: under a burst of connections a short queue refuses clients.
  if (::listen(socket_, SOMAXCONN) != 0) {
    error = PlatformError(source);
    SetState(sckError);
    return error;
  }
  ReadLocalAddress();
  SetState(sckListening);
  return {};
}

std::string ctlSocket::GetData(long maxLength) {
  const std::string_view received = receiveBuffer_.View();
  const std::size_t taken = maxLength < 1 ? received.size() : std::min(received.size(), static_cast<std::size_t>(maxLength));
  std::string data(received.substr(0, taken));
  ConsumeReceived(taken);
  return data;
}

void ctlSocket::ConsumeReceived(std::size_t count) {
  receiveBuffer_.Consume(count);
  UpdateReadInterest();
}

SocketError ctlSocket::Connect(const std::string& remoteHost, long remotePort) {
  const std::string source = "ctlSocket.Connect";
  if (state_ == sckConnecting || state_ == sckConnected) return MakeSocketError(kErrorWrongState, source);
  SocketError error;
  if (!EnsureSocket(error)) return SocketError{error.number, error.description, source};
  if (!remoteHost.empty()) remoteHost_ = remoteHost;
  if (IsPort(remotePort)) remotePort_ = remotePort;
  if (remoteHost_.empty()) return MakeSocketError(kErrorNoRemoteHost, source);
  if (IsDottedAddress(remoteHost_)) {
    remoteHostIP_ = remoteHost_;
    return ConnectNow(source);
  }
  pendingOperation_ = Pending::Connect;
  lookupHandle_ = ResolveHost(remoteHost_, *this, error);
  if (lookupHandle_ == 0) return SocketError{error.number, error.description, source};
  SetState(sckResolvingHost);
  return {};
}

SocketError ctlSocket::ConnectNow(const std::string& source) {
  const sockaddr_in address = MakeAddress(remoteHostIP_, remotePort_);
  if (::connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
      errno == EINPROGRESS) {
    // Completion (even an immediate one) is reported from the loop as a connect notification.
    SetState(sckConnecting);
    UpdateWriteInterest();
    return {};
  }
  return RaisePlatformError(source);
}

SocketError ctlSocket::CloseSocket() {
  if (state_ == sckError) {
    // The failed socket stays until the instance goes or is closed once more.
    state_ = sckClosed;
    keptAfterError_ = socket_ != -1;
    return {};
  }
  if (socket_ == -1 || (state_ == sckClosed && !keptAfterError_)) return {};
  if (state_ != sckConnected) {
    const SocketError error = DestroySocket();
    state_ = sckClosed;
    return error;
  }
  SetState(sckClosing);
  // What is still buffered goes out first; the sending direction closes after it.
  if (BytesToSend() == 0) {
    ::shutdown(socket_, SHUT_WR);
  } else {
    shutdownPending_ = true;
  }
  closeTimer_ = MainLoop().StartTimer(std::chrono::milliseconds(closeTimeoutMs_), [this] { CloseTimeoutExpired(); });
  return {};
}

void ctlSocket::CloseTimeoutExpired() {
  MainLoop().StopTimer(closeTimer_);
  closeTimer_ = 0;
  if (state_ != sckClosing) return;
  // The peer neither took the rest nor ended the connection in time: reset it, so the system
  // does not go on holding unsent data for a peer that has stopped reading.
  ResetOnClose(socket_);
  FinishClose();
}

SocketError ctlSocket::Bind(long localPort, const std::string& localIP) {
  const std::string source = "ctlSocket.Bind";
  if (bound_) return MakeSocketError(kErrorWrongState, source);
  if (localPort > 65535) return SocketError{kOverflow, "Overflow", source};
  SocketError error;
  if (!EnsureSocket(error)) return SocketError{error.number, error.description, source};
  if (!localIP.empty()) localIP_ = localIP;
  if (localPort > 0) localPort_ = localPort;
  const sockaddr_in address = MakeAddress(localIP_, localPort_);
  if (::bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return PlatformError(source);
  }
  bound_ = true;
  sockaddr_in actual{};
  socklen_t length = sizeof actual;
  if (::getsockname(socket_, reinterpret_cast<sockaddr*>(&actual), &length) == 0) {
    localPort_ = ntohs(actual.sin_port);
  }
  if (protocol_ == sckUDPProtocol && state_ == sckClosed) SetState(sckOpen);
  return {};
}

SocketError ctlSocket::Accept(long requestId) {
  const std::string source = "ctlSocket.Accept";
  auto it = requests.find(requestId);
  if (it == requests.end() || it->second.accepted) {
    return SocketError{kErrorAcceptedTwice, kAcceptedTwiceText, source};
  }
  const ConnectionRequest request = it->second;
  if (socket_ != -1) DestroySocket();
  socket_ = request.socket;
  ReadLocalAddress();
  remotePort_ = request.port;
  remoteHostIP_ = request.address;
  remoteLookupDue_ = true;
  int type = SOCK_STREAM;
  socklen_t length = sizeof type;
  ::getsockopt(socket_, SOL_SOCKET, SO_TYPE, &type, &length);
  protocol_ = type == SOCK_STREAM ? sckTCPProtocol : sckUDPProtocol;
  ReadChunkSize();
  SocketError error;
  if (!RegisterSocket(socket_, *this, error)) {
    socket_ = -1;  // the request stays unaccepted and is closed by the listener
    return SocketError{error.number, error.description, source};
  }
  SetState(sckConnected);
  it->second.accepted = true;
  return {};
}

const std::string& ctlSocket::RemoteHost() {
  if (remoteLookupDue_) {
    remoteHost_ = LookupHostName(remoteHostIP_);
    remoteLookupDue_ = false;
  }
  return remoteHost_;
}

SocketError ctlSocket::SetRemoteHost(const std::string& host) {
  remoteHost_ = host;
  remoteLookupDue_ = false;
  if (!IsDottedAddress(host)) {
    // A name is looked up again at the next send instead of reusing an old address.
    remoteHostIP_.clear();
    return {};
  }
  remoteHostIP_ = host;
  if (protocol_ != sckUDPProtocol) return {};
  const std::string source = "ctlSocket.RemoteHost";
  SocketError error;
  if (!EnsureSocket(error)) return SocketError{error.number, error.description, source};
  const bool broadcast = IsBroadcastAddress(host);
  if (broadcast != broadcastEnabled_) {
    const int value = broadcast ? 1 : 0;
    if (::setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, &value, sizeof value) != 0) {
      return PlatformError(source);
    }
    broadcastEnabled_ = broadcast;
  }
  return {};
}

SocketError ctlSocket::SetRemotePort(long port) {
  if (!IsPort(port)) return SocketError{kOverflow, "Overflow", "ctlSocket.RemotePort"};
  remotePort_ = port;
  return {};
}

void ctlSocket::SetProtocol(long protocol) {
  if (socket_ == -1) protocol_ = protocol == sckUDPProtocol ? sckUDPProtocol : sckTCPProtocol;
}

SocketError ctlSocket::SetLocalPort(long port) {
  if (!IsPort(port)) return SocketError{kOverflow, "Overflow", "ctlSocket.LocalPort"};
  localPort_ = port;
  return {};
}

const std::string& ctlSocket::LocalHostName() {
  if (localLookupDue_) {
    localHostName_ = LookupHostName(localIP_);
    localLookupDue_ = false;
  }
  return localHostName_;
}

void ctlSocket::ReadLocalAddress() {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (::getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &length) != 0) return;
  localIP_ = DottedOf(local);
  localPort_ = ntohs(local.sin_port);
  localLookupDue_ = true;
}

void ctlSocket::PostSocketEvent(int code, int error) {
  if (state_ == sckClosed || state_ == sckError) return;
  if (error >= 1) {
    RaiseSocketError(error);
    return;
  }
  const std::weak_ptr<char> token = alive_;
  switch (code) {
    case kNotifyRead:
      if (static_cast<std::size_t>(BytesReceived()) >= receiveBufferLimit_) {
        UpdateReadInterest();
        return;
      }
      if (RecvToBuffer() > 0 && events_ != nullptr) events_->OnDataArrival(*this, BytesReceived());
      return;
    case kNotifyWrite:
      if (BytesToSend() > 0) {
        SendBuffered();
        if (!Alive(token)) return;
      } else if (sendCompletePending_) {
        sendCompletePending_ = false;
        if (events_ != nullptr) events_->OnSendComplete(*this);
        if (!Alive(token)) return;
      }
      if (sendTimerActive_ && BytesToSend() == 0) {
        sendTimerActive_ = false;
        StopSocketTimer(*this);
      }
      if (shutdownPending_ && BytesToSend() == 0 && socket_ != -1) {
        shutdownPending_ = false;
        ::shutdown(socket_, SHUT_WR);
      }
      UpdateWriteInterest();
      return;
    case kNotifyAccept:
      // Several pending connections are taken per notification (each with its own request
      // event), so a burst of clients does not wait one loop pass per connection.
      for (int taken = 0; taken < kAcceptsPerNotification; ++taken) {
        if (!AcceptOne() || !Alive(token) || state_ != sckListening) return;
      }
      return;
    case kNotifyConnect:
      ReadLocalAddress();
      SetState(sckConnected);
      UpdateWriteInterest();
      if (events_ != nullptr) events_->OnConnect(*this);
      return;
    case kNotifyClose:
      while (socket_ != -1) {
        const long received = RecvToBuffer();  // a failed receive raises OnError
        if (!Alive(token)) return;
        if (received <= 0) break;
        if (events_ != nullptr) events_->OnDataArrival(*this, BytesReceived());
        if (!Alive(token)) return;
      }
      if (socket_ == -1 || state_ == sckClosed || state_ == sckError) return;
      if (state_ != sckClosing) {
        SetState(sckClosing);
        if (BytesToSend() > 0) {
          SendBuffered();
          if (!Alive(token)) return;
        }
      }
      FinishClose();
      return;
    default:
      return;  // out-of-band data and anything else
  }
}

bool ctlSocket::AcceptOne() {
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  const int fd = ::accept4(socket_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) {
    if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
      // Out of descriptors: the pending connection stays readable, so pause instead of spinning
      // on it, and try again shortly.
      SuspendNotifications(socket_);
      acceptRetryTimer_ = MainLoop().StartTimer(std::chrono::milliseconds(kAcceptBackoffMs), [this] {
        MainLoop().StopTimer(acceptRetryTimer_);
        acceptRetryTimer_ = 0;
        if (socket_ != -1 && state_ == sckListening) ResumeNotifications(socket_);
      });
    }
    return false;
  }
  RaiseConnectionRequest(fd, DottedOf(peer), ntohs(peer.sin_port));
  return true;
}

bool ctlSocket::AdoptConnected(int fd, const std::string& remoteAddress, long remotePort) {
  if (state_ != sckListening) {
    ::close(fd);
    return false;
  }
  return RaiseConnectionRequest(fd, remoteAddress, remotePort);
}

bool ctlSocket::RaiseConnectionRequest(int fd, const std::string& address, long port) {
  remotePort_ = port;
  remoteHostIP_ = address;
  remoteLookupDue_ = true;
  const long id = nextRequest++;
  requests[id] = ConnectionRequest{fd, false, remoteHostIP_, remotePort_};
  if (events_ != nullptr) events_->OnConnectionRequest(*this, id);
  // A request not accepted inside the event is refused.
  const bool accepted = requests[id].accepted;
  if (!accepted) ::close(fd);
  requests.erase(id);
  return accepted;
}

void ctlSocket::FinishClose() {
  DestroySocket();
  state_ = sckClosed;
  if (events_ != nullptr) events_->OnClose(*this);
}

void ctlSocket::PostGetHostEvent(long lookupHandle, const std::string& address, const std::string& name, int error) {
  std::string resolved = address;
  if (error >= 1) {
    if (!IsDottedAddress(name)) {
      RaiseSocketError(error);
      return;
    }
    resolved = name;
  }
  if (lookupHandle == 0 || lookupHandle != lookupHandle_) return;
  lookupHandle_ = 0;
  SetState(sckHostResolved);
  remoteHost_ = name;
  remoteLookupDue_ = false;
  remoteHostIP_ = resolved;
  if (pendingOperation_ == Pending::SendDatagram) {
    SendBuffered();
    return;
  }
  ConnectNow("ctlSocket.Connect");
}

void ctlSocket::SendTimeoutExpired() {
  if (BytesToSend() == 0) {
    StopSocketTimer(*this);
    sendTimerActive_ = false;
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  // The peer also makes progress when it takes what the system holds, though the system may
  // not ask for more for a while: a shorter queue there counts. (More in it came from a send,
  // which counted already.)
  const std::size_t queued = SystemQueuedBytes();
  if (queued < lastSystemQueued_) lastSendProgress_ = now;
  lastSystemQueued_ = queued;
  // Only a peer that took nothing for the whole time-out is cut.
  if (now - lastSendProgress_ < std::chrono::milliseconds(sendTimeoutMs_)) return;
  StopSocketTimer(*this);
  sendTimerActive_ = false;
  RaiseSocketError(kErrorTimedOut);
}

void ctlSocket::RaiseDeferredError(int code) { RaiseSocketError(code); }

SocketError ctlSocket::RaisePlatformError(const std::string& source) {
  const int code = WinsockErrorOfErrno(errno);
  const SocketError error = MakeSocketError(code, source);
  RaiseSocketError(code);
  return error;
}

void ctlSocket::RaiseSocketError(int code) {
  SetState(sckError);
  if (events_ != nullptr) events_->OnError(*this, SocketError{code, WinsockErrorText(code), "ctlSocket"});
}

SocketError ctlSocket::DestroySocket() {
  // Nothing buffered can be delivered or read once the socket is gone.
  receiveBuffer_.Clear();
  sendBuffer_.Clear();
  for (std::uint64_t* timer : {&closeTimer_, &acceptRetryTimer_}) {
    if (*timer != 0) MainLoop().StopTimer(*timer);
    *timer = 0;
  }
  shutdownPending_ = false;
  keptAfterError_ = false;
  readingPaused_ = false;  // a new registration reads again
  if (socket_ == -1) return {};
  UnregisterSocket(socket_);
  if (sendTimerActive_) {
    sendTimerActive_ = false;
    StopSocketTimer(*this);
  }
  SocketError error;
  if (::close(socket_) != 0) error = PlatformError("ctlSocket.DestroySocket");
  socket_ = -1;
  bound_ = false;
  broadcastEnabled_ = false;
  return error;
}

}  // namespace velmorin
