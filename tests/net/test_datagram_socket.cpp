#include <gtest/gtest.h>

#include <string>

#include "net/DatagramSocket.hpp"
#include "net/SocketTestSupport.hpp"
#include "net/WinsockErrors.hpp"

namespace velmorin {
namespace {

using testing::EventRecorder;
using testing::RunUntil;

TEST(DatagramSocket, DatagramsCarryTheSenderAddress) {
  EventRecorder receiverEvents;
  DatagramSocket receiver(&receiverEvents);
  ASSERT_TRUE(receiver.Bind(0, "127.0.0.1").ok());
  ASSERT_GT(receiver.LocalPort(), 0);  // the port the platform chose

  DatagramSocket sender;
  ASSERT_TRUE(sender.Bind(0, "127.0.0.1").ok());
  ASSERT_TRUE(sender.SendTo("127.0.0.1", receiver.LocalPort(), std::string("ping\0pong", 9)).ok());
  ASSERT_TRUE(RunUntil([&] { return !receiverEvents.events.empty(); }));
  EXPECT_EQ(receiverEvents.events, std::vector<std::string>{"datagram:" + std::string("ping\0pong", 9) + " from 127.0.0.1"});
}

TEST(DatagramSocket, BindIsRefusedTwiceAndForPortsAboveTheRange) {
  DatagramSocket socket;
  ASSERT_TRUE(socket.Bind(0, "127.0.0.1").ok());
  EXPECT_EQ(socket.Bind(0, "127.0.0.1").number, kErrorWrongState);
  EXPECT_EQ(DatagramSocket().Bind(70000).number, 6);
  EXPECT_EQ(DatagramSocket().SendTo("127.0.0.1", 9, "x").number, kErrorWrongState);
}

TEST(DatagramSocket, ASendThatFailsFailsTheSocketUntilItIsClosed) {
  EventRecorder events;
  DatagramSocket socket(&events);
  ASSERT_TRUE(socket.Bind(0, "127.0.0.1").ok());
  EXPECT_EQ(socket.SendTo("127.0.0.1", 9, std::string(70000, 'x')).number, 10040);  // larger than any datagram
  EXPECT_TRUE(socket.Failed());
  EXPECT_EQ(events.events, std::vector<std::string>{"error:10040"});
  EXPECT_TRUE(socket.SendTo("127.0.0.1", 9, "x").ok());  // dropped quietly
  socket.Close();
  EXPECT_FALSE(socket.Failed());
  EXPECT_TRUE(socket.Bind(0, "127.0.0.1").ok());
}

}  // namespace
}  // namespace velmorin
