#pragma once
// The packet format of the client protocol, seen from the client side.
//
//   Packet         — one command and its payload; both are byte texts.
//   EncodePacket   — command CR LF decimal-length CR LF STX CR LF payload.
//   PacketDecoder  — cuts packets out of a byte stream fed in pieces of any size.
//                    Runs in linear time and never holds more than one header's worth of
//                    bytes that cannot be a packet. Once it sees bad framing it stops for good:
//                    there is no way to find the next packet boundary again.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace velmorin::client {

// Between the header (command CR LF length) and the payload.
inline constexpr std::string_view kPacketSeparator{"\r\n\x02\r\n", 5};

struct Packet {
  std::string command;
  std::string payload;
  bool operator==(const Packet&) const = default;
};

std::string EncodePacket(std::string_view command, std::string_view payload);

// The decoder is more lenient than the server's reader (which allows a 132-byte header and
// 128 KiB packets); these caps only keep garbage from growing the buffer without bound.
struct DecoderLimits {
  std::size_t maxHeader = 1024;               // bytes before the separator
  std::size_t maxPayload = 64 * 1024 * 1024;  // declared payload length
};

class PacketDecoder {
 public:
  PacketDecoder() = default;
  explicit PacketDecoder(DecoderLimits limits) : limits_(limits) {}

  // Appends received bytes; ignored once the stream is malformed.
  void Feed(std::string_view bytes);

  // The next complete packet; nothing when more bytes are needed or the stream is malformed.
  std::optional<Packet> Pop();

  // Set by Pop on bad framing: no separator within the header cap, a header that is not
  // exactly "command CR LF length", a length that is not plain decimal digits or is over the cap.
  bool Malformed() const { return malformed_; }
  const std::string& Error() const { return error_; }

  // Bytes fed and not yet returned as packets (zero once malformed).
  std::size_t Buffered() const { return buffer_.size() - offset_; }

  void Reset();

 private:
  struct Header {
    std::string command;
    std::size_t payloadStart = 0;  // relative to offset_
    std::size_t payloadLength = 0;
  };

  bool ParseHeader(std::string_view pending);
  bool Fail(std::string reason);
  void Compact();

  DecoderLimits limits_;
  std::string buffer_;
  std::size_t offset_ = 0;   // start of the unconsumed bytes in buffer_
  std::size_t scanned_ = 0;  // unconsumed bytes already searched without finding a separator
  std::optional<Header> header_;
  bool malformed_ = false;
  std::string error_;
};

}  // namespace velmorin::client
