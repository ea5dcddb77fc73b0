#include "codec/PacketReader.hpp"

#include <charconv>
#include <cstdint>

#include "platform/Text.hpp"

namespace velmorin {
namespace {

constexpr long kMaxSeparatorPos = 133;  // 1-based: the header is at most 132 characters
constexpr std::size_t kKeptBufferCapacity = 2 * kMaxPacketLength;

// Whether a separator may still start at a 1-based position up to kMaxSeparatorPos once more
// bytes arrive, given a head in which no whole separator starts there: either a position not
// seen yet is still allowed, or the head ends in the beginning of a separator at an allowed
// position. The answer depends only on the bytes, never on how the reads split them.
bool SeparatorStillPossible(std::string_view head) {
  if (head.size() < static_cast<std::size_t>(kMaxSeparatorPos)) return true;
  for (std::size_t partial = kPacketSeparator.size() - 1; partial >= 1; --partial) {
    const std::size_t start = head.size() - partial;  // 0-based
    if (start + 1 > static_cast<std::size_t>(kMaxSeparatorPos)) continue;
    if (head.substr(start) == kPacketSeparator.substr(0, partial)) return true;
  }
  return false;
}

// Plain decimal with an optional sign and surrounding blanks; anything else fails the way a
// failed conversion does (13 "Type mismatch", 6 "Overflow").
bool ParseLength(std::string_view text, long& value, long& errorNumber, std::string& errorText) {
  const std::string trimmed = Trim(text, " \t");
  std::string_view digits = trimmed;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || end != digits.data() + digits.size()) {
    errorNumber = 13;
    errorText = "Type mismatch";
    return false;
  }
  if (error == std::errc::result_out_of_range || value > INT32_MAX || value < INT32_MIN) {
    errorNumber = 6;
    errorText = "Overflow";
    return false;
  }
  return true;
}

}  // namespace

void AppendReceived(ReceiveState& state, std::string_view bytes) {
  if (state.Start > 0 && state.Start * 2 >= state.Buffer.size()) {
    state.Buffer.erase(0, state.Start);
    state.Start = 0;
  }
  state.Buffer.append(bytes);
}

ReadResult TakePacket(ReceiveState& state, ReadPacket& packet, long& errorNumber, std::string& errorText) {
  const std::string_view buffered = std::string_view(state.Buffer).substr(state.Start);
  if (buffered.empty()) return ReadResult::NeedMore;

  if (state.Waiting) {
    if (state.PacketLength > static_cast<long>(buffered.size())) return ReadResult::NeedMore;
    state.Waiting = false;
  } else {
    // An allowed separator starts within the first 133 characters, so the search never looks
    // beyond the head. Without one, the stream is broken as soon as none can start there any more.
    const std::size_t window = kMaxSeparatorPos + kPacketSeparator.size() - 1;
    const std::string_view head = buffered.substr(0, window);
    const std::size_t found = head.find(kPacketSeparator);
    if (found == std::string_view::npos) {
      return SeparatorStillPossible(head) ? ReadResult::NeedMore : ReadResult::Invalid;
    }
    state.SeparatorPos = static_cast<long>(found) + 1;
    state.Header = Split(buffered.substr(0, found), "\r\n");
    if (state.Header.size() != 2) return ReadResult::Invalid;
    long length = 0;
    if (!ParseLength(state.Header[1], length, errorNumber, errorText)) return ReadResult::LengthError;
    if (length < 0 || state.SeparatorPos + length + 4 > kMaxPacketLength) return ReadResult::Invalid;
    state.PacketLength = state.SeparatorPos + length + 4;
    if (state.PacketLength > static_cast<long>(buffered.size())) {
      state.Waiting = true;
      return ReadResult::NeedMore;
    }
  }

  const std::size_t payloadStart = static_cast<std::size_t>(state.SeparatorPos) + 4;
  const std::size_t packetLength = static_cast<std::size_t>(state.PacketLength);
  packet.command = state.Header[0];
  packet.payload.assign(buffered.substr(payloadStart, packetLength - payloadStart));
  state.Start += packetLength;
  state.PacketLength = 0;
  if (state.Start == state.Buffer.size()) {
    // An emptied buffer keeps room for a packet or two; what a burst made it grow to goes back,
    // so an idle connection does not hold the memory of its largest read.
    if (state.Buffer.capacity() > kKeptBufferCapacity) {
      std::string().swap(state.Buffer);
    } else {
      state.Buffer.clear();
    }
    state.Start = 0;
  }
  return ReadResult::Packet;
}

std::string FramePacket(std::string_view command, std::string_view payload) {
  std::string packet;
  packet.reserve(command.size() + payload.size() + 20);
  packet.append(command).append("\r\n").append(std::to_string(payload.size())).append(kPacketSeparator).append(payload);
  return packet;
}

}  // namespace velmorin
