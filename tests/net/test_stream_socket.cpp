#include <gtest/gtest.h>

#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "net/Listener.hpp"
#include "net/SocketTestSupport.hpp"
#include "net/StreamSocket.hpp"
#include "net/WinsockErrors.hpp"

namespace velmorin {
namespace {

using testing::EventRecorder;
using testing::RawClient;
using testing::RunFor;
using testing::RunUntil;

long LocalPortOf(const RawClient& client) {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  ::getsockname(client.fd, reinterpret_cast<sockaddr*>(&local), &length);
  return ntohs(local.sin_port);
}

// A listener whose requests are accepted into `accepted` unless told otherwise.
class ListeningServer : public ::testing::Test {
 protected:
  void SetUp() override {
    listener.SetEvents(&listenerEvents);
    listenerEvents.onRequest = [this](Listener&, ConnectionRequest& request) {
      peerDuringRequest = request.address + ":" + std::to_string(request.port);
      if (!acceptRequests) return;
      acceptResult = accepted.Accept(request);
      secondAccept = accepted.Accept(request);
    };
    accepted.SetEvents(&serverEvents);
    ASSERT_TRUE(listener.Listen(0, "127.0.0.1").ok());
    ASSERT_TRUE(listener.IsListening());
    port = listener.LocalPort();
    ASSERT_GT(port, 0);
  }

  bool Connected() const { return accepted.State() == StreamState::Connected; }

  Listener listener;
  StreamSocket accepted;
  EventRecorder listenerEvents;
  EventRecorder serverEvents;
  bool acceptRequests = true;
  SocketError acceptResult;
  SocketError secondAccept;
  std::string peerDuringRequest;
  long port = 0;
};

TEST_F(ListeningServer, AnAcceptedConnectionCarriesDataBothWaysAndEndsWithThePeersClose) {
  RawClient peer(port);
  ASSERT_TRUE(RunUntil([&] { return Connected(); }));
  EXPECT_TRUE(acceptResult.ok());
  EXPECT_EQ(secondAccept.number, kErrorAcceptedTwice);
  EXPECT_EQ(peerDuringRequest, "127.0.0.1:" + std::to_string(LocalPortOf(peer)));
  EXPECT_EQ(accepted.RemoteHostIP(), "127.0.0.1");
  EXPECT_EQ(accepted.RemotePort(), LocalPortOf(peer));

  peer.Send("hello");
  ASSERT_TRUE(RunUntil([&] { return accepted.BytesReceived() == 5; }));
  EXPECT_TRUE(serverEvents.Has("data:5"));
  EXPECT_EQ(accepted.GetData(3), "hel");
  EXPECT_EQ(accepted.GetData(2), "lo");
  EXPECT_EQ(accepted.GetData(), "");

  // The system takes everything at once: progress at the end of the pass, completion later.
  ASSERT_TRUE(accepted.SendData("abcdef").ok());
  ASSERT_TRUE(RunUntil([&] { return serverEvents.Has("complete"); }));
  EXPECT_EQ(serverEvents.events.back(), "complete");
  EXPECT_EQ(serverEvents.events[serverEvents.events.size() - 2], "progress:6,0");
  EXPECT_EQ(peer.Receive(), "abcdef");

  // The peer closes gracefully: the server sees the close, and its socket is gone.
  ::shutdown(peer.fd, SHUT_WR);
  ASSERT_TRUE(RunUntil([&] { return serverEvents.Has("close"); }));
  EXPECT_EQ(serverEvents.statesAtClose, std::vector<StreamState>{StreamState::Closed});
  EXPECT_EQ(accepted.SocketHandle(), -1);
  EXPECT_TRUE(peer.SeesEndOfStream());
}

TEST_F(ListeningServer, AGracefulCloseSendsWhatIsBufferedAndCompletesWithThePeersClose) {
  RawClient peer(port);
  ASSERT_TRUE(RunUntil([&] { return Connected(); }));
  ASSERT_TRUE(accepted.SendData("last").ok());
  ASSERT_TRUE(accepted.CloseSocket().ok());
  EXPECT_EQ(accepted.State(), StreamState::Closing);
  RunFor(50);
  EXPECT_EQ(peer.Receive(), "last");
  EXPECT_TRUE(peer.SeesEndOfStream());
  peer.Close();
  ASSERT_TRUE(RunUntil([&] { return serverEvents.Has("close"); }));
  EXPECT_EQ(accepted.State(), StreamState::Closed);
  EXPECT_EQ(accepted.SocketHandle(), -1);
}

TEST_F(ListeningServer, ARequestNotAcceptedIsClosed) {
  acceptRequests = false;
  RawClient peer(port);
  ASSERT_TRUE(RunUntil([&] { return listenerEvents.Has("request"); }));
  EXPECT_TRUE(peer.SeesEndOfStream());
  EXPECT_EQ(accepted.State(), StreamState::Closed);
}

TEST_F(ListeningServer, AConnectionAdoptedFromOutsideIsOfferedLikeAnAcceptedOne) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair), 0);
  EXPECT_TRUE(listener.AdoptConnected(pair[0], "10.1.2.3", 4567));
  EXPECT_EQ(peerDuringRequest, "10.1.2.3:4567");
  EXPECT_EQ(accepted.RemoteHostIP(), "10.1.2.3");
  ASSERT_EQ(::send(pair[1], "hi", 2, MSG_NOSIGNAL), 2);
  EXPECT_TRUE(RunUntil([&] { return accepted.BytesReceived() == 2; }));
  ::close(pair[1]);
  // Nothing listens: the descriptor is closed, not offered.
  listener.Close();
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair), 0);
  EXPECT_FALSE(listener.AdoptConnected(pair[0], "10.1.2.3", 4567));
  char byte;
  EXPECT_EQ(::recv(pair[1], &byte, 1, 0), 0);
  ::close(pair[1]);
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
  EXPECT_EQ(serverEvents.statesAtClose, std::vector<StreamState>{StreamState::Closed});
  // The buffer is emptied with the socket.
  EXPECT_EQ(accepted.GetData(), "");
}

