#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/ByteBuffer.hpp"

namespace velmorin {
namespace {

// A connected pair of stream sockets, closed at the end of the test.
struct SocketPair {
  int fds[2] = {-1, -1};
  SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0); }
  ~SocketPair() {
    for (const int fd : fds) ::close(fd);
  }
};

TEST(ByteBuffer, ARecvFillsTheTailInPlace) {
  SocketPair pair;
  ByteBuffer buffer;
  buffer.Append("head|");
  const std::string sent = "received bytes";
  ASSERT_EQ(::send(pair.fds[0], sent.data(), sent.size(), 0), static_cast<ssize_t>(sent.size()));
  const std::span<char> tail = buffer.WritableTail(64);
  ASSERT_GE(tail.size(), 64u);
  const ssize_t got = ::recv(pair.fds[1], tail.data(), 64, 0);
  ASSERT_EQ(got, static_cast<ssize_t>(sent.size()));
  buffer.Commit(static_cast<std::size_t>(got));
  EXPECT_EQ(buffer.View(), "head|" + sent);
}

// Consuming and appending in every rhythm keeps exactly the bytes not yet consumed, in order,
// whether the buffer compacts, grows or empties on the way.
TEST(ByteBuffer, ConsumeAndAppendKeepTheUnconsumedBytesInOrder) {
  struct Case {
    const char* name;
    std::size_t append;
    std::size_t consume;
  };
  const Case cases[] = {
      {"consumed as fast as appended", 100, 100},
      {"consumed a little slower", 100, 97},
      {"large appends, small consumes", 5000, 1234},
      {"single bytes", 1, 1},
      {"appends beyond the kept capacity", 70000, 69999},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ByteBuffer buffer(1024);
    std::string model;
    std::size_t next = 0;
    for (int round = 0; round < 200; ++round) {
      std::string bytes(c.append, '\0');
      for (char& byte : bytes) byte = static_cast<char>('a' + next++ % 26);
      if (round % 2 == 0) {
        buffer.Append(bytes);
      } else {
        const std::span<char> tail = buffer.WritableTail(bytes.size());
        std::memcpy(tail.data(), bytes.data(), bytes.size());
        buffer.Commit(bytes.size());
      }
      model += bytes;
      const std::size_t taken = std::min(c.consume, model.size());
      buffer.Consume(taken);
      model.erase(0, taken);
      ASSERT_EQ(buffer.View(), model) << "round " << round;
    }
    // The allocation stays within a small multiple of what is held.
    EXPECT_LE(buffer.capacity(), 4 * (model.size() + c.append) + 1024);
  }
}

TEST(ByteBuffer, AnEmptiedBufferKeepsOnlyItsKeptCapacity) {
  ByteBuffer small(1024);
  small.Append(std::string(100, 'x'));
  small.Consume(100);
  EXPECT_GT(small.capacity(), 0u) << "a small allocation is kept for reuse";

  ByteBuffer burst(1024);
  burst.Append(std::string(100000, 'x'));
  burst.Consume(99999);
  EXPECT_GE(burst.capacity(), 100000u);
  burst.Consume(1);
  EXPECT_EQ(burst.capacity(), 0u) << "what a burst made it grow to goes back";

  ByteBuffer trimmed;
  trimmed.Append(std::string(1000, 'x'));
  trimmed.Append(std::string(10, 'y'));
  trimmed.Consume(1000);
  trimmed.ShrinkToFit();
  EXPECT_EQ(trimmed.capacity(), 10u);
  EXPECT_EQ(trimmed.View(), "yyyyyyyyyy");
}

TEST(ByteBuffer, ACopyHoldsTheUnconsumedBytes) {
  ByteBuffer original;
  original.Append("consumed|kept");
  original.Consume(9);
  ByteBuffer copy(original);
  ByteBuffer assigned;
  assigned.Append("old");
  assigned = original;
  original.Append("!");
  EXPECT_EQ(copy.View(), "kept");
  EXPECT_EQ(assigned.View(), "kept");
  ByteBuffer moved(std::move(original));
  EXPECT_EQ(moved.View(), "kept!");
}

}  // namespace
}  // namespace velmorin
