#pragma once
// A port for a server that a test or a tool starts on this machine.

#include <cstdint>

namespace velmorin::client {

// A port on 127.0.0.1 that nothing listened on a moment ago (TCP and UDP share it); 0 when the
// system gave none.
std::uint16_t FreeLoopbackPort();

}  // namespace velmorin::client
