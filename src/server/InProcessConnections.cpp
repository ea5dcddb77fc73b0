// Client connections that do not come through the listening port: a connected stream socket
// made in this process (one end of a socketpair, say) is handed to the listening socket as a
// connection request. From there it takes exactly the path of an accepted TCP connection: the
// connection limit and address bans, a slot, the welcome, the packet reader. The fuzz targets
// drive the whole core this way, thousands of connections a second, without TCP.

#include "server/ChatServer.hpp"

namespace velmorin {

bool ChatServer::AdoptConnection(int fd, const std::string& remoteAddress, long remotePort) {
  return listener_.AdoptConnected(fd, remoteAddress, remotePort);
}

}  // namespace velmorin
