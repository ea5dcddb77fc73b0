#include <gtest/gtest.h>

#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <functional>
#include <thread>

#include "net/ctlSocket.hpp"
#include "net/SocketTestSupport.hpp"
#include "net/WinsockErrors.hpp"

namespace velmorin {
namespace {

using testing::EventRecorder;
using testing::RawClient;
using testing::RunFor;
using testing::RunUntil;

// A listening socket whose requests are accepted into `accepted` unless told otherwise.
class ListeningServer : public ::testing::Test {
 protected:
  void SetUp() override {
    listener.SetEvents(&listenerEvents);
    listenerEvents.onRequest = [this](ctlSocket& socket, long id) {
      peerDuringRequest = socket.RemoteHostIP() + ":" + std::to_string(socket.RemotePort());
      if (!acceptRequests) return;
      acceptResult = accepted.Accept(id);
      secondAccept = accepted.Accept(id);
    };
    accepted.SetEvents(&serverEvents);
    ASSERT_FALSE(listener.Listen());
    ASSERT_EQ(listener.State(), sckListening);
    port = listener.LocalPort();
    ASSERT_GT(port, 0);
  }

  ctlSocket listener;
  ctlSocket accepted;
  EventRecorder listenerEvents;
  EventRecorder serverEvents;
  bool acceptRequests = true;
  SocketError acceptResult;
  SocketError secondAccept;
  std::string peerDuringRequest;
  long port = 0;
};

TEST_F(ListeningServer, ConnectSendReceiveAndCloseInBothDirections) {
  EventRecorder clientEvents;
  ctlSocket client(&clientEvents);
  ASSERT_FALSE(client.Connect("127.0.0.1", port));
  EXPECT_EQ(client.State(), sckConnecting);
  ASSERT_TRUE(RunUntil([&] { return clientEvents.Has("connect") && accepted.State() == sckConnected; }));
  EXPECT_FALSE(acceptResult);
  EXPECT_EQ(secondAccept.number, kErrorAcceptedTwice);
  EXPECT_EQ(peerDuringRequest, "127.0.0.1:" + std::to_string(client.LocalPort()));
  EXPECT_EQ(accepted.RemotePort(), client.LocalPort());
  EXPECT_EQ(client.State(), sckConnected);
  EXPECT_EQ(client.LocalIP(), "127.0.0.1");

  // The platform takes everything at once: progress now, completion later from the loop.
  ASSERT_FALSE(client.SendData("hello"));
  EXPECT_EQ(clientEvents.events, (std::vector<std::string>{"connect", "progress:5,0"}));
  ASSERT_TRUE(RunUntil([&] { return clientEvents.Has("complete") && accepted.BytesReceived() == 5; }));
  EXPECT_TRUE(serverEvents.Has("data:5"));
  EXPECT_EQ(accepted.GetData(3), "hel");
  EXPECT_EQ(accepted.GetData(2), "lo");
  EXPECT_EQ(accepted.GetData(), "");

  ASSERT_FALSE(accepted.SendData("abcdef"));
  ASSERT_TRUE(RunUntil([&] { return client.BytesReceived() == 6; }));
  EXPECT_EQ(client.GetData(6), "abcdef");

  // The client closes gracefully; the server sees the close, and its own close completes the
  // client's.
  ASSERT_FALSE(client.CloseSocket());
  EXPECT_EQ(client.State(), sckClosing);
  ASSERT_TRUE(RunUntil([&] { return serverEvents.Has("close") && clientEvents.Has("close"); }));
  EXPECT_EQ(serverEvents.statesAtClose, std::vector<long>{sckClosed});
  EXPECT_EQ(clientEvents.statesAtClose, std::vector<long>{sckClosed});
  EXPECT_EQ(client.SocketHandle(), -1);
  EXPECT_EQ(accepted.SocketHandle(), -1);
}

TEST_F(ListeningServer, ARequestNotAcceptedIsClosed) {
  acceptRequests = false;
  RawClient peer(port);
  ASSERT_TRUE(RunUntil([&] { return listenerEvents.Has("request"); }));
  EXPECT_TRUE(peer.SeesEndOfStream());
  EXPECT_EQ(accepted.State(), sckClosed);
  EXPECT_EQ(accepted.Accept(12345).number, kErrorAcceptedTwice);
}

TEST_F(ListeningServer, APeerThatSendsAndClosesAtOnceDeliversAllDataBeforeTheClose) {
  {
    RawClient peer(port);
    peer.Send("abc");
    peer.Send("defgh");
  }
  ASSERT_TRUE(RunUntil([&] { return serverEvents.Has("close"); }));
  ASSERT_GE(serverEvents.events.size(), 2u);
  EXPECT_EQ(serverEvents.events.back(), "close");
  EXPECT_EQ(serverEvents.events[serverEvents.events.size() - 2], "data:8");  // the whole buffer
  EXPECT_EQ(serverEvents.statesAtClose, std::vector<long>{sckClosed});
  // The buffer is emptied with the socket.
  EXPECT_EQ(accepted.GetData(), "");
}

TEST_F(ListeningServer, DataTakenInsideTheEventIsReportedByWhatRemains) {
  bool taken = false;
  serverEvents.onData = [&](ctlSocket& socket, long) {
    if (!taken) socket.GetData(2);
    taken = true;
  };
  RawClient peer(port);
  ASSERT_TRUE(RunUntil([&] { return accepted.State() == sckConnected; }));
  peer.Send("abcd");
  ASSERT_TRUE(RunUntil([&] { return accepted.BytesReceived() == 2; }));
  peer.Send("ef");
  ASSERT_TRUE(RunUntil([&] { return accepted.BytesReceived() == 4; }));
  EXPECT_EQ(serverEvents.events.back(), "data:4");
  EXPECT_EQ(accepted.GetData(), "cdef");
}

TEST_F(ListeningServer, ABlockedSendTimesOutWith10060) {
  RawClient peer(port, 4096);  // never reads
  ASSERT_TRUE(RunUntil([&] { return accepted.State() == sckConnected; }));
  accepted.SetSendTimeout(200);
  accepted.SetSendBufferLimit(256u << 20);
  const std::string chunk(1 << 20, 'x');
  for (int i = 0; i < 64 && accepted.BytesToSend() == 0; ++i) ASSERT_FALSE(accepted.SendData(chunk));
  ASSERT_GT(accepted.BytesToSend(), 0);
  ASSERT_TRUE(RunUntil([&] { return serverEvents.Has("error:10060"); }));
  EXPECT_EQ(accepted.State(), sckError);
}

// The time-out is for a peer that takes nothing: one that keeps reading, however slowly, is
// served for as long as it reads, and is cut once it stops.
TEST_F(ListeningServer, TheSendTimeOutCountsFromTheLastByteThePeerTook) {
  RawClient peer(port, 64 * 1024);
  ASSERT_TRUE(RunUntil([&] { return accepted.State() == sckConnected; }));
  constexpr int kTimeoutMs = 300;
  accepted.SetSendTimeout(kTimeoutMs);
  accepted.SetSendBufferLimit(64u << 20);
  const int systemBuffer = 64 * 1024;
  ::setsockopt(accepted.SocketHandle(), SOL_SOCKET, SO_SNDBUF, &systemBuffer, sizeof systemBuffer);
  ASSERT_FALSE(accepted.SendData(std::string(16u << 20, 's')));

  std::atomic<bool> reading{true};
  std::atomic<long> taken{0};
  std::thread reader([&] {
    char buffer[16 * 1024];
    while (reading) {
      const ssize_t n = ::recv(peer.fd, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n > 0) taken += n;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  // More keeps coming, as in a busy room, for several time-outs while the peer reads slowly.
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(4 * kTimeoutMs);
  while (std::chrono::steady_clock::now() < until && accepted.State() == sckConnected) {
    accepted.SendData(std::string(4096, 'm'));
    RunFor(20);
  }
  reading = false;
  reader.join();
  EXPECT_EQ(accepted.State(), sckConnected);
  EXPECT_FALSE(serverEvents.Has("error:10060"));
  EXPECT_GT(taken.load(), 0);
  ASSERT_GT(accepted.BytesToSend(), 0);
  // Now it has stopped: cut once the time-out has passed without progress (counted from its
  // last read, a moment before this).
  const auto stopped = std::chrono::steady_clock::now();
  ASSERT_TRUE(RunUntil([&] { return serverEvents.Has("error:10060"); }, 10 * kTimeoutMs));
  EXPECT_GE(std::chrono::steady_clock::now() - stopped, std::chrono::milliseconds(kTimeoutMs / 2));
  EXPECT_EQ(accepted.State(), sckError);
}

TEST_F(ListeningServer, APeerThatStopsReadingCannotGrowTheSendBufferWithoutBound) {
  RawClient peer(port, 4096);  // never reads
  ASSERT_TRUE(RunUntil([&] { return accepted.State() == sckConnected; }));
  constexpr std::size_t kLimit = 1 << 20;
  accepted.SetSendBufferLimit(kLimit);
  const std::string chunk(64 * 1024, 'y');
  int sends = 0;
  while (accepted.State() == sckConnected && sends < 10000) {
    ASSERT_FALSE(accepted.SendData(chunk));
    ++sends;
  }
  EXPECT_EQ(accepted.State(), sckError);
  EXPECT_LE(static_cast<std::size_t>(accepted.BytesToSend()), kLimit);
  // The failure is reported later, from the loop: no error event came from inside SendData.
  EXPECT_FALSE(serverEvents.Has("error:10055"));
  ASSERT_TRUE(RunUntil([&] { return serverEvents.Has("error:10055"); }));
  // Later sends to the failed connection are dropped quietly.
  EXPECT_FALSE(accepted.SendData("more"));
  EXPECT_LE(static_cast<std::size_t>(accepted.BytesToSend()), kLimit);
}

// What the owner has not taken stays bounded: the socket stops reading and the system holds
// the peer back, until the owner makes room (GetData, or ConsumeReceived after parsing the
// bytes in place); then everything arrives, in order.
class ReceiveLimit : public ListeningServer {
 protected:
  // `take` returns the bytes it took from the socket.
  void SendMoreThanTheLimitAndTake(const std::function<std::string(ctlSocket&)>& take) {
    RawClient peer(port);
    ASSERT_TRUE(RunUntil([&] { return accepted.State() == sckConnected; }));
    constexpr std::size_t kLimit = 256 * 1024;
    accepted.SetReceiveBufferLimit(kLimit);
    constexpr std::size_t kTotal = 16u << 20;  // more than the system buffers between the two
    std::thread writer([&] {
      std::string chunk(64 * 1024, '\0');
      for (std::size_t sent = 0; sent < kTotal; sent += chunk.size()) {
        for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>((sent + i) % 251);
        if (::send(peer.fd, chunk.data(), chunk.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(chunk.size())) return;
      }
    });
    RunFor(300);
    EXPECT_LE(static_cast<std::size_t>(accepted.BytesReceived()), kLimit);
    std::size_t taken = 0;
    bool inOrder = true;
    const bool all = RunUntil([&] {
      const std::string data = take(accepted);
      for (std::size_t i = 0; i < data.size(); ++i) inOrder = inOrder && data[i] == static_cast<char>((taken + i) % 251);
      taken += data.size();
      return taken >= kTotal;
    }, 10000);
    writer.join();
    EXPECT_TRUE(all);
    EXPECT_EQ(taken, kTotal);
    EXPECT_TRUE(inOrder);
  }
};

TEST_F(ReceiveLimit, AnOwnerThatDoesNotTakeItsDataStopsTheSocketReading) {
  SendMoreThanTheLimitAndTake([](ctlSocket& socket) { return socket.GetData(); });
}

TEST_F(ReceiveLimit, AnOwnerReadingInPlaceMakesRoomByConsuming) {
  SendMoreThanTheLimitAndTake([](ctlSocket& socket) {
    // Piece by piece, as a reader consumes one packet after the other.
    std::string taken;
    for (std::string_view received = socket.ReceivedView(); !received.empty(); received = socket.ReceivedView()) {
      const std::string_view piece = received.substr(0, 4096);
      taken.append(piece);
      socket.ConsumeReceived(piece.size());
      EXPECT_EQ(static_cast<std::size_t>(socket.BytesReceived()), received.size() - piece.size());
    }
    return taken;
  });
}

TEST_F(ListeningServer, AnInstanceDestroyedInsideItsOwnEventStopsCleanly) {
  auto doomed = std::make_unique<ctlSocket>();
  EventRecorder events;
  events.onData = [&](ctlSocket&, long) { doomed.reset(); };
  doomed->SetEvents(&events);
  listenerEvents.onRequest = [&](ctlSocket&, long id) { doomed->Accept(id); };
  {
    RawClient peer(port);
    peer.Send("x");
  }
  ASSERT_TRUE(RunUntil([&] { return doomed == nullptr; }));
  RunFor(50);
  EXPECT_FALSE(events.Has("close"));
}

TEST(Socket, CallsInTheWrongStateAreRefused) {
  ctlSocket tcp;
  EXPECT_EQ(tcp.SendData("x").number, kErrorWrongState);
  EXPECT_EQ(tcp.SendData("x").source, "ctlSocket.SendData");
  const SocketError noHost = tcp.Connect("", 80);
  EXPECT_EQ(noHost.number, kErrorNoRemoteHost);
  EXPECT_EQ(noHost.source, "ctlSocket.Connect");
  ASSERT_FALSE(tcp.Bind(0, "127.0.0.1"));
  EXPECT_GT(tcp.LocalPort(), 0);  // the port the platform chose
  EXPECT_EQ(tcp.Bind(0, "127.0.0.1").number, kErrorWrongState);
  EXPECT_EQ(ctlSocket().Bind(70000).number, 6);

  // The protocol cannot change once a socket exists.
  tcp.SetProtocol(sckUDPProtocol);
  EXPECT_EQ(tcp.Protocol(), sckTCPProtocol);
  ctlSocket fresh;
  fresh.SetProtocol(sckUDPProtocol);
  EXPECT_EQ(fresh.Protocol(), sckUDPProtocol);
}

TEST(Socket, AFailedConnectRaisesTheErrorAndCloseReturnsToStateZeroKeepingTheSocket) {
  // A port nobody listens on: bind one and let it go.
  long freePort;
  {
    ctlSocket probe;
    ASSERT_FALSE(probe.Bind(0, "127.0.0.1"));
    freePort = probe.LocalPort();
  }
  EventRecorder events;
  ctlSocket client(&events);
  ASSERT_FALSE(client.Connect("127.0.0.1", freePort));
  ASSERT_TRUE(RunUntil([&] { return events.Has("error:10061"); }));
  EXPECT_EQ(client.State(), sckError);
  const int handle = client.SocketHandle();
  ASSERT_NE(handle, -1);
  RunFor(30);  // a failed socket is quiet, not spinning the loop with hang-ups
  ASSERT_FALSE(client.CloseSocket());
  EXPECT_EQ(client.State(), sckClosed);
  EXPECT_EQ(client.SocketHandle(), handle);
}

TEST(Socket, ConnectsByHostNameThroughTheResolver) {
  ctlSocket server;
  ASSERT_FALSE(server.Listen());
  EventRecorder events;
  ctlSocket client(&events);
  ASSERT_FALSE(client.Connect("localhost", server.LocalPort()));
  EXPECT_EQ(client.State(), sckResolvingHost);
  ASSERT_TRUE(RunUntil([&] { return events.Has("connect"); }));
  EXPECT_EQ(events.events, std::vector<std::string>{"connect"});
  EXPECT_EQ(client.RemoteHostIP(), "127.0.0.1");
}

TEST(Socket, UdpDatagramsCarryTheSenderAddress) {
  EventRecorder receiverEvents;
  ctlSocket receiver(&receiverEvents);
  receiver.SetProtocol(sckUDPProtocol);
  ASSERT_FALSE(receiver.Bind(0, "127.0.0.1"));
  EXPECT_EQ(receiver.State(), sckOpen);

  ctlSocket sender;
  sender.SetProtocol(sckUDPProtocol);
  ASSERT_FALSE(sender.SetRemoteHost("127.0.0.1"));
  ASSERT_FALSE(sender.SetRemotePort(receiver.LocalPort()));
  ASSERT_FALSE(sender.SendData(std::string("ping\0pong", 9)));
  EXPECT_EQ(sender.State(), sckOpen);
  ASSERT_TRUE(RunUntil([&] { return receiver.BytesReceived() == 9; }));
  EXPECT_EQ(receiver.GetData(), std::string("ping\0pong", 9));
  EXPECT_EQ(receiver.RemoteHostIP(), "127.0.0.1");
}

TEST(Socket, GetDataLengths) {
  ctlSocket server;
  EventRecorder events;
  ctlSocket accepted(&events);
  EventRecorder listenerEvents;
  listenerEvents.onRequest = [&](ctlSocket&, long id) { accepted.Accept(id); };
  server.SetEvents(&listenerEvents);
  ASSERT_FALSE(server.Listen());
  RawClient peer(server.LocalPort());
  peer.Send("abcdef");
  ASSERT_TRUE(RunUntil([&] { return accepted.BytesReceived() == 6; }));
  EXPECT_EQ(accepted.GetData(3), "abc");
  EXPECT_EQ(accepted.GetData(3), "def");  // equal to the buffer: all of it
  peer.Send("ghij");
  ASSERT_TRUE(RunUntil([&] { return accepted.BytesReceived() == 4; }));
  EXPECT_EQ(accepted.GetData(-1), "ghij");
  EXPECT_EQ(accepted.GetData(5), "");
}

}  // namespace
}  // namespace velmorin

namespace velmorin {
namespace {

TEST(Socket, AFailedSocketIsKeptByTheFirstCloseAndReleasedByTheSecond) {
  EventRecorder events;
  ctlSocket udp(&events);
  udp.SetProtocol(sckUDPProtocol);
  ASSERT_FALSE(udp.SetRemoteHost("127.0.0.1"));
  ASSERT_FALSE(udp.SetRemotePort(9));
  EXPECT_TRUE(udp.SendData(std::string(70000, 'x')));  // larger than any datagram
  EXPECT_EQ(udp.State(), sckError);
  EXPECT_TRUE(events.Has("error:10040"));
  const int handle = udp.SocketHandle();
  ASSERT_FALSE(udp.CloseSocket());
  EXPECT_EQ(udp.SocketHandle(), handle);
  ASSERT_FALSE(udp.CloseSocket());
  EXPECT_EQ(udp.SocketHandle(), -1);
  EXPECT_FALSE(udp.Bind(0, "127.0.0.1"));
  EXPECT_EQ(udp.BytesToSend(), 0);
}

}  // namespace
}  // namespace velmorin

namespace velmorin {
namespace {

TEST(Socket, DeferredFlushSendsEverythingOfAPassInOneGoAtItsEnd) {
  ctlSocket listener;
  EventRecorder serverEvents;
  ctlSocket accepted(&serverEvents);
  EventRecorder listenerEvents;
  listenerEvents.onRequest = [&](ctlSocket&, long id) { accepted.Accept(id); };
  listener.SetEvents(&listenerEvents);
  ASSERT_FALSE(listener.Listen());
  RawClient peer(listener.LocalPort());
  ASSERT_TRUE(RunUntil([&] { return accepted.State() == sckConnected; }));

  accepted.SetDeferredFlush(true);
  accepted.SetNoDelay(true);
  ASSERT_FALSE(accepted.SendData("abc"));
  ASSERT_FALSE(accepted.SendData("defg"));
  EXPECT_TRUE(serverEvents.events.empty());  // nothing sent yet: it waits for the end of the pass
  EXPECT_EQ(accepted.BytesToSend(), 7);
  ASSERT_TRUE(RunUntil([&] { return serverEvents.Has("complete"); }));
  EXPECT_EQ(serverEvents.events, (std::vector<std::string>{"progress:7,0", "complete"}));
  EXPECT_EQ(peer.Receive(), "abcdefg");

  // A close right after a deferred send still delivers the data first.
  ASSERT_FALSE(accepted.SendData("last"));
  ASSERT_FALSE(accepted.CloseSocket());
  RunFor(50);
  EXPECT_EQ(peer.Receive(), "last");
  EXPECT_TRUE(peer.SeesEndOfStream());
}

}  // namespace
}  // namespace velmorin
