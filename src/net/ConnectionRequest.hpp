#pragma once
// A connection the Listener took, offered to its owner inside OnConnectionRequest. A StreamSocket
// adopts it with Accept; one that nobody adopts is closed when the event returns.

#include <string>

namespace velmorin {

struct ConnectionRequest {
  int fd = -1;
  std::string address;  // the peer's, dotted
  long port = 0;        // the peer's
  bool accepted = false;
};

}  // namespace velmorin