TEST_F(ListeningServer, DataTakenInsideTheEventIsReportedByWhatRemains) {
  bool taken = false;
  serverEvents.onData = [&](StreamSocket& socket) {
    if (!taken) socket.GetData(2);
    taken = true;
  };
  RawClient peer(port);
  ASSERT_TRUE(RunUntil([&] { return Connected(); }));
  peer.Send("abcd");
  ASSERT_TRUE(RunUntil([&] { return accepted.BytesReceived() == 2; }));
  peer.Send("ef");
  ASSERT_TRUE(RunUntil([&] { return accepted.BytesReceived() == 4; }));
  EXPECT_EQ(serverEvents.events.back(), "data:4");
  EXPECT_EQ(accepted.GetData(), "cdef");
}

TEST_F(ListeningServer, ABlockedSendTimesOutWith10060) {
  RawClient peer(port, 4096);  // never reads
  ASSERT_TRUE(RunUntil([&] { return Connected(); }));
  accepted.SetSendTimeout(200);
  accepted.SetSendBufferLimit(256u << 20);
  ASSERT_TRUE(accepted.SendData(std::string(64u << 20, 'x')).ok());
  ASSERT_TRUE(RunUntil([&] { return serverEvents.Has("error:10060"); }));
  EXPECT_GT(accepted.BytesToSend(), 0);
  EXPECT_EQ(accepted.State(), StreamState::Failed);
}

// The time-out is for a peer that takes nothing: one that keeps reading, however slowly, is
// served for as long as it reads, and is cut once it stops.
TEST_F(ListeningServer, TheSendTimeOutCountsFromTheLastByteThePeerTook) {
  RawClient peer(port, 64 * 1024);
  ASSERT_TRUE(RunUntil([&] { return Connected(); }));
  constexpr int kTimeoutMs = 300;
  accepted.SetSendTimeout(kTimeoutMs);
  accepted.SetSendBufferLimit(64u << 20);
  const int systemBuffer = 64 * 1024;
  ::setsockopt(accepted.SocketHandle(), SOL_SOCKET, SO_SNDBUF, &systemBuffer, sizeof systemBuffer);
  ASSERT_TRUE(accepted.SendData(std::string(16u << 20, 's')).ok());

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
  while (std::chrono::steady_clock::now() < until && Connected()) {
    accepted.SendData(std::string(4096, 'm'));
    RunFor(20);
  }
  reading = false;
  reader.join();
  EXPECT_TRUE(Connected());
  EXPECT_FALSE(serverEvents.Has("error:10060"));
  EXPECT_GT(taken.load(), 0);
  ASSERT_GT(accepted.BytesToSend(), 0);
  // Now it has stopped: cut once the time-out has passed without progress (counted from its
  // last read, a moment before this).
  const auto stopped = std::chrono::steady_clock::now();
  ASSERT_TRUE(RunUntil([&] { return serverEvents.Has("error:10060"); }, 10 * kTimeoutMs));
  EXPECT_GE(std::chrono::steady_clock::now() - stopped, std::chrono::milliseconds(kTimeoutMs / 2));
  EXPECT_EQ(accepted.State(), StreamState::Failed);
}

TEST_F(ListeningServer, APeerThatStopsReadingCannotGrowTheSendBufferWithoutBound) {
  RawClient peer(port, 4096);  // never reads
  ASSERT_TRUE(RunUntil([&] { return Connected(); }));
  constexpr std::size_t kLimit = 1 << 20;
  accepted.SetSendBufferLimit(kLimit);
  const std::string chunk(64 * 1024, 'y');
  int sends = 0;
  while (Connected() && sends < 10000) {
    if (sends > 0 && sends % 8 == 0) RunFor(1);  // some of it leaves, as passes go by
    ASSERT_TRUE(accepted.SendData(chunk).ok());
    ++sends;
  }
  EXPECT_EQ(accepted.State(), StreamState::Failed);
  EXPECT_LE(static_cast<std::size_t>(accepted.BytesToSend()), kLimit);
  // The failure is reported later, from the loop: no error event came from inside SendData.
  EXPECT_FALSE(serverEvents.Has("error:10055"));
  ASSERT_TRUE(RunUntil([&] { return serverEvents.Has("error:10055"); }));
  // Later sends to the failed connection are dropped quietly.
  EXPECT_TRUE(accepted.SendData("more").ok());
  EXPECT_LE(static_cast<std::size_t>(accepted.BytesToSend()), kLimit);
}

