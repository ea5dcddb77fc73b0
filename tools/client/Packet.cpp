#include "client/Packet.hpp"

#include <utility>

namespace velmorin::client {

std::string EncodePacket(std::string_view command, std::string_view payload) {
  const std::string length = std::to_string(payload.size());
  std::string packet;
  packet.reserve(command.size() + 2 + length.size() + kPacketSeparator.size() + payload.size());
  packet.append(command).append("\r\n").append(length).append(kPacketSeparator).append(payload);
  return packet;
}

void PacketDecoder::Feed(std::string_view bytes) {
  if (malformed_ || bytes.empty()) return;
  Compact();
  buffer_.append(bytes);
}

std::optional<Packet> PacketDecoder::Pop() {
  if (malformed_) return std::nullopt;
  const std::string_view pending = std::string_view(buffer_).substr(offset_);
  if (!header_ && !ParseHeader(pending)) return std::nullopt;

  const std::size_t total = header_->payloadStart + header_->payloadLength;
  if (pending.size() < total) return std::nullopt;

  Packet packet{std::move(header_->command),
                std::string(pending.substr(header_->payloadStart, header_->payloadLength))};
  offset_ += total;
  scanned_ = 0;
  header_.reset();
  return packet;
}

bool PacketDecoder::ParseHeader(std::string_view pending) {
  // Only the first maxHeader + separator bytes can hold a valid separator, so the search never
  // looks further; resuming just before the end of the last search keeps it linear when bytes
  // trickle in, since a separator may straddle two feeds.
  const std::size_t window = limits_.maxHeader + kPacketSeparator.size();
  const std::string_view searched = pending.substr(0, window);
  const std::size_t resumeAt =
      scanned_ >= kPacketSeparator.size() ? scanned_ - (kPacketSeparator.size() - 1) : 0;
  const std::size_t separator = searched.find(kPacketSeparator, resumeAt);
  if (separator == std::string_view::npos) {
    scanned_ = searched.size();
    if (searched.size() >= window) return Fail("no packet separator within the header limit");
    return false;
  }

  const std::string_view header = pending.substr(0, separator);
  const std::size_t lineEnd = header.find("\r\n");
  if (lineEnd == std::string_view::npos || header.find("\r\n", lineEnd + 2) != std::string_view::npos)
    return Fail("header is not command, CR LF, length");

  const std::string_view lengthText = header.substr(lineEnd + 2);
  if (lengthText.empty()) return Fail("empty payload length");
  std::size_t length = 0;
  for (const char digit : lengthText) {
    if (digit < '0' || digit > '9') return Fail("payload length is not a decimal number");
    length = length * 10 + static_cast<std::size_t>(digit - '0');
    if (length > limits_.maxPayload) return Fail("payload length over the limit");
  }

  header_ = Header{std::string(header.substr(0, lineEnd)), separator + kPacketSeparator.size(), length};
  return true;
}

bool PacketDecoder::Fail(std::string reason) {
  malformed_ = true;
  error_ = std::move(reason);
  buffer_.clear();
  buffer_.shrink_to_fit();
  offset_ = 0;
  scanned_ = 0;
  header_.reset();
  return false;
}

// Drops consumed bytes only when they are at least half the buffer, so each byte is moved
// a bounded number of times however the stream is cut into feeds.
void PacketDecoder::Compact() {
  if (offset_ == 0) return;
  if (offset_ * 2 >= buffer_.size()) {
    buffer_.erase(0, offset_);
    offset_ = 0;
  }
}

void PacketDecoder::Reset() {
  buffer_.clear();
  offset_ = 0;
  scanned_ = 0;
  header_.reset();
  malformed_ = false;
  error_.clear();
}

}  // namespace velmorin::client
