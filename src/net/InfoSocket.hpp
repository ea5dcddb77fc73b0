#pragma once
// LAN server discovery: a UDP socket on the active port that answers the request "vm3_gsi" with
// "vm3_serverinfos", the status word, users/max, the version and the description, one line each.
//
// The server calls DestroyInfoSocket then CreateInfoSocket on every start, so the socket follows
// a changed ActivePort; an offline server keeps answering with "stopped".
//
// Replies are capped per second, for each source address and in total (ReplyRateLimiter):
// requests beyond the cap are dropped unanswered, as a busy network would drop them.

#include <functional>
#include <memory>

#include "net/ReplyRateLimiter.hpp"
#include "net/DatagramSocket.hpp"

namespace velmorin {

// The live figures of the reply, read at the moment a request arrives.
class ServerInfoProvider {
 public:
  virtual ~ServerInfoProvider() = default;
  virtual long ServerStatus() const = 0;  // 0 ready, 1 full, 2 stopped
  virtual long UserCount() const = 0;
};

class InfoSocket : private DatagramEvents {
 public:
  // The provider must outlive the InfoSocket.
  explicit InfoSocket(const ServerInfoProvider& provider);
  ~InfoSocket() override;
  InfoSocket(const InfoSocket&) = delete;
  InfoSocket& operator=(const InfoSocket&) = delete;

  // Binds ServerSettings.General.ActivePort on all local addresses (0: the platform chooses).
  // A port that cannot be bound leaves discovery off and the TCP server unaffected; the result
  // only says why, for a log line.
  SocketError CreateInfoSocket();
  // Stops answering and frees the port; harmless when not open.
  void DestroyInfoSocket();

  // The UDP port being answered on; 0 when not open.
  long Port() const;

  void SetReplyLimits(const ReplyRateLimiter::Limits& limits) { limiter_.SetLimits(limits); }
  // The time the reply cap counts by; tests set their own.
  using Clock = std::function<ReplyRateLimiter::Clock::time_point()>;
  void SetClock(Clock clock) { clock_ = std::move(clock); }

 private:
  void OnDatagram(DatagramSocket& socket, std::string_view datagram, const std::string& sender,
                  long senderPort) override;
  void OnError(DatagramSocket& socket, const SocketError& error) override;
  SocketError Open(long port);
  void Reopen(unsigned long generation);

  const ServerInfoProvider& provider_;
  ReplyRateLimiter limiter_;  // kept across restarts, so a restart does not reset the cap
  Clock clock_ = [] { return ReplyRateLimiter::Clock::now(); };
  std::unique_ptr<DatagramSocket> socket_;
  long boundPort_ = 0;
  unsigned long generation_ = 0;  // tells a socket from the ones opened before it
  // Expires with the instance, so work posted to the loop can tell it is gone.
  std::shared_ptr<char> alive_ = std::make_shared<char>();
};

}  // namespace velmorin
