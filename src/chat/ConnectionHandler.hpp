#pragma once
// The ends of a connection, as the connection table and the chat services ask for them: a
// removal, and the connection's timers running out. The chat layer's ChatService implements it.

#include <string>

#include "chat/RemovalOptions.hpp"

namespace velmorin {

class ConnectionHandler {
 public:
  virtual ~ConnectionHandler() = default;
  // Ends the connection: the front end, the room and the plugins hear of it, then the slot is
  // released. A second removal of a connection that is closing does nothing. `options` says
  // what the room and the plugins are told (see RemovalOptions).
  virtual void RemoveUser(long index, const RemovalOptions& options) = 0;
  // The connection's reply timer ran out: a ping went unanswered, or a wait for a taken
  // nickname is over.
  virtual void ReplyTimeout(long index) = 0;
  // The connection did not log in within its login deadline.
  virtual void LoginDeadline(long index) = 0;
};

}  // namespace velmorin
