#pragma once
// Sockets whose connection is over for the server but whose graceful close is still under way:
// what they have buffered goes out, the peer's close completes them, and they are destroyed
// from the loop (never inside one of their own calls).
//
// The set is bounded: a client whose slot is freed must not be able to leave its buffers and
// its descriptor behind outside every limit. When a new socket would take the set past its
// count or its memory, the oldest are reset (which frees the system's side as well).

#include <cstddef>
#include <memory>

#include "net/StreamSocket.hpp"

namespace velmorin {

struct LingeringLimits {
  std::size_t sockets = 64;                // sockets closing at the same time
  std::size_t bytes = 16u * 1024u * 1024u;  // what they may hold together (as LingeringBytes)
};

// Takes the socket over. A socket in the closing state lingers until its close completes (or
// its close time-out passes), unless the limits make room by resetting it; any other is
// destroyed on the next loop pass. A lingering socket whose peer closes or fails gives its
// buffers back at once.
void LingerAndDestroy(std::unique_ptr<StreamSocket> socket);

// Sockets still lingering, and the bytes they hold: unsent or unread in their buffers, and
// not yet delivered by the system.
std::size_t LingeringSocketCount();
std::size_t LingeringBytes();

// Applies at once: sockets beyond the new limits are reset, oldest first.
void SetLingeringLimits(const LingeringLimits& limits);
LingeringLimits CurrentLingeringLimits();

}  // namespace velmorin
