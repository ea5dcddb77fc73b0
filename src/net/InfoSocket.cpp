#include "net/InfoSocket.hpp"

#include <string>
#include <string_view>

#include "platform/EventLoop.hpp"
#include "config/Settings.hpp"

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
  sckBroadcast_.reset();
}

SocketError InfoSocket::CreateInfoSocket() { return Open(ServerSettings.General.ActivePort); }

void InfoSocket::DestroyInfoSocket() {
  // Destroying the instance closes its socket in every state; CloseSocket alone keeps the
  // socket (and its port) of an instance that failed.
  sckBroadcast_.reset();
  boundPort_ = 0;
  ++generation_;
}

long InfoSocket::Port() const { return boundPort_; }

SocketError InfoSocket::Open(long port) {
  // Always a fresh instance: a used one remembers its old port and, after a failure, its bound
  // socket, and would refuse or misdirect the new Bind.
  DestroyInfoSocket();
  sckBroadcast_ = std::make_unique<ctlSocket>(static_cast<SocketEvents*>(this));
  sckBroadcast_->SetProtocol(sckUDPProtocol);
  const SocketError error = sckBroadcast_->Bind(port);
  if (error) {
    sckBroadcast_.reset();
    return error;
  }
  boundPort_ = sckBroadcast_->LocalPort();
  return {};
}

void InfoSocket::OnDataArrival(ctlSocket& socket, long /*bytesTotal*/) {
  // One datagram per event: the whole buffer is exactly what the last receive brought.
  const std::string datagram = socket.GetData();
  if (datagram.empty()) return;
  const std::string sender = socket.RemoteHostIP();
  const long senderPort = socket.RemotePort();
  if (!IsDiscoveryRequest(datagram)) return;
  // A forged source port 0 cannot be answered, and the failed send would stop the socket.
  if (senderPort == 0) return;
  // UDP sends go into one buffer: a reply the platform has not taken yet would leave merged
  // with this one, to this sender. Dropping the request under such pressure is what a busy
  // network does anyway.
  if (socket.BytesToSend() > 0) return;
  if (!limiter_.Allow(sender, clock_())) return;
  const std::string reply = BuildReply(provider_.ServerStatus(), provider_.UserCount());
  // Also switches the broadcast option off for a unicast sender. Failures are ignored: the
  // client asks again.
  socket.SetRemoteHost(sender);
  socket.SetRemotePort(senderPort);
  socket.SendData(reply);
}

void InfoSocket::OnError(ctlSocket& socket, const SocketError& /*error*/) {
  if (&socket != sckBroadcast_.get()) return;
  // A failed socket ignores every later datagram, so one reply the network refused would end
  // discovery until the next server start. Reopen from the loop, outside the failing call.
  const std::weak_ptr<char> alive = alive_;
  const unsigned long generation = generation_;
  MainLoop().Post([this, alive, generation] {
    if (!alive.expired()) Reopen(generation);
  });
}

void InfoSocket::Reopen(unsigned long generation) {
  if (generation != generation_ || !sckBroadcast_ || sckBroadcast_->State() != sckError) return;
  Open(boundPort_);
}

}  // namespace velmorin
