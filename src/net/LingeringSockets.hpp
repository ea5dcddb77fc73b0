#pragma once
// Sockets whose connection is over for the server but whose graceful close is still under way:
// what they have buffered goes out, the peer's close completes them, and they are destroyed
// from the loop (never inside one of their own calls).

#include <memory>

#include "net/ctlSocket.hpp"

namespace velmorin {

// Takes the socket over. A socket in the closing state lingers until its close completes (or
// its close time-out passes); any other is destroyed on the next loop pass.
void LingerAndDestroy(std::unique_ptr<ctlSocket> socket);

// Sockets still lingering.
std::size_t LingeringSocketCount();

}  // namespace velmorin
