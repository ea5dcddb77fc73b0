#pragma once
// Cutting packets out of a connection's byte stream: command CR LF length CR LF STX CR LF
// payload, with the limits every packet must keep (header at most 132 characters, so the
// separator starts at position 133 at the latest; at most 131072 characters per packet; exactly
// two header elements; a length that is a non-negative whole number). A stream is broken as soon
// as its bytes leave no allowed place for the separator, whatever the reads it arrived in. Each
// packet costs time linear in its size, however the bytes arrive.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velmorin {

inline constexpr std::string_view kPacketSeparator("\r\n\x02\r\n", 5);
inline constexpr long kMaxPacketLength = 131072;
// What a connection may leave received but not handled (four packets of the largest size and a
// margin): a connection whose reader is held up, as while a login waits, cannot make the server
// buffer without end. Beyond it the stream counts as broken.
inline constexpr std::size_t kMaxUnhandledInput = 4 * kMaxPacketLength + 65536;

// The packet reader's state. Buffer is consumed from `Start` on: taking a packet moves the
// offset instead of erasing from the front.
struct ReceiveState {
  std::string Buffer;
  std::size_t Start = 0;
  std::vector<std::string> Header;  // command and length text of the front packet
  long SeparatorPos = 0;            // 1-based within the unconsumed part, 0 when none
  long PacketLength = 0;            // the whole front packet
  bool Waiting = false;             // the header is parsed; waiting for the rest

  std::size_t Buffered() const { return Buffer.size() - Start; }
  // Also gives the buffer's memory back: the slot's next connection starts small.
  void Clear() {
    std::string().swap(Buffer);
    Start = 0;
    Header.clear();
  }
};


struct ReadPacket {
  std::string command;
  std::string payload;
};

enum class ReadResult {
  NeedMore,     // no complete packet yet
  Packet,       // one packet taken from the front
  Invalid,      // the stream breaks the format: the connection must end
  LengthError,  // the length text is no number (reported as a run-time error, then invalid)
};

// Adds received bytes to the buffer (dropping the consumed part once it dominates).
void AppendReceived(ReceiveState& state, std::string_view bytes);

// Takes the front packet when it is complete. On LengthError, `errorNumber` and `errorText`
// describe the failed conversion.
ReadResult TakePacket(ReceiveState& state, ReadPacket& packet, long& errorNumber, std::string& errorText);

// The packet as it goes on the wire.
std::string FramePacket(std::string_view command, std::string_view payload);

}  // namespace velmorin
