#include "net/InfoSocket.hpp"

#include <string>
#include <string_view>

#include "config/Settings.hpp"
#include "platform/EventLoop.hpp"

namespace velmorin {
namespace {

constexpr std::string_view kRequest = "vm3_gsi";
constexpr std::string_view kReplyHead = "vm3_serverinfos";
constexpr std::string_view kLineBreak = "\r\n";

// The first line (up to the first CR LF, or everything) must be exactly the request word.
// Only the head is looked at, so a datagram costs the same whatever its size.
bool IsDiscoveryRequest(std::string_view datagram) {
  if (!datagram.starts_with(kRequest)) return false;
  const std::string_view rest = datagram.substr(kRequest.size());
  return rest.empty() || rest.starts_with(kLineBreak);
}

// A status the core does not define is not advertised as joinable.
std::string_view StatusWord(long status) {
  switch (status) {
    case 0:
      return "ready";
    case 1:
      return "full";
    default:
      return "stopped";
  }
}

std::string BuildReply(long status, long users) {
  std::string reply(kReplyHead);
  reply.append(kLineBreak).append(StatusWord(status));
  reply.append(kLineBreak).append(std::to_string(users)).append("/");
  reply.append(std::to_string(ServerSettings.General.MaxUserCount));
  reply.append(kLineBreak).append(ServerSettings.Info.Version);
  reply.append(kLineBreak).append(ServerSettings.General.Description);
  return reply;
}

}  // namespace

InfoSocket::InfoSocket(const ServerInfoProvider& provider) : provider_(provider) {}

InfoSocket::~InfoSocket() {
  alive_.reset();
  socket_.reset();
}

SocketError InfoSocket::CreateInfoSocket() { return Open(ServerSettings.General.ActivePort); }

void InfoSocket::DestroyInfoSocket() {
  socket_.reset();
  boundPort_ = 0;
  ++generation_;
}

long InfoSocket::Port() const { return boundPort_; }

SocketError InfoSocket::Open(long port) {
  // Always a fresh socket: a failed one keeps its port until it goes.
  DestroyInfoSocket();
  socket_ = std::make_unique<DatagramSocket>(static_cast<DatagramEvents*>(this));
  const SocketError error = socket_->Bind(port);
  if (!error.ok()) {
    socket_.reset();
    return error;
  }
  boundPort_ = socket_->LocalPort();
  return {};
}

void InfoSocket::OnDatagram(DatagramSocket& socket, std::string_view datagram, const std::string& sender,
                            long senderPort) {
  if (!IsDiscoveryRequest(datagram)) return;
  // A forged source port 0 cannot be answered, and the failed send would stop the socket.
  if (senderPort == 0) return;
  if (!limiter_.Allow(sender, clock_())) return;
  // Failures are ignored: the client asks again.
  socket.SendTo(sender, senderPort, BuildReply(provider_.ServerStatus(), provider_.UserCount()));
}

void InfoSocket::OnError(DatagramSocket& socket, const SocketError& /*error*/) {
  if (&socket != socket_.get()) return;
  // A failed socket ignores every later datagram, so one reply the network refused would end
  // discovery until the next server start. Reopen from the loop, outside the failing call.
  const std::weak_ptr<char> alive = alive_;
  const unsigned long generation = generation_;
  MainLoop().Post([this, alive, generation] {
    if (!alive.expired()) Reopen(generation);
  });
}

void InfoSocket::Reopen(unsigned long generation) {
  if (generation != generation_ || !socket_ || !socket_->Failed()) return;
  Open(boundPort_);
}

}  // namespace velmorin
