#include "net/StreamSocket.hpp"

#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "net/WinsockErrors.hpp"

namespace velmorin {
namespace {

constexpr const char* kWrongStateText =
    "Wrong protocol or connection state for the requested transaction or request.";
constexpr const char* kAcceptedTwiceText = "Accept darf nur 1x aufgerufen werden";

// A zero linger time makes the coming close reset the connection: the system drops what it
// still holds for the peer instead of keeping it for an orderly end.
void ResetOnClose(int socket) {
  const linger abortive{1, 0};
  if (socket != -1) ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
}

bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }

}  // namespace

StreamSocket::StreamSocket(StreamSocketEvents* events) : events_(events) {}

StreamSocket::~StreamSocket() {
  alive_.reset();
  DestroySocket();
}

SocketError StreamSocket::Accept(ConnectionRequest& request) {
  static constexpr const char* source = "StreamSocket.Accept";
  if (request.accepted) return SocketError{kErrorAcceptedTwice, kAcceptedTwiceText, source};
  if (socket_ != -1) DestroySocket();
  watch_ = MainLoop().Watch(
      request.fd, true, false, [this](std::uint32_t events) { OnReady(events); }, [this] { AfterPass(); });
  // A request not taken stays with the listener, which closes it.
  if (watch_ == 0) return MakeSocketError(WinsockErrorOfErrno(errno), source);
  readable_ = true;
  writable_ = false;
  socket_ = request.fd;
  remoteHostIP_ = request.address;
  remotePort_ = request.port;
  ReadChunkSize();
  state_ = StreamState::Connected;
  request.accepted = true;
  return {};
}

void StreamSocket::OnReady(std::uint32_t events) {
  if (events & EPOLLERR) {
    Fail(PendingWinsockError(socket_));
    return;
  }
  if (events & (EPOLLRDHUP | EPOLLHUP)) {
    PeerClosed();
    return;
  }
  const std::weak_ptr<char> token = alive_;
  if (events & EPOLLIN) {
    Readable();
    if (!Alive(token) || watch_ == 0) return;
  }
  if (events & EPOLLOUT) Writable();
}

void StreamSocket::Readable() {
  if (static_cast<std::size_t>(BytesReceived()) >= receiveBufferLimit_) {
    UpdateReadInterest();
    return;
  }
  if (RecvToBuffer() > 0 && events_ != nullptr) events_->OnDataArrival(*this);
}

void StreamSocket::Writable() {
  const std::weak_ptr<char> token = alive_;
  if (BytesToSend() > 0) {
    SendBuffered();
    if (!Alive(token)) return;
  } else if (sendCompletePending_) {
    sendCompletePending_ = false;
    if (events_ != nullptr) events_->OnSendComplete(*this);
    if (!Alive(token)) return;
  }
  if (watch_ == 0) return;  // failed or closed meanwhile
  if (BytesToSend() == 0) {
    StopSendTimer();
    if (shutdownPending_) {
      shutdownPending_ = false;
      ::shutdown(socket_, SHUT_WR);
    }
  }
  UpdateWriteInterest();
}

void StreamSocket::PeerClosed() {
  const std::weak_ptr<char> token = alive_;
  while (socket_ != -1) {
    const long received = RecvToBuffer();  // a failed receive raises OnError
    if (!Alive(token)) return;
    if (received <= 0) break;
    if (events_ != nullptr) events_->OnDataArrival(*this);
    if (!Alive(token)) return;
  }
  if (socket_ == -1 || state_ == StreamState::Closed || state_ == StreamState::Failed) return;
  if (state_ != StreamState::Closing) {
    state_ = StreamState::Closing;
    if (BytesToSend() > 0) {
      SendBuffered();
      if (!Alive(token)) return;
    }
  }
  FinishClose();
}

void StreamSocket::AfterPass() {
  afterPassRequested_ = false;
  Writable();
}

void StreamSocket::RequestAfterPass() {
  if (afterPassRequested_ || watch_ == 0) return;
  afterPassRequested_ = true;
  MainLoop().RequestAfterPass(watch_);
}

void StreamSocket::ReadChunkSize() {
  int size = 0;
  socklen_t length = sizeof size;
  if (::getsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &size, &length) == 0 && size > 0) {
    chunkSize_ = std::clamp<std::size_t>(static_cast<std::size_t>(size), 4096, 1 << 20);
  }
}

