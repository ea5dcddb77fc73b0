#include "net/LingeringSockets.hpp"

#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

#include "platform/EventLoop.hpp"

namespace velmorin {
namespace {

// What a closing socket holds: the bytes in its own buffers and those the system has not
// delivered yet. Nothing is added to a closing socket, so this only shrinks. (Its buffers'
// memory follows: they are trimmed on adoption and shrink as they drain.)
std::size_t HeldBy(const StreamSocket& socket) {
  return static_cast<std::size_t>(socket.BytesToSend()) + static_cast<std::size_t>(socket.BytesReceived()) +
         socket.SystemQueuedBytes();
}

class Lingerer : public StreamSocketEvents {
 public:
  void Adopt(std::unique_ptr<StreamSocket> socket) {
    socket->SetEvents(this);
    if (socket->State() != StreamState::Closing) {
      Retire(std::move(socket));
      return;
    }
    // Only what is still to be sent is worth keeping.
    socket->TrimBuffers();
    const std::uint64_t age = nextAge_++;
    const std::size_t held = HeldBy(*socket);
    heldTotal_ += held;
    ages_.emplace(socket.get(), age);
    sockets_.emplace(age, Entry{std::move(socket), held});
    Enforce();
  }

  void SetLimits(const LingeringLimits& limits) {
    limits_ = limits;
    Enforce();
  }
  const LingeringLimits& Limits() const { return limits_; }
  std::size_t Count() const { return sockets_.size(); }

  std::size_t Bytes() {
    Remeasure();
    return heldTotal_;
  }

  // Whatever still arrives is not wanted any more; dropping it keeps memory flat.
  void OnDataArrival(StreamSocket& socket) override { socket.ConsumeReceived(socket.ReceivedView().size()); }
  // The close completed: the socket is gone already, the instance follows.
  void OnClose(StreamSocket& socket) override { Finish(socket); }
  // A reset or a failed send: nothing buffered can be delivered any more.
  void OnError(StreamSocket& socket, const SocketError&) override {
    socket.Abort();
    Finish(socket);
  }

 private:
  struct Entry {
    std::unique_ptr<StreamSocket> socket;
    // Measured at adoption or later; as what a socket holds only shrinks, the sum is an upper
    // bound that needs measuring again only when it is too high.
    std::size_t held = 0;
  };

  void Remeasure() {
    heldTotal_ = 0;
    for (auto& [age, entry] : sockets_) {
      entry.held = HeldBy(*entry.socket);
      heldTotal_ += entry.held;
    }
  }

  bool OverLimits() const { return sockets_.size() > limits_.sockets || heldTotal_ > limits_.bytes; }

  // Resets the oldest sockets until the set is within its limits (the newest one too, when it
  // alone is beyond them).
  void Enforce() {
    if (heldTotal_ > limits_.bytes) Remeasure();
    while (!sockets_.empty() && OverLimits()) {
      StreamSocket& oldest = *sockets_.begin()->second.socket;
      oldest.Abort();
      Finish(oldest);
    }
  }

  void Finish(StreamSocket& socket) {
    auto it = ages_.find(&socket);
    if (it == ages_.end()) return;
    auto entry = sockets_.find(it->second);
    ages_.erase(it);
    heldTotal_ -= entry->second.held;
    std::unique_ptr<StreamSocket> owned = std::move(entry->second.socket);
    sockets_.erase(entry);
    Retire(std::move(owned));
  }

  // The instance may be inside one of its own calls: it is destroyed from the loop.
  void Retire(std::unique_ptr<StreamSocket> socket) {
    if (retired_.empty()) {
      MainLoop().Post([this] {
        std::vector<std::unique_ptr<StreamSocket>> done;
        done.swap(retired_);
      });
    }
    retired_.push_back(std::move(socket));
  }

  LingeringLimits limits_;
  std::uint64_t nextAge_ = 0;
  std::map<std::uint64_t, Entry> sockets_;  // by age, oldest first
  std::unordered_map<StreamSocket*, std::uint64_t> ages_;
  std::size_t heldTotal_ = 0;  // sum of the entries' held
  std::vector<std::unique_ptr<StreamSocket>> retired_;
};

Lingerer& TheLingerer() {
  static Lingerer lingerer;
  return lingerer;
}

}  // namespace

void LingerAndDestroy(std::unique_ptr<StreamSocket> socket) {
  if (socket) TheLingerer().Adopt(std::move(socket));
}

std::size_t LingeringSocketCount() { return TheLingerer().Count(); }

std::size_t LingeringBytes() { return TheLingerer().Bytes(); }

void SetLingeringLimits(const LingeringLimits& limits) { TheLingerer().SetLimits(limits); }

LingeringLimits CurrentLingeringLimits() { return TheLingerer().Limits(); }

}  // namespace velmorin
