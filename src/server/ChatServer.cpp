// The server's wiring: the constructor gives each part the others it works with, the destructor
// stops what still reports to the server, and the listening socket's events go where they are
// handled (a connection request to the chat layer's LoginService, an error to the plugins).

#include <memory>
#include <string>

#include "plugins/PluginCallGuard.hpp"
#include "server/ChatServer.hpp"
#include "server/PluginCommands.hpp"

namespace velmorin {

ChatServer::ChatServer(AdminFrontEnd& frontEnd)
    : frontEnd_(frontEnd),
      log_(frontEnd, language_),
      listener_(static_cast<ListenerEvents*>(this)),
      infoSocket_(static_cast<const ServerInfoProvider&>(*this)),
      table_(log_, events_, encryptionPlugins_),
      chat_({table_, log_, events_, pluginObjects_, language_, *this, frontEnd}),
      pluginCommands_(std::make_unique<PluginCommands>(PluginCommands::Parts{
          table_, chat_, chat_.Messages(), chat_.LiveRooms(), log_, events_, pluginObjects_, frontEnd, *this, *this})) {}

ChatServer::~ChatServer() {
  PluginCallGuard::ReportTo(nullptr);
  StopPingCycle();
}

void ChatServer::OnConnectionRequest(Listener&, ConnectionRequest& request) { chat_.Login().Accept(request); }

void ChatServer::OnError(Listener&, const SocketError& error) {
  // The listening socket's errors reach the plugins (as connection 0); the client sockets
  // report to the table.
  events_.OnlineStatus("error", std::string("0") + '\0' + std::to_string(error.number));
}

}  // namespace velmorin
