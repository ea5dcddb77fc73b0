#pragma once
// The server's former packet functions, kept as thin adapters over PacketReader, ByteBuffer and
// FieldCursor while the server's read path moves onto the reader directly: it will parse
// packets as views out of its socket's received bytes (ctlSocket::ReceivedView) and consume
// each after handling it (ctlSocket::ConsumeReceived), with no copy of the bytes on the way.
// Nothing new should use this file; it goes once the server no longer does.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "codec/FieldCursor.hpp"
#include "codec/PacketReader.hpp"
#include "codec/PacketWriter.hpp"
#include "codec/WireFormat.hpp"
#include "platform/ByteBuffer.hpp"

namespace velmorin {

// A connection's received bytes and the reader that takes packets from them.
struct ReceiveState {
  // An emptied buffer keeps room for a packet or two; what a burst made it grow to goes back.
  ByteBuffer Buffer{2 * static_cast<std::size_t>(kMaxPacketLength)};
  PacketReader Reader;
  // Cleared by the owner to start a fresh stream; mirrors the reader between calls.
  long SeparatorPos = 0;
  long PacketLength = 0;
  bool Waiting = false;

  std::size_t Buffered() const { return Buffer.size(); }
  // Also gives the buffer's memory back: the slot's next connection starts small.
  void Clear() {
    Buffer.Release();
    Reader.Reset();
    Waiting = false;
  }
};

// A packet copied out of the stream.
struct ReadPacket {
  std::string command;
  std::string payload;
};

// Adds received bytes to the buffer.
void AppendReceived(ReceiveState& state, std::string_view bytes);

// Takes the front packet when it is complete. On LengthError, `errorNumber` and `errorText`
// describe the failed conversion.
ReadResult TakePacket(ReceiveState& state, ReadPacket& packet, long& errorNumber, std::string& errorText);

// The NUL-separated fields, at least `atLeast` of them: missing ones are empty.
std::vector<std::string> PayloadFields(std::string_view payload, std::size_t atLeast);

// The payload up to its first NUL.
inline std::string FirstField(std::string_view payload) { return std::string(FieldCursor::First(payload)); }

std::string JoinFields(const std::vector<std::string>& parts, std::string_view separator = kFieldSeparatorText);

}  // namespace velmorin
