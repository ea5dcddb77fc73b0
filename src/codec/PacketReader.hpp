#pragma once
// PacketReader: cuts packets out of a connection's input where the bytes lie, as views, with
// the limits every packet must keep (see WireFormat.hpp): a header of at most 132 characters,
// so the separator starts at position 133 at the latest; at most 131072 characters per packet;
// exactly two header elements; a length that is a non-negative whole number. A stream is
// broken as soon as its bytes leave no allowed place for the separator, whatever the reads it
// arrived in. Each packet costs time linear in its size, however the bytes arrive.
//
// How an owner reads (the input is typically the socket's ByteBuffer, filled in place):
//
//   PacketView packet;
//   for (;;) {
//     const ReadResult result = reader.Read(input.View(), packet);
//     if (result != ReadResult::Packet) break;     // NeedMore: wait for bytes; else end the stream
//     Handle(packet.command, packet.payload);      // views into the input: no copy
//     input.Consume(packet.size);                  // only now; the views die here
//   }
//
// A server connection reads this way straight out of its socket's receive buffer, which the
// socket fills in place (StreamSocket::ReceivedView and StreamSocket::ConsumeReceived): on data
// arrival, Read(socket.ReceivedView()), dispatch the packet's views, then
// socket.ConsumeReceived(packet.size) -- unless handling it ended the connection, which drops
// the buffer with it. NeedMore ends the loop; Invalid ends the connection; LengthError is
// logged with ErrorNumber and ErrorText first. More than kMaxUnhandledInput left unconsumed
// (a reader held up, as while a login waits) also ends it. Bytes are copied only where a
// handler keeps them or a payload is deciphered.
//
// The views stay valid until the caller consumes the packet or changes the input otherwise;
// a handler copies what it keeps. The reader remembers the parsed header of a packet whose
// payload has not fully arrived, so it expects the next Read to see the same unconsumed input
// (with more bytes at its end) until the packet is consumed or Reset is called.

#include <cstddef>
#include <string_view>

#include "codec/WireFormat.hpp"

namespace velmorin {

enum class ReadResult {
  NeedMore,     // no complete packet yet
  Packet,       // one packet at the front of the input
  Invalid,      // the stream breaks the format: the connection must end
  LengthError,  // the length text is no number (reported as a run-time error, then invalid)
};

// One packet at the front of the input.
struct PacketView {
  std::string_view command;
  std::string_view payload;
  std::size_t size = 0;  // bytes of the whole packet: what to consume after handling it
};

// What a reader accepts. The defaults are the server's limits; a client reading the server's
// stream may allow more.
struct PacketLimits {
  std::size_t maxHeader = kMaxHeaderLength;  // characters before the separator
  std::size_t maxPacket = static_cast<std::size_t>(kMaxPacketLength);  // the whole packet
  std::size_t maxPayload = static_cast<std::size_t>(kMaxPacketLength);  // the declared length
  // Only decimal digits in the length text; otherwise blanks around it and a sign are allowed.
  bool plainLength = false;
};

class PacketReader {
 public:
  PacketReader() = default;
  explicit PacketReader(const PacketLimits& limits) : limits_(limits) {}

  // Looks at the front of the unconsumed input. On Packet, `packet` views into `input`. On
  // LengthError, ErrorNumber and ErrorText describe the failed conversion (13 "Type mismatch",
  // 6 "Overflow"); on Invalid, ErrorText says what broke the stream.
  ReadResult Read(std::string_view input, PacketView& packet);

  // Forgets a remembered header: the next Read starts at a packet boundary.
  void Reset() { waiting_ = false; }
  // Whether the front packet's header is parsed and its rest awaited.
  bool Waiting() const { return waiting_; }

  long ErrorNumber() const { return errorNumber_; }
  std::string_view ErrorText() const { return errorText_; }

 private:
  // Parses the front packet's header into the members; Packet when it is complete.
  ReadResult ReadHeader(std::string_view input);
  bool SeparatorStillPossible(std::string_view head) const;
  ReadResult ParseLength(std::string_view text, long& length);
  ReadResult Fail(ReadResult result, long number, std::string_view text);

  PacketLimits limits_;
  bool waiting_ = false;
  std::size_t commandLength_ = 0;
  std::size_t payloadStart_ = 0;
  std::size_t packetLength_ = 0;
  long errorNumber_ = 0;
  std::string_view errorText_;
};

}  // namespace velmorin
