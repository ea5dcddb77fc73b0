// The server tells a service manager its state through the datagram socket named by
// NOTIFY_SOCKET: ready once it listens, reloading and ready again around SIGHUP, stopping at
// SIGTERM. The test is the service manager: it binds the socket and reads what arrives.

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "faults/ServerUnderTest.hpp"
#include "platform/ServiceNotify.hpp"

namespace velmorin {
namespace {

using testing::ScopedEnvironment;
using testing::ServerUnderTest;

// A bound datagram socket at NOTIFY_SOCKET's name (a path, or "@name" in the abstract namespace).
class NotifyReceiver {
 public:
  explicit NotifyReceiver(const std::string& name) : socket_(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.data(), std::min(name.size(), sizeof address.sun_path - 1));
    socklen_t length = offsetof(sockaddr_un, sun_path) + name.size();
    if (name.starts_with('@')) {
      address.sun_path[0] = '\0';
    } else {
      ++length;
    }
    bound_ = ::bind(socket_, reinterpret_cast<const sockaddr*>(&address), length) == 0;
  }
  ~NotifyReceiver() { ::close(socket_); }
  NotifyReceiver(const NotifyReceiver&) = delete;
  NotifyReceiver& operator=(const NotifyReceiver&) = delete;

  bool bound() const { return bound_; }

  // The next datagram, or nothing within the bound.
  std::optional<std::string> Next(int milliseconds = 20000) {
    pollfd ready{socket_, POLLIN, 0};
    if (::poll(&ready, 1, milliseconds) != 1) return std::nullopt;
    char buffer[4096];
    const ssize_t size = ::recv(socket_, buffer, sizeof buffer, 0);
    if (size < 0) return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(size));
  }

 private:
  int socket_;
  bool bound_ = false;
};

class ServiceNotify : public ::testing::TestWithParam<bool> {};

TEST_P(ServiceNotify, ReadyOnceListeningReloadingAroundSighupStoppingAtSigterm) {
  ServerUnderTest server;
  const bool abstract = GetParam();
  const std::string name = abstract ? "@velmorin-notify-" + std::to_string(::getpid())
                                    : server.dir().path("notify.socket");
  NotifyReceiver receiver(name);
  ASSERT_TRUE(receiver.bound()) << name;
  const ScopedEnvironment notify("NOTIFY_SOCKET", name);
  ASSERT_TRUE(server.Start()) << server.Output();

  EXPECT_EQ(receiver.Next(), "READY=1") << server.Output();
  server.Signal(SIGHUP);
  const std::optional<std::string> reloading = receiver.Next();
  ASSERT_TRUE(reloading) << server.Output();
  EXPECT_TRUE(reloading->starts_with("RELOADING=1\nMONOTONIC_USEC=")) << *reloading;
  const long long microseconds = std::stoll(reloading->substr(reloading->find('=', 12) + 1));
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  EXPECT_LE(microseconds, static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000);
  EXPECT_EQ(receiver.Next(), "READY=1") << server.Output();
  EXPECT_EQ(server.Stop(), 0);
  EXPECT_EQ(receiver.Next(), "STOPPING=1");
}

INSTANTIATE_TEST_SUITE_P(PathAndAbstractName, ServiceNotify, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Abstract" : "Path"; });

TEST(ServiceNotifyCall, DoesNothingWithoutTheVariableAndRefusesANameItCannotUse) {
  {
    ScopedEnvironment unset("NOTIFY_SOCKET", "");
    EXPECT_EQ(NotifyServiceManager("READY=1"), 0);
  }
  for (const std::string& name : {std::string("relative/notify"), std::string("@"), std::string(200, '/')}) {
    ScopedEnvironment wrong("NOTIFY_SOCKET", name);
    EXPECT_NE(NotifyServiceManager("READY=1"), 0) << name;
  }
}

}  // namespace
}  // namespace velmorin
