#pragma once
// The server's state: online and offline, the figures of the server information window, and the
// machine's IPv4 addresses. Going offline while users are logged in needs the administrator's
// confirmation; the caller gives it with the request, since a control client cannot be asked.

#include <ctime>
#include <string>
#include <vector>

#include "admin/AdminResult.hpp"

namespace velmorin {

class ChatServer;

// What the server information window shows, as numbers (a front end formats them).
struct ServerFigures {
  bool online = false;
  long status = 2;        // 0 ready, 1 full, 2 stopped
  long port = 0;          // the listening port; 0 offline
  long users = 0;
  long maxUsers = 0;
  long connections = 0;
  long chatrooms = 0;
  double bytesIn = 0;
  double bytesOut = 0;
  std::time_t programStart = 0;
  std::time_t serverStart = 0;  // 0 offline
  long long programUptime = 0;  // seconds
  long long onlineUptime = 0;   // seconds; 0 offline
  long long systemUptime = 0;   // seconds
};

class ServerAdmin {
 public:
  explicit ServerAdmin(ChatServer& server) : server_(server) {}

  AdminResult GoOnline();
  // Refused with the stop question ("questionStopServer") while users are logged in and the
  // caller did not confirm.
  AdminResult GoOffline(bool confirmed);
  // Empties the log view and restarts the writer's line count; the log files keep their lines.
  AdminResult ClearLog();

  ServerFigures Figures() const;
  // The machine's IPv4 addresses, loopback left out.
  std::vector<std::string> LocalAddresses() const;

 private:
  ChatServer& server_;
};

}  // namespace velmorin
