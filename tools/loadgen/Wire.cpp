#include "Wire.hpp"

#include <charconv>

namespace velmorin::load {
namespace {

// The server refuses longer headers, so a longer one from it means the stream is broken.
constexpr std::size_t kMaxHeader = 132;
// Far above anything the server sends; only stops a broken length from growing a buffer.
constexpr std::uint64_t kMaxPayload = 16u << 20;

// The text up to the separator, which is consumed with it; the whole rest when there is none.
std::string_view TakeUntil(std::string_view& rest, std::string_view separator) {
  const std::size_t end = rest.find(separator);
  const std::string_view taken = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + separator.size());
  return taken;
}

}  // namespace

void AppendPacketHeader(std::vector<char>& out, std::string_view command, std::size_t payloadLength) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, payloadLength);
  out.insert(out.end(), command.begin(), command.end());
  out.push_back('\r');
  out.push_back('\n');
  out.insert(out.end(), digits, result.ptr);
  out.insert(out.end(), kSeparator.begin(), kSeparator.end());
}

void AppendPacket(std::vector<char>& out, std::string_view command, std::string_view payload) {
  AppendPacketHeader(out, command, payload.size());
  out.insert(out.end(), payload.begin(), payload.end());
}

// Straight-line scan of the short header instead of searching for the separator: the
// generator reads millions of packets and this keeps each one to a few compares.
ParseStatus ParsePacket(std::string_view bytes, PacketView& packet) {
  const char* data = bytes.data();
  const std::size_t size = bytes.size();
  // Commands are a few letters: a plain loop beats a library search call here.
  const std::size_t scan = size < kMaxHeader + 1 ? size : kMaxHeader + 1;
  std::size_t commandEnd = 0;
  while (commandEnd < scan && data[commandEnd] != '\r') ++commandEnd;
  if (commandEnd == scan) return size > kMaxHeader ? ParseStatus::Malformed : ParseStatus::NeedMore;

  std::size_t pos = commandEnd + 1;
  if (pos >= size) return ParseStatus::NeedMore;
  if (data[pos] != '\n') return ParseStatus::Malformed;
  ++pos;
  std::uint64_t length = 0;
  const std::size_t digitsStart = pos;
  while (pos < size && data[pos] >= '0' && data[pos] <= '9') {
    length = length * 10 + static_cast<unsigned>(data[pos] - '0');
    if (length > kMaxPayload) return ParseStatus::Malformed;
    ++pos;
  }
  if (pos > kMaxHeader) return ParseStatus::Malformed;
  if (pos >= size) return ParseStatus::NeedMore;
  if (pos == digitsStart) return ParseStatus::Malformed;

  for (std::size_t i = 0; i < kSeparator.size(); ++i) {
    if (pos + i == size) return ParseStatus::NeedMore;
    if (data[pos + i] != kSeparator[i]) return ParseStatus::Malformed;
  }

  const std::size_t payloadStart = pos + kSeparator.size();
  if (size - payloadStart < length) return ParseStatus::NeedMore;
  packet.command = std::string_view(data, commandEnd);
  packet.payload = std::string_view(data + payloadStart, length);
  packet.size = payloadStart + length;
  return ParseStatus::Packet;
}

std::string_view TakeField(std::string_view& rest, char separator) {
  return TakeUntil(rest, std::string_view(&separator, 1));
}

std::string_view TakeLine(std::string_view& rest) { return TakeUntil(rest, "\r\n"); }

bool ParseUnsigned(std::string_view text, std::uint64_t& value) {
  if (text.empty()) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc{} && end == text.data() + text.size();
}

}  // namespace velmorin::load
