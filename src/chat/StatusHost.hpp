#pragma once
// What the chat layer asks of the server's status: whether it is online and full, the figures the
// welcome tells, and a refresh of the status display after the counts changed.

namespace velmorin {

enum ServerStatusCode : long { StatusReady = 0, StatusFull = 1, StatusStopped = 2 };

class StatusHost {
 public:
  virtual ~StatusHost() = default;
  virtual bool IsOnline() const = 0;
  // One of ServerStatusCode.
  virtual long ServerStatus() const = 0;
  // Shows the counts as they are now and returns the status (a call out: the display is the
  // front end's).
  virtual long RefreshStatus() = 0;
  virtual long ListeningPort() const = 0;
  virtual long long OnlineSeconds() const = 0;
};

}  // namespace velmorin