// What the owner has not taken stays bounded: the socket stops reading and the system holds
// the peer back, until the owner makes room (GetData, or ConsumeReceived after parsing the
// bytes in place); then everything arrives, in order.
class ReceiveLimit : public ListeningServer {
 protected:
  // `take` returns the bytes it took from the socket.
  void SendMoreThanTheLimitAndTake(const std::function<std::string(StreamSocket&)>& take) {
    RawClient peer(port);
    ASSERT_TRUE(RunUntil([&] { return Connected(); }));
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
  SendMoreThanTheLimitAndTake([](StreamSocket& socket) { return socket.GetData(); });
}

TEST_F(ReceiveLimit, AnOwnerReadingInPlaceMakesRoomByConsuming) {
  SendMoreThanTheLimitAndTake([](StreamSocket& socket) {
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
  auto doomed = std::make_unique<StreamSocket>();
  EventRecorder events;
  events.onData = [&](StreamSocket&) { doomed.reset(); };
  doomed->SetEvents(&events);
  listenerEvents.onRequest = [&](Listener&, ConnectionRequest& request) { doomed->Accept(request); };
  {
    RawClient peer(port);
    peer.Send("x");
  }
  ASSERT_TRUE(RunUntil([&] { return doomed == nullptr; }));
  RunFor(50);
  EXPECT_FALSE(events.Has("close"));
}

TEST_F(ListeningServer, GetDataLengths) {
  RawClient peer(port);
  peer.Send("abcdef");
  ASSERT_TRUE(RunUntil([&] { return accepted.BytesReceived() == 6; }));
  EXPECT_EQ(accepted.GetData(3), "abc");
  EXPECT_EQ(accepted.GetData(3), "def");  // equal to the buffer: all of it
  peer.Send("ghij");
  ASSERT_TRUE(RunUntil([&] { return accepted.BytesReceived() == 4; }));
  EXPECT_EQ(accepted.GetData(-1), "ghij");
  EXPECT_EQ(accepted.GetData(5), "");
}

TEST_F(ListeningServer, EverythingSentInAPassLeavesInOneSendAtItsEnd) {
  RawClient peer(port);
  ASSERT_TRUE(RunUntil([&] { return Connected(); }));
  accepted.SetNoDelay(true);
  ASSERT_TRUE(accepted.SendData("abc").ok());
  ASSERT_TRUE(accepted.SendData("defg").ok());
  EXPECT_TRUE(serverEvents.events.empty());  // nothing sent yet: it waits for the end of the pass
  EXPECT_EQ(accepted.BytesToSend(), 7);
  ASSERT_TRUE(RunUntil([&] { return serverEvents.Has("complete"); }));
  EXPECT_EQ(serverEvents.events, (std::vector<std::string>{"progress:7,0", "complete"}));
  EXPECT_EQ(peer.Receive(), "abcdefg");
}

TEST(StreamSocket, WithoutAConnectionSendsAreRefused) {
  StreamSocket socket;
  EXPECT_EQ(socket.SendData("x").number, kErrorWrongState);
  EXPECT_EQ(socket.State(), StreamState::Closed);
  EXPECT_TRUE(socket.CloseSocket().ok());
}

TEST(Listener, APortInUseIsRefusedAndTheListenerStaysClosed) {
  Listener first;
  ASSERT_TRUE(first.Listen(0, "127.0.0.1").ok());
  Listener second;
  const SocketError error = second.Listen(first.LocalPort(), "127.0.0.1");
  EXPECT_EQ(error.number, kErrorAddressInUse);
  EXPECT_FALSE(second.IsListening());
  EXPECT_EQ(second.LocalPort(), first.LocalPort());  // the port asked for
}

// A socket leaves no watch behind in the loop, whatever way it ends.
TEST(StreamSocket, NoWatchOutlivesItsSocket) {
  const std::size_t before = MainLoop().watchCount();
  {
    Listener listener;
    ASSERT_TRUE(listener.Listen(0, "127.0.0.1").ok());
    EventRecorder events;
    StreamSocket accepted(&events);
    events.onRequest = [&](Listener&, ConnectionRequest& request) { accepted.Accept(request); };
    listener.SetEvents(&events);
    RawClient peer(listener.LocalPort());
    ASSERT_TRUE(RunUntil([&] { return accepted.State() == StreamState::Connected; }));
    EXPECT_EQ(MainLoop().watchCount(), before + 2);
    peer.Close();
    ASSERT_TRUE(RunUntil([&] { return events.Has("close"); }));
    EXPECT_EQ(MainLoop().watchCount(), before + 1);
  }
  EXPECT_EQ(MainLoop().watchCount(), before);
}

}  // namespace
}  // namespace velmorin
