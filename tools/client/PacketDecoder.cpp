#include "client/PacketDecoder.hpp"

namespace velmorin::client {

void PacketDecoder::Feed(std::string_view bytes) {
  if (!malformed_) buffer_.Append(bytes);
}

void PacketDecoder::Commit(std::size_t count) {
  buffer_.Commit(count);
  if (malformed_) buffer_.Release();
}

std::optional<Packet> PacketDecoder::Pop() {
  if (malformed_) return std::nullopt;
  PacketView view;
  switch (reader_.Read(buffer_.View(), view)) {
    case ReadResult::NeedMore:
      return std::nullopt;
    case ReadResult::Invalid:
      Fail(reader_.ErrorText());
      return std::nullopt;
    case ReadResult::LengthError:
      // 6: more digits than any length may have.
      Fail(reader_.ErrorNumber() == 6 ? "length over the limit" : "payload length is not a decimal number");
      return std::nullopt;
    case ReadResult::Packet:
      break;
  }
  Packet packet{std::string(view.command), std::string(view.payload)};
  buffer_.Consume(view.size);
  return packet;
}

void PacketDecoder::Fail(std::string_view reason) {
  malformed_ = true;
  error_ = reason;
  buffer_.Release();
  reader_.Reset();
}

void PacketDecoder::Reset() {
  buffer_.Clear();
  reader_.Reset();
  malformed_ = false;
  error_.clear();
}

}  // namespace velmorin::client
