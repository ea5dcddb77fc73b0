#pragma once
// What the connection table hands up: the packets it reads, the connections that must end, and
// the timers of a connection that ran out. The chat services implement it.

#include <string>

namespace velmorin {

class ConnectionHandler {
 public:
  virtual ~ConnectionHandler() = default;
  // A packet read from connection `index`; returns whether the reader goes on with the next one.
  virtual bool Dispatch(long index, const std::string& command, const std::string& payload) = 0;
  // Ends the connection: see ConnectionTable's notes on removal.
  virtual void RemoveUser(long index, const std::string& reason, bool roomNotice, long errorFlag) = 0;
  // The connection's reply timer ran out: a ping went unanswered, or a wait for a taken
  // nickname is over.
  virtual void ReplyTimeout(long index) = 0;
  // The connection did not log in within its login deadline.
  virtual void LoginDeadline(long index) = 0;
};

}  // namespace velmorin
