#pragma once
// Finding servers: the UDP request "vm3_gsi" to a port, answered by every server listening
// there with "vm3_serverinfos", its status, users/max, version and description.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmorin::client {

struct ServerInfo {
  std::string address;  // "a.b.c.d:port" the answer came from
  std::string status;   // "ready", "full", "stopped"
  std::string users;    // "3/256"
  std::string version;
  std::string description;  // line breaks travel as "<br>"
};

// Nothing when the datagram is not an answer.
std::optional<ServerInfo> ParseServerInfo(std::string_view datagram, std::string address);

struct DiscoveryResult {
  std::vector<ServerInfo> servers;  // in order of arrival, one per address
  std::string error;                // set when the request could not be sent
};

// Sends the request to host:port (SO_BROADCAST is on, so a broadcast address works) and
// collects answers until the time-out. A host that is one machine can answer only once, so
// an answer from the very address asked ends the wait early.
DiscoveryResult Discover(const std::string& host, std::uint16_t port, std::chrono::milliseconds timeout);

}  // namespace velmorin::client
