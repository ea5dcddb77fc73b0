#pragma once
// The client's side of the packet stream, on the shared wire codec (codec/PacketReader.hpp):
//
//   Packet         — one command and its payload, copied out of the stream to be kept.
//   PacketDecoder  — cuts packets out of a byte stream fed in pieces of any size. Once it sees
//                    bad framing it stops for good: there is no way to find the next packet
//                    boundary again.
// Packets are written with the codec's FramePacket / AppendPacket (codec/PacketWriter.hpp).

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "codec/PacketReader.hpp"
#include "platform/ByteBuffer.hpp"

namespace velmorin::client {

struct Packet {
  std::string command;
  std::string payload;
  bool operator==(const Packet&) const = default;
};

// The decoder allows a longer header than the server's reader (132 bytes) and the longest
// payload a server sends (kMaxServerPayloadLength, above the 128 KiB the server takes): a
// hostile server cannot make the client buffer more. The length must be plain decimal digits.
inline constexpr PacketLimits kClientLimits{1024, static_cast<std::size_t>(-1), kMaxServerPayloadLength, true};

class PacketDecoder {
 public:
  PacketDecoder() : reader_(kClientLimits) {}
  explicit PacketDecoder(const PacketLimits& limits) : reader_(limits) {}

  // Appends received bytes; ignored once the stream is malformed.
  void Feed(std::string_view bytes);
  // Room for a receive straight into the decoder (at least `count` bytes), then Commit what
  // it wrote; a malformed decoder drops what is committed.
  std::span<char> WritableTail(std::size_t count) { return buffer_.WritableTail(count); }
  void Commit(std::size_t count);

  // The next complete packet; nothing when more bytes are needed or the stream is malformed.
  std::optional<Packet> Pop();

  // Set by Pop on bad framing: no separator within the header cap, a header that is not
  // exactly "command CR LF length", a length that is not plain decimal digits or is over the cap.
  bool Malformed() const { return malformed_; }
  const std::string& Error() const { return error_; }

  // Bytes fed and not yet returned as packets (zero once malformed).
  std::size_t Buffered() const { return buffer_.size(); }

  void Reset();

 private:
  void Fail(std::string_view reason);

  PacketReader reader_;
  ByteBuffer buffer_;
  bool malformed_ = false;
  std::string error_;
};

}  // namespace velmorin::client
