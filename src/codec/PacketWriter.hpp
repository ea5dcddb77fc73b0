#pragma once
// Writing packets: command CR LF decimal-length CR LF STX CR LF payload, appended to an output
// buffer in place, without building the packet elsewhere first.
//
//   AppendPacket(out, "message", payload);           // the whole packet
//   AppendPacketHeader(out, "message", length);      // the header and separator only; the
//   ... append exactly `length` payload bytes ...    // caller writes the payload itself
//
// `out` is a ByteBuffer (a socket's output) or a std::string.

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/ByteBuffer.hpp"

namespace velmorin {

void AppendPacketHeader(std::string& out, std::string_view command, std::size_t payloadLength);
void AppendPacketHeader(ByteBuffer& out, std::string_view command, std::size_t payloadLength);

void AppendPacket(std::string& out, std::string_view command, std::string_view payload);
void AppendPacket(ByteBuffer& out, std::string_view command, std::string_view payload);

// The packet as a string of its own, for a send that hands over a whole string.
std::string FramePacket(std::string_view command, std::string_view payload);

}  // namespace velmorin
