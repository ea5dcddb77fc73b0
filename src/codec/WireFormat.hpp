#pragma once
// The constants of the wire format, defined here once for the server, the client library and
// the tools. A packet is: command CR LF decimal-length CR LF STX CR LF payload, where the length
// counts the payload's bytes; a payload's fields are separated by NUL.

#include <cstddef>
#include <string_view>

namespace velmorin {

// Between the header (command CR LF length) and the payload.
inline constexpr std::string_view kPacketSeparator("\r\n\x02\r\n", 5);
// Between the command and the length text inside the header.
inline constexpr std::string_view kHeaderLineBreak("\r\n", 2);

// The protocol version: the welcome announces it, a login must name it.
inline constexpr std::string_view kProtocolVersion("0.6");

// Between the fields of a payload.
inline constexpr char kFieldSeparator = '\0';
inline constexpr std::string_view kFieldSeparatorText(&kFieldSeparator, 1);

// The server's limits: a header (command CR LF length) of at most 132 characters, so the
// separator starts at position 133 at the latest, and at most 131072 characters per packet,
// header, separator and payload together.
inline constexpr std::size_t kMaxHeaderLength = 132;
inline constexpr long kMaxPacketLength = 131072;
// The longest payload a client takes from a server. The server's own lists may be longer than
// what it takes from clients: the user list of one room holding 32768 users with 40-character
// names comes to about 1.9 MB. A longer length is not from a server of this protocol, and a
// client refuses it at the header, before it buffers any of the payload.
inline constexpr std::size_t kMaxServerPayloadLength = 2 * 1024 * 1024;
// What a connection may leave received but not handled (four packets of the largest size and a
// margin): a connection whose reader is held up, as while a login waits, cannot make the server
// buffer without end. Beyond it the stream counts as broken.
inline constexpr std::size_t kMaxUnhandledInput = 4 * kMaxPacketLength + 65536;

// How long a login whose nickname is held waits for the holders to answer their pings, at most:
// a holder that does not answer is removed by its ping time-out first. Clients cannot learn the
// server's PingTimeout, so they reckon with its default.
inline constexpr long NicknameWaitMs(long pingTimeoutMs) { return pingTimeoutMs + pingTimeoutMs / 4 + 2000; }
inline constexpr long kDefaultPingTimeoutMs = 15000;

}  // namespace velmorin
