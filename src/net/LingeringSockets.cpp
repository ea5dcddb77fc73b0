#include "net/LingeringSockets.hpp"

#include <unordered_map>

#include "platform/EventLoop.hpp"

namespace velmorin {
namespace {

class Lingerer : public SocketEvents {
 public:
  void Adopt(std::unique_ptr<ctlSocket> socket) {
    ctlSocket* key = socket.get();
    socket->SetEvents(this);
    sockets_.emplace(key, std::move(socket));
    if (key->State() != sckClosing) Release(*key);
  }
  std::size_t Count() const { return sockets_.size(); }

  // Whatever still arrives is not wanted any more; dropping it keeps memory flat.
  void OnDataArrival(ctlSocket& socket, long) override { socket.GetData(); }
  void OnClose(ctlSocket& socket) override { Release(socket); }
  void OnError(ctlSocket& socket, const SocketError&) override { Release(socket); }

 private:
  void Release(ctlSocket& socket) {
    ctlSocket* key = &socket;
    MainLoop().Post([this, key] { sockets_.erase(key); });
  }

  std::unordered_map<ctlSocket*, std::unique_ptr<ctlSocket>> sockets_;
};

Lingerer& TheLingerer() {
  static Lingerer lingerer;
  return lingerer;
}

}  // namespace

void LingerAndDestroy(std::unique_ptr<ctlSocket> socket) {
  if (socket) TheLingerer().Adopt(std::move(socket));
}

std::size_t LingeringSocketCount() { return TheLingerer().Count(); }

}  // namespace velmorin