long StreamSocket::RecvToBuffer() {
  // Read only up to the receive limit.
  std::size_t wanted = chunkSize_;
  const auto buffered = static_cast<std::size_t>(BytesReceived());
  if (buffered < receiveBufferLimit_) wanted = std::min(wanted, receiveBufferLimit_ - buffered);
  // The bytes go straight into the receive buffer. A receive asks for room the size its recent
  // reads had (doubled after a read that filled it, halved after a few short ones), so a
  // connection of short packets keeps a small buffer and a burst soon reads whole chunks; it
  // also uses whatever room the buffer has anyway.
  const std::span<char> tail = receiveBuffer_.WritableTail(std::min(wanted, readRoom_));
  wanted = std::min(wanted, tail.size());
  const ssize_t received = ::recv(socket_, tail.data(), wanted, 0);
  if (received < 0) {
    // Readiness can be spurious on a non-blocking socket: nothing to read is not an error.
    if (WouldBlock()) return 0;
    Fail(WinsockErrorOfErrno(errno));
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

SocketError StreamSocket::SendData(std::string_view data) {
  if (socket_ == -1 || state_ == StreamState::Closed) {
    return SocketError{kErrorWrongState, kWrongStateText, "StreamSocket.SendData"};
  }
  // The connection has failed and its OnError is on the way: there is nowhere to send to.
  if (state_ == StreamState::Failed) return {};
  if (BytesToSend() + data.size() > sendBufferLimit_) {
    // A peer that stops reading must not make the server buffer without end: the connection
    // fails now, and its OnError comes from the loop so that the caller is not re-entered.
    state_ = StreamState::Failed;
    StopWatching();
    MainLoop().Defer([this, token = std::weak_ptr<char>(alive_)] {
      if (Alive(token) && socket_ != -1 && events_ != nullptr) {
        events_->OnError(*this, SocketError{kErrorNoBufferSpace, WinsockErrorText(kErrorNoBufferSpace), "StreamSocket"});
      }
    });
    return {};
  }
  sendBuffer_.Append(data);
  RequestAfterPass();
  return {};
}

void StreamSocket::SetNoDelay(bool on) {
  const int value = on ? 1 : 0;
  if (socket_ != -1) ::setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value);
}

void StreamSocket::TrimSendBufferWhileClosing() {
  // A closing socket gets no new data: what its buffer holds well beyond the rest is given back.
  if (state_ == StreamState::Closing && sendBuffer_.capacity() > 2 * sendBuffer_.size() + 65536) {
    sendBuffer_.ShrinkToFit();
  }
}

std::size_t StreamSocket::BufferMemory() const { return sendBuffer_.capacity() + receiveBuffer_.capacity(); }

std::size_t StreamSocket::SystemQueuedBytes() const {
  int queued = 0;
  if (socket_ == -1 || ::ioctl(socket_, SIOCOUTQ, &queued) != 0 || queued < 0) return 0;
  return static_cast<std::size_t>(queued);
}

void StreamSocket::TrimBuffers() {
  sendBuffer_.ShrinkToFit();
  receiveBuffer_.ShrinkToFit();
}

void StreamSocket::Abort() {
  ResetOnClose(socket_);
  DestroySocket();
  state_ = StreamState::Closed;
}

SocketError StreamSocket::SendBuffered() {
  sendCompletePending_ = true;
  const std::size_t length = sendBuffer_.size();
  const ssize_t sent = ::send(socket_, sendBuffer_.data(), length, MSG_NOSIGNAL);
  if (sent >= 0) {
    const auto taken = static_cast<std::size_t>(sent);
    if (taken >= length) {
      sendBuffer_.Clear();
      // OnSendComplete comes from the loop's next pass, not from inside this one.
      RequestAfterPass();
    } else {
      sendBuffer_.Consume(taken);
      TrimSendBufferWhileClosing();
    }
    NoteSendProgress(taken > 0);
    UpdateWriteInterest();
    if (events_ != nullptr) events_->OnSendProgress(*this, static_cast<long>(sent));
    return {};
  }
  if (WouldBlock()) {
    NoteSendProgress(false);
    UpdateWriteInterest();
    return {};
  }
  return FailWithErrno("StreamSocket.SendData");
}

void StreamSocket::NoteSendProgress(bool progressed) {
  if (BytesToSend() == 0) {
    StopSendTimer();
    return;
  }
  // Data waits: the time-out counts from the last progress, or from now when the wait begins.
  // Progress only moves the mark, so a steady reader costs no timer work per send.
  if (progressed || sendTimer_ == 0) lastSendProgress_ = std::chrono::steady_clock::now();
  if (sendTimer_ == 0) {
    lastSystemQueued_ = SystemQueuedBytes();
    // Checked four times per time-out: a peer that stops is cut within 1.25 time-outs.
    sendTimer_ = MainLoop().StartTimer(std::chrono::milliseconds(std::max(sendTimeoutMs_ / 4, 1L)),
                                       [this] { SendTimeoutExpired(); });
  }
}

void StreamSocket::SendTimeoutExpired() {
  if (BytesToSend() == 0) {
    StopSendTimer();
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
  StopSendTimer();
  Fail(kErrorTimedOut);
}

void StreamSocket::StopSendTimer() {
  if (sendTimer_ == 0) return;
  MainLoop().StopTimer(sendTimer_);
  sendTimer_ = 0;
}

std::string StreamSocket::GetData(long maxLength) {
  const std::string_view received = receiveBuffer_.View();
  const std::size_t taken =
      maxLength < 1 ? received.size() : std::min(received.size(), static_cast<std::size_t>(maxLength));
  std::string data(received.substr(0, taken));
  ConsumeReceived(taken);
  return data;
}

void StreamSocket::ConsumeReceived(std::size_t count) {
  receiveBuffer_.Consume(count);
  UpdateReadInterest();
}

void StreamSocket::SetReceiveBufferLimit(std::size_t bytes) {
  receiveBufferLimit_ = std::max<std::size_t>(bytes, 1);
  UpdateReadInterest();
}

void StreamSocket::SetInterest(bool readable, bool writable) {
  if (watch_ == 0 || (readable == readable_ && writable == writable_)) return;
  readable_ = readable;
  writable_ = writable;
  MainLoop().SetInterest(watch_, readable, writable);
}

void StreamSocket::UpdateReadInterest() {
  const bool full = static_cast<std::size_t>(BytesReceived()) >= receiveBufferLimit_;
  if (full == readingPaused_ || socket_ == -1) return;
  readingPaused_ = full;
  SetInterest(!full, writable_);
}

void StreamSocket::UpdateWriteInterest() { SetInterest(readable_, BytesToSend() > 0); }

void StreamSocket::StopWatching() {
  // A failed or closed socket would report its hang-up for as long as it is watched.
  if (watch_ != 0) MainLoop().Unwatch(watch_);
  watch_ = 0;
  afterPassRequested_ = false;  // dropped with the watch
  StopSendTimer();
}

SocketError StreamSocket::CloseSocket() {
  if (state_ == StreamState::Failed) {
    // The failed socket stays until the instance goes.
    state_ = StreamState::Closed;
    return {};
  }
  if (socket_ == -1 || state_ == StreamState::Closed) return {};
  if (state_ != StreamState::Connected) {
    DestroySocket();
    state_ = StreamState::Closed;
    return {};
  }
  state_ = StreamState::Closing;
  // What is still buffered goes out first; the sending direction closes after it.
  if (BytesToSend() == 0) {
    ::shutdown(socket_, SHUT_WR);
  } else {
    shutdownPending_ = true;
  }
  closeTimer_ = MainLoop().StartTimer(std::chrono::milliseconds(closeTimeoutMs_), [this] { CloseTimeoutExpired(); });
  return {};
}

void StreamSocket::CloseTimeoutExpired() {
  MainLoop().StopTimer(closeTimer_);
  closeTimer_ = 0;
  if (state_ != StreamState::Closing) return;
  // The peer neither took the rest nor ended the connection in time: reset it, so the system
  // does not go on holding unsent data for a peer that has stopped reading.
  ResetOnClose(socket_);
  FinishClose();
}

void StreamSocket::FinishClose() {
  DestroySocket();
  state_ = StreamState::Closed;
  if (events_ != nullptr) events_->OnClose(*this);
}

SocketError StreamSocket::FailWithErrno(const char* source) {
  const int code = WinsockErrorOfErrno(errno);
  const SocketError error = MakeSocketError(code, source);
  Fail(code);
  return error;
}

void StreamSocket::Fail(int code) {
  state_ = StreamState::Failed;
  StopWatching();
  if (events_ != nullptr) events_->OnError(*this, SocketError{code, WinsockErrorText(code), "StreamSocket"});
}

void StreamSocket::DestroySocket() {
  // Nothing buffered can be delivered or read once the socket is gone.
  receiveBuffer_.Clear();
  sendBuffer_.Clear();
  if (closeTimer_ != 0) MainLoop().StopTimer(closeTimer_);
  closeTimer_ = 0;
  shutdownPending_ = false;
  sendCompletePending_ = false;
  readingPaused_ = false;
  StopWatching();
  if (socket_ == -1) return;
  ::close(socket_);
  socket_ = -1;
}

}  // namespace velmorin
