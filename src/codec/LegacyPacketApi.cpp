#include "codec/LegacyPacketApi.hpp"

namespace velmorin {

void AppendReceived(ReceiveState& state, std::string_view bytes) { state.Buffer.Append(bytes); }

ReadResult TakePacket(ReceiveState& state, ReadPacket& packet, long& errorNumber, std::string& errorText) {
  // An owner that cleared Waiting starts a fresh stream.
  if (!state.Waiting) state.Reader.Reset();
  PacketView view;
  const ReadResult result = state.Reader.Read(state.Buffer.View(), view);
  state.Waiting = state.Reader.Waiting();
  switch (result) {
    case ReadResult::Packet:
      packet.command.assign(view.command);
      packet.payload.assign(view.payload);
      state.Buffer.Consume(view.size);
      break;
    case ReadResult::LengthError:
      errorNumber = state.Reader.ErrorNumber();
      errorText.assign(state.Reader.ErrorText());
      break;
    case ReadResult::NeedMore:
    case ReadResult::Invalid:
      break;
  }
  return result;
}

std::vector<std::string> PayloadFields(std::string_view payload, std::size_t atLeast) {
  std::vector<std::string> fields;
  FieldCursor cursor(payload);
  while (!cursor.AtEnd()) fields.emplace_back(cursor.Next());
  if (fields.size() < atLeast) fields.resize(atLeast);
  return fields;
}

std::string JoinFields(const std::vector<std::string>& parts, std::string_view separator) {
  std::string joined;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) joined += separator;
    joined += parts[i];
  }
  return joined;
}

}  // namespace velmorin
