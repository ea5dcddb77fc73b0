#include "codec/PacketReader.hpp"

#include <charconv>
#include <cstdint>

namespace velmorin {
namespace {

std::string_view TrimBlanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

ReadResult PacketReader::Read(std::string_view input, PacketView& packet) {
  if (input.empty()) return ReadResult::NeedMore;
  if (!waiting_) {
    const ReadResult header = ReadHeader(input);
    if (header != ReadResult::Packet) return header;
  }
  if (packetLength_ > input.size()) {
    waiting_ = true;
    return ReadResult::NeedMore;
  }
  waiting_ = false;
  packet.command = input.substr(0, commandLength_);
  packet.payload = input.substr(payloadStart_, packetLength_ - payloadStart_);
  packet.size = packetLength_;
  return ReadResult::Packet;
}

ReadResult PacketReader::ReadHeader(std::string_view input) {
  // An allowed separator starts within the first maxHeader + 1 characters, so the search never
  // looks beyond the head. Without one, the stream is broken as soon as none can start there.
  const std::size_t window = limits_.maxHeader + kPacketSeparator.size();
  const std::string_view head = input.substr(0, window);
  const std::size_t separator = head.find(kPacketSeparator);
  if (separator == std::string_view::npos) {
    if (SeparatorStillPossible(head)) return ReadResult::NeedMore;
    return Fail(ReadResult::Invalid, 0, "no packet separator within the header limit");
  }
  const std::string_view header = input.substr(0, separator);
  const std::size_t lineBreak = header.find(kHeaderLineBreak);
  if (lineBreak == std::string_view::npos ||
      header.find(kHeaderLineBreak, lineBreak + kHeaderLineBreak.size()) != std::string_view::npos) {
    return Fail(ReadResult::Invalid, 0, "header is not command, CR LF, length");
  }
  long length = 0;
  const ReadResult parsed = ParseLength(header.substr(lineBreak + kHeaderLineBreak.size()), length);
  if (parsed != ReadResult::Packet) return parsed;
  const std::size_t payloadStart = separator + kPacketSeparator.size();
  if (length < 0 || static_cast<std::size_t>(length) > limits_.maxPayload ||
      payloadStart + static_cast<std::size_t>(length) > limits_.maxPacket) {
    return Fail(ReadResult::Invalid, 0, "length over the limit");
  }
  commandLength_ = lineBreak;
  payloadStart_ = payloadStart;
  packetLength_ = payloadStart + static_cast<std::size_t>(length);
  return ReadResult::Packet;
}

// Whether a separator may still start at a position up to maxHeader + 1 (1-based) once more
// bytes arrive, given a head in which no whole separator starts there: either a position not
// seen yet is still allowed, or the head ends in the beginning of a separator at an allowed
// position. The answer depends only on the bytes, never on how the reads split them.
bool PacketReader::SeparatorStillPossible(std::string_view head) const {
  const std::size_t lastStart = limits_.maxHeader;  // 0-based
  if (head.size() <= lastStart) return true;
  for (std::size_t partial = kPacketSeparator.size() - 1; partial >= 1; --partial) {
    const std::size_t start = head.size() - partial;
    if (start > lastStart) continue;
    if (head.substr(start) == kPacketSeparator.substr(0, partial)) return true;
  }
  return false;
}

// Decimal with an optional sign and surrounding blanks (only digits for a plain length);
// anything else fails the way a failed conversion does (13 "Type mismatch", 6 "Overflow").
ReadResult PacketReader::ParseLength(std::string_view text, long& length) {
  std::string_view digits = limits_.plainLength ? text : TrimBlanks(text);
  if (!limits_.plainLength && !digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  if (limits_.plainLength && !digits.empty() && (digits.front() < '0' || digits.front() > '9')) digits = {};
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), length);
  if (digits.empty() || end != digits.data() + digits.size()) return Fail(ReadResult::LengthError, 13, "Type mismatch");
  if (error == std::errc::result_out_of_range || length > INT32_MAX || length < INT32_MIN) {
    return Fail(ReadResult::LengthError, 6, "Overflow");
  }
  return ReadResult::Packet;
}

ReadResult PacketReader::Fail(ReadResult result, long number, std::string_view text) {
  errorNumber_ = number;
  errorText_ = text;
  return result;
}

}  // namespace velmorin
