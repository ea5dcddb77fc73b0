#include <gtest/gtest.h>

#include <netinet/tcp.h>
#include <sys/socket.h>

#include <memory>
#include <vector>

#include "net/LingeringSockets.hpp"
#include "net/SocketTestSupport.hpp"
#include "net/Listener.hpp"
#include "net/StreamSocket.hpp"

namespace velmorin {
namespace {

using testing::EventRecorder;
using testing::RawClient;
using testing::RunFor;
using testing::RunUntil;

constexpr std::size_t kMiB = 1024 * 1024;

// The TCP state of a client's socket as its own system sees it.
int TcpState(const RawClient& client) {
  tcp_info info{};
  socklen_t length = sizeof info;
  if (::getsockopt(client.fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return -1;
  return info.tcpi_state;
}

// True when the server reset the client's connection within the time.
bool WasReset(const RawClient& client, int timeoutMs = 1000) {
  return RunUntil([&] { return TcpState(client) == TCP_CLOSE; }, timeoutMs);
}

// Clients that never read, connected to sockets that the test hands to the lingering set.
class Lingering : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = CurrentLingeringLimits();
    listenerEvents_.onRequest = [this](Listener&, ConnectionRequest& request) {
      auto socket = std::make_unique<StreamSocket>(&serverEvents_);
      if (socket->Accept(request).ok()) accepted_.push_back(std::move(socket));
    };
    listener_.SetEvents(&listenerEvents_);
    ASSERT_TRUE(listener_.Listen(0, "127.0.0.1").ok());
  }

  void TearDown() override {
    // Whatever is left is reset, so no test leaves sockets for the next.
    SetLingeringLimits({0, 0});
    RunUntil([] { return LingeringSocketCount() == 0; });
    SetLingeringLimits(saved_);
  }

  // Connects a client with a tiny receive window, sends it `bytes` it will not read, and closes
  // the server side gracefully: the socket lingers with what the client has not taken.
  std::unique_ptr<StreamSocket> ClosingWith(std::size_t bytes, long closeTimeoutMs = StreamSocket::kDefaultCloseTimeoutMs) {
    clients.push_back(std::make_unique<RawClient>(listener_.LocalPort(), 4096));
    const std::size_t before = accepted_.size();
    if (!RunUntil([&] { return accepted_.size() > before; })) return nullptr;
    std::unique_ptr<StreamSocket> socket = std::move(accepted_.back());
    accepted_.pop_back();
    // A small system buffer keeps nearly all of it in ours, where the limits can see it.
    const int small = 8192;
    ::setsockopt(socket->SocketHandle(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    socket->SetCloseTimeout(closeTimeoutMs);
    if (bytes > 0) socket->SendData(std::string(bytes, 'q'));
    socket->CloseSocket();
    return socket;
  }

  std::vector<std::unique_ptr<RawClient>> clients;

 private:
  LingeringLimits saved_;
  Listener listener_;
  EventRecorder listenerEvents_;
  EventRecorder serverEvents_;
  std::vector<std::unique_ptr<StreamSocket>> accepted_;
};

TEST_F(Lingering, TheSetStaysWithinItsCountAndMemoryResettingTheOldest) {
  struct Case {
    const char* name;
    LingeringLimits limits;
    std::size_t bytesEach;
    std::size_t expectedLeft;
  };
  const Case cases[] = {
      {"count", {4, 64 * kMiB}, 1000, 4},
      // Nearly all of each MiB stays unsent behind the client's tiny window: three fit.
      {"memory", {64, 3 * kMiB + kMiB / 2}, kMiB, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetLingeringLimits(c.limits);
    clients.clear();
    constexpr int kClients = 10;
    for (int i = 0; i < kClients; ++i) {
      std::unique_ptr<StreamSocket> socket = ClosingWith(c.bytesEach);
      ASSERT_TRUE(socket);
      ASSERT_EQ(socket->State(), StreamState::Closing);
      LingerAndDestroy(std::move(socket));
      EXPECT_LE(LingeringSocketCount(), c.limits.sockets);
      EXPECT_LE(LingeringBytes(), c.limits.bytes);
    }
    EXPECT_EQ(LingeringSocketCount(), c.expectedLeft);
    // The oldest were reset, which also frees what the system held for them; the newest
    // still wait for their clients.
    const std::size_t dropped = kClients - c.expectedLeft;
    for (std::size_t i = 0; i < clients.size(); ++i) {
      SCOPED_TRACE(i);
      if (i < dropped) {
        EXPECT_TRUE(WasReset(*clients[i]));
      } else {
        EXPECT_NE(TcpState(*clients[i]), TCP_CLOSE);
      }
    }
    SetLingeringLimits({0, 0});
    EXPECT_EQ(LingeringSocketCount(), 0u);
    EXPECT_EQ(LingeringBytes(), 0u);
  }
}

TEST_F(Lingering, ASocketWhosePeerGoesAwayGivesItsBufferBackAtOnce) {
  SetLingeringLimits({64, 64 * kMiB});
  std::unique_ptr<StreamSocket> socket = ClosingWith(2 * kMiB);
  ASSERT_TRUE(socket);
  LingerAndDestroy(std::move(socket));
  ASSERT_EQ(LingeringSocketCount(), 1u);
  EXPECT_GE(LingeringBytes(), kMiB);
  // A close with unread data resets the connection.
  clients.back()->Close();
  ASSERT_TRUE(RunUntil([] { return LingeringSocketCount() == 0; }, 1000));
  EXPECT_EQ(LingeringBytes(), 0u);
}

TEST_F(Lingering, AGracefulCloseThatTimesOutResetsTheConnection) {
  // What the system still holds for a client that stopped reading is freed only by a reset; a
  // plain close would leave it trying to deliver for minutes.
  std::unique_ptr<StreamSocket> socket = ClosingWith(kMiB, 100);
  ASSERT_TRUE(socket);
  LingerAndDestroy(std::move(socket));
  EXPECT_TRUE(WasReset(*clients.back(), 2000));
  EXPECT_EQ(LingeringSocketCount(), 0u);
}

TEST(SocketBuffers, ADrainedSendBufferGivesItsMemoryBack) {
  Listener listener;
  EventRecorder listenerEvents;
  EventRecorder serverEvents;
  StreamSocket accepted(&serverEvents);
  listenerEvents.onRequest = [&](Listener&, ConnectionRequest& request) { accepted.Accept(request); };
  listener.SetEvents(&listenerEvents);
  ASSERT_TRUE(listener.Listen(0, "127.0.0.1").ok());
  RawClient peer(listener.LocalPort());
  ASSERT_TRUE(RunUntil([&] { return accepted.State() == StreamState::Connected; }));
  ASSERT_TRUE(accepted.SendData(std::string(2 * kMiB, 'z')).ok());
  std::size_t received = 0;
  ASSERT_TRUE(RunUntil([&] {
    while (true) {
      const std::string chunk = peer.Receive(0);
      if (chunk.empty()) break;
      received += chunk.size();
    }
    return accepted.BytesToSend() == 0 && received == 2 * kMiB;
  }));
  EXPECT_LT(accepted.BufferMemory(), 128u * 1024u);
}

}  // namespace
}  // namespace velmorin
