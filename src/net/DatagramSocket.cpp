#include "net/DatagramSocket.hpp"

#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "net/MachineAddresses.hpp"
#include "net/WinsockErrors.hpp"

namespace velmorin {
namespace {

constexpr int kOverflow = 6;

bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }

}  // namespace

DatagramSocket::DatagramSocket(DatagramEvents* events) : events_(events) {}

DatagramSocket::~DatagramSocket() { Close(); }

SocketError DatagramSocket::Bind(long port, const std::string& address) {
  static constexpr const char* source = "DatagramSocket.Bind";
  if (bound_) return MakeSocketError(kErrorWrongState, source);
  if (port > 65535) return SocketError{kOverflow, "Overflow", source};
  if (socket_ == -1) {
    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (socket_ < 0) {
      socket_ = -1;
      return MakeSocketError(WinsockErrorOfErrno(errno), source);
    }
    watch_ = MainLoop().Watch(socket_, true, false, [this](std::uint32_t events) { OnReady(events); });
    if (watch_ == 0) {
      const SocketError error = MakeSocketError(WinsockErrorOfErrno(errno), source);
      Close();
      return error;
    }
  }
  const sockaddr_in local = SocketAddress(address, port < 0 ? 0 : port);
  if (::bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    return MakeSocketError(WinsockErrorOfErrno(errno), source);
  }
  bound_ = true;
  sockaddr_in actual{};
  socklen_t length = sizeof actual;
  if (::getsockname(socket_, reinterpret_cast<sockaddr*>(&actual), &length) == 0) localPort_ = ntohs(actual.sin_port);
  return {};
}

SocketError DatagramSocket::SendTo(const std::string& address, long port, std::string_view datagram) {
  static constexpr const char* source = "DatagramSocket.SendTo";
  if (socket_ == -1) return MakeSocketError(kErrorWrongState, source);
  if (failed_) return {};
  const bool broadcast = IsBroadcastAddress(address);
  if (broadcast != broadcastEnabled_) {
    const int value = broadcast ? 1 : 0;
    if (::setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, &value, sizeof value) != 0) {
      return MakeSocketError(WinsockErrorOfErrno(errno), source);
    }
    broadcastEnabled_ = broadcast;
  }
  const sockaddr_in target = SocketAddress(address, port);
  if (::sendto(socket_, datagram.data(), datagram.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&target),
               sizeof target) >= 0 ||
      WouldBlock()) {
    return {};
  }
  return Fail(WinsockErrorOfErrno(errno), source);
}

void DatagramSocket::OnReady(std::uint32_t events) {
  if (events & EPOLLERR) {
    Fail(PendingWinsockError(socket_), "DatagramSocket");
    return;
  }
  if (!(events & EPOLLIN)) return;
  datagram_.resize(kMaxDatagram);
  sockaddr_in sender{};
  socklen_t length = sizeof sender;
  const ssize_t received =
      ::recvfrom(socket_, datagram_.data(), datagram_.size(), 0, reinterpret_cast<sockaddr*>(&sender), &length);
  if (received < 0) {
    // Readiness can be spurious on a non-blocking socket: nothing to read is not an error.
    if (!WouldBlock()) Fail(WinsockErrorOfErrno(errno), "DatagramSocket");
    return;
  }
  if (received == 0 || events_ == nullptr) return;
  events_->OnDatagram(*this, std::string_view(datagram_.data(), static_cast<std::size_t>(received)),
                      DottedAddress(sender), ntohs(sender.sin_port));
}

SocketError DatagramSocket::Fail(int code, const char* source) {
  failed_ = true;
  // A failed socket would report its error for as long as it is watched.
  if (watch_ != 0) MainLoop().Unwatch(watch_);
  watch_ = 0;
  const SocketError error = MakeSocketError(code, source);
  if (events_ != nullptr) events_->OnError(*this, SocketError{code, error.description, "DatagramSocket"});
  return error;
}

void DatagramSocket::Close() {
  if (watch_ != 0) MainLoop().Unwatch(watch_);
  watch_ = 0;
  if (socket_ != -1) ::close(socket_);
  socket_ = -1;
  bound_ = false;
  failed_ = false;
  broadcastEnabled_ = false;
}

}  // namespace velmorin
