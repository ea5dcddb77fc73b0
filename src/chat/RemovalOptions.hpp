#pragma once
// How the end of a connection is told to the others: what its room hears and what the plugins
// hear. Callers name the fields they set, e.g. `RemoveUser(index, {.reason = "Timeout",
// .tellRoom = true, .byError = true})`.

#include <string>

namespace velmorin {

struct RemovalOptions {
  // The reason the room's "userLeft" notice carries; may be empty.
  std::string reason;
  // Whether the room hears that the user left. A connection turned away before it joined
  // anything, or dropped while the server goes offline, leaves without a notice.
  bool tellRoom = true;
  // Whether the plugins hear the user was logged out by an error (a socket error, a ping that
  // went unanswered) rather than by leaving.
  bool byError = false;
};

}  // namespace velmorin
