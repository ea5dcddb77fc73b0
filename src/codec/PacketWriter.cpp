#include "codec/PacketWriter.hpp"

#include <charconv>

#include "codec/WireFormat.hpp"

namespace velmorin {
namespace {

// The header's bytes after the command: CR LF, the length's digits and the separator.
struct HeaderTail {
  char bytes[2 + 20 + 5];
  std::size_t size = 0;

  explicit HeaderTail(std::size_t payloadLength) {
    bytes[0] = '\r';
    bytes[1] = '\n';
    char* end = std::to_chars(bytes + 2, bytes + 22, payloadLength).ptr;
    for (const char c : kPacketSeparator) *end++ = c;
    size = static_cast<std::size_t>(end - bytes);
  }
  std::string_view View() const { return {bytes, size}; }
};

}  // namespace

void AppendPacketHeader(std::string& out, std::string_view command, std::size_t payloadLength) {
  out.append(command).append(HeaderTail(payloadLength).View());
}

void AppendPacketHeader(ByteBuffer& out, std::string_view command, std::size_t payloadLength) {
  out.Append(command);
  out.Append(HeaderTail(payloadLength).View());
}

void AppendPacket(std::string& out, std::string_view command, std::string_view payload) {
  const HeaderTail tail(payload.size());
  out.reserve(out.size() + command.size() + tail.size + payload.size());
  out.append(command).append(tail.View()).append(payload);
}

void AppendPacket(ByteBuffer& out, std::string_view command, std::string_view payload) {
  const HeaderTail tail(payload.size());
  out.WritableTail(command.size() + tail.size + payload.size());  // one growth at most
  out.Append(command);
  out.Append(tail.View());
  out.Append(payload);
}

std::string FramePacket(std::string_view command, std::string_view payload) {
  std::string packet;
  AppendPacket(packet, command, payload);
  return packet;
}

}  // namespace velmorin
