#pragma once
// The client protocol's packet format, reduced to what the load generator needs:
// command CR LF decimal-length CR LF STX CR LF payload.
//
//   AppendPacket / AppendPacketHeader — write a packet into an output buffer in place.
//   ParsePacket                       — look at the front of received bytes without copying.
//   TakeField / ParseUnsigned         — walk a payload's fields.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace velmorin::load {

inline constexpr std::string_view kSeparator{"\r\n\x02\r\n", 5};
inline constexpr char kNul = '\0';

void AppendPacketHeader(std::vector<char>& out, std::string_view command, std::size_t payloadLength);
void AppendPacket(std::vector<char>& out, std::string_view command, std::string_view payload);

enum class ParseStatus { Packet, NeedMore, Malformed };

struct PacketView {
  std::string_view command;
  std::string_view payload;
  std::size_t size = 0;  // bytes of the whole packet, to step over it
};

// Views point into `bytes`; they stay valid as long as the bytes do.
ParseStatus ParsePacket(std::string_view bytes, PacketView& packet);

// The text up to the first `separator` (all of `rest` when there is none); `rest` moves past it.
std::string_view TakeField(std::string_view& rest, char separator);
std::string_view TakeLine(std::string_view& rest);  // up to CR LF

// Plain decimal digits only; false on anything else, on empty text or on overflow.
bool ParseUnsigned(std::string_view text, std::uint64_t& value);

}  // namespace velmorin::load
