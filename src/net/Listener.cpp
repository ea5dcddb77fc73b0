#include "net/Listener.hpp"

#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "net/WinsockErrors.hpp"

namespace velmorin {
namespace {

constexpr long kAcceptBackoffMs = 100;
constexpr int kAcceptsPerReadiness = 32;

}  // namespace

Listener::Listener(ListenerEvents* events) : events_(events) {}

Listener::~Listener() {
  alive_.reset();
  Close();
}

SocketError Listener::Listen(long port, const std::string& address) {
  static constexpr const char* source = "Listener.Listen";
  Close();
  localPort_ = port;
  socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (socket_ < 0) {
    socket_ = -1;
    return MakeSocketError(WinsockErrorOfErrno(errno), source);
  }
  const int reuse = 1;
  ::setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  const sockaddr_in local = SocketAddress(address, port);
  // A deep backlog: under a burst of connections a short queue refuses clients.
  if (::bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      ::listen(socket_, SOMAXCONN) != 0 || !Watch()) {
    const SocketError error = MakeSocketError(WinsockErrorOfErrno(errno), source);
    Close();
    return error;
  }
  sockaddr_in actual{};
  socklen_t length = sizeof actual;
  if (::getsockname(socket_, reinterpret_cast<sockaddr*>(&actual), &length) == 0) localPort_ = ntohs(actual.sin_port);
  listening_ = true;
  return {};
}

bool Listener::Watch() {
  watch_ = MainLoop().Watch(socket_, true, false, [this](std::uint32_t events) { OnReady(events); });
  return watch_ != 0;
}

void Listener::Close() {
  listening_ = false;
  if (acceptRetryTimer_ != 0) MainLoop().StopTimer(acceptRetryTimer_);
  acceptRetryTimer_ = 0;
  if (watch_ != 0) MainLoop().Unwatch(watch_);
  watch_ = 0;
  if (socket_ != -1) ::close(socket_);
  socket_ = -1;
}

void Listener::OnReady(std::uint32_t events) {
  if (events & EPOLLERR) {
    Fail(PendingWinsockError(socket_));
    return;
  }
  if (!(events & EPOLLIN)) return;
  const std::weak_ptr<char> token = alive_;
  for (int taken = 0; taken < kAcceptsPerReadiness; ++taken) {
    if (!AcceptOne() || token.expired() || !listening_) return;
  }
}

bool Listener::AcceptOne() {
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  const int fd = ::accept4(socket_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) {
    if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) PauseAccepting();
    return false;
  }
  RaiseConnectionRequest(fd, DottedAddress(peer), ntohs(peer.sin_port));
  return true;
}

void Listener::PauseAccepting() {
  // Out of descriptors: the pending connection stays readable, so pause instead of spinning on
  // it, and try again shortly.
  MainLoop().Unwatch(watch_);
  watch_ = 0;
  acceptRetryTimer_ = MainLoop().StartTimer(std::chrono::milliseconds(kAcceptBackoffMs), [this] {
    MainLoop().StopTimer(acceptRetryTimer_);
    acceptRetryTimer_ = 0;
    if (listening_) Watch();
  });
}

bool Listener::AdoptConnected(int fd, const std::string& remoteAddress, long remotePort) {
  if (!listening_) {
    ::close(fd);
    return false;
  }
  return RaiseConnectionRequest(fd, remoteAddress, remotePort);
}

bool Listener::RaiseConnectionRequest(int fd, const std::string& address, long port) {
  ConnectionRequest request{fd, address, port, false};
  if (events_ != nullptr) events_->OnConnectionRequest(*this, request);
  // A request not accepted inside the event is refused.
  if (!request.accepted) ::close(fd);
  return request.accepted;
}

void Listener::Fail(int code) {
  Close();
  if (events_ != nullptr) events_->OnError(*this, SocketError{code, WinsockErrorText(code), "Listener"});
}

}  // namespace velmorin
