#pragma once
// Short ways to write and read packets in end-to-end tests.

#include <gtest/gtest.h>

#include <chrono>
#include <initializer_list>
#include <string>
#include <vector>

#include "codec/WireFormat.hpp"
#include "support/ServerHarness.hpp"

namespace velmorin::testing {

// Packets as "command | payload", in arrival order.
using Seen = std::vector<std::string>;

// How long a client listens before "nothing more arrived" holds; the server has handled every
// request by then (Sync), so this only covers the loopback hop.
inline constexpr std::chrono::milliseconds kQuiet{25};

inline std::string Joined(std::initializer_list<std::string> parts, char separator) {
  std::string joined;
  for (const std::string& part : parts) {
    if (&part != parts.begin()) joined += separator;
    joined += part;
  }
  return joined;
}
// NUL-separated fields.
inline std::string F(std::initializer_list<std::string> parts) { return Joined(parts, kFieldSeparator); }
// The columns of a list entry, separated by code 1.
inline std::string Cols(std::initializer_list<std::string> parts) { return Joined(parts, '\x01'); }
inline std::string P(const std::string& command, const std::string& payload) { return command + " | " + payload; }

// Sends a request and returns the payload of the first `reply` packet (a text naming the failure
// when none comes); other packets stay queued for Arrived.
inline std::string Request(client::ChatClient& user, const std::string& command, const std::string& payload,
                           const std::string& reply) {
  if (!user.Send(command, payload)) return "<send failed: " + user.LastErrorText() + ">";
  const auto packet = user.ReceiveCommand(reply, kWait);
  return packet ? packet->payload : "<no " + reply + ": " + user.LastErrorText() + ">";
}

// "joinChatroom" with a password proof (empty for open rooms): the "acceptChatroom" payload.
inline std::string Join(client::ChatClient& user, const std::string& room, const std::string& proof = "") {
  return Request(user, "joinChatroom", F({room, proof}), "acceptChatroom");
}

// Everything that reached `user` and was not read yet, once the server has handled all requests
// sent so far.
inline Seen Arrived(ServerHarness& server, client::ChatClient& user) {
  server.Sync();
  Seen seen;
  while (const auto packet = user.Receive(kQuiet)) seen.push_back(P(packet->command, packet->payload));
  return seen;
}

// Sends a request and returns everything that came back to the sender.
inline Seen Ask(ServerHarness& server, client::ChatClient& user, const std::string& command,
                const std::string& payload) {
  EXPECT_TRUE(user.Send(command, payload)) << user.LastErrorText();
  return Arrived(server, user);
}

}  // namespace velmorin::testing
