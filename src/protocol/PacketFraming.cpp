// Packets on a client connection: command CR LF length CR LF STX CR LF payload. The writer frames
// every packet the server sends; the reader cuts packets out of each connection's stream with
// every limit enforced and hands them to the dispatcher.

#include <charconv>
#include <stdexcept>
#include <string_view>

#include "core/clsServer.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

constexpr std::string_view kPacketSeparator("\r\n\x02\r\n", 5);
constexpr long kMaxSeparatorPos = 133;    // so the header is at most 132 characters
constexpr std::size_t kMaxUnseparated = 128;
constexpr long kMaxPacket = 131072;

// The length text as a number. A text that is no whole number fails the way the conversion of
// the original program did: logged as a run-time error, then treated as invalid data.
struct LengthError : std::runtime_error {
  LengthError(long code, const char* text) : std::runtime_error(text), number(code) {}
  long number;
};

long ParseLength(std::string_view text) {
  const std::string trimmed = Trim(text, " \t");
  std::string_view digits = trimmed;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  long value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || end != digits.data() + digits.size()) throw LengthError(13, "Type mismatch");
  if (error == std::errc::result_out_of_range || value > INT32_MAX || value < INT32_MIN) {
    throw LengthError(6, "Overflow");
  }
  return value;
}

}  // namespace

void clsServer::SendCommand(long index, const std::string& command, const std::string& data) {
  ctlSocket* socket = Socket(index);
  if (index < 1 || socket == nullptr || socket->State() != sckConnected) {
    log_.Log(LogMessageType::ErrorSendingData, {{"%id", std::to_string(index)}});
    RemoveUser(index, "Error", true, -1);
    return;
  }
  std::string packet;
  packet.reserve(command.size() + data.size() + 20);
  packet.append(command).append("\r\n").append(std::to_string(data.size())).append(kPacketSeparator).append(data);
  socket->SendData(packet);
}

void clsServer::OnDataArrival(ctlSocket& socket, long bytesTotal) {
  const long index = socket.Index();
  if (!InUse(index)) return;
  if (socket.State() != sckConnected) return;
  if (bytesTotal > 0) {
    bytesIn_ += static_cast<double>(bytesTotal);
    ReceiveState& receive = receives_[static_cast<std::size_t>(index)];
    if (receive.Start > 0 && receive.Start * 2 >= receive.Buffer.size()) {
      receive.Buffer.erase(0, receive.Start);
      receive.Start = 0;
    }
    receive.Buffer.append(socket.GetData());
  }
  // One packet at a time, as long as the handling of the last one lets the reader go on. A loop,
  // not a self-call: thousands of tiny packets in one read must not deepen the stack.
  const std::uint64_t serial = Record(index).Serial;
  while (SameConnection(index, serial) && ReadOnePacket(index)) {
  }
}

// Takes one packet from the front of the buffer and dispatches it. Returns whether another
// packet may follow at once.
bool clsServer::ReadOnePacket(long index) {
  ctlSocket* socket = Socket(index);
  if (socket == nullptr || socket->State() != sckConnected) return false;
  ReceiveState& receive = receives_[static_cast<std::size_t>(index)];
  if (receive.Buffered() == 0) return false;
  const std::string_view buffered = std::string_view(receive.Buffer).substr(receive.Start);

  if (receive.Waiting) {
    if (receive.PacketLength > static_cast<long>(buffered.size())) return false;
    receive.Waiting = false;
  } else {
    // Only the head can hold a separator that is allowed; a later one is invalid as well as
    // none in more than 128 characters, so the search never looks further.
    const std::size_t found = buffered.substr(0, kMaxSeparatorPos + kPacketSeparator.size() - 1).find(kPacketSeparator);
    if (found == std::string_view::npos) {
      if (buffered.size() <= kMaxUnseparated) return false;
      InvalidData(index);
      return false;
    }
    receive.SeparatorPos = static_cast<long>(found) + 1;
    receive.Header = Split(buffered.substr(0, found), "\r\n");
    if (receive.Header.size() != 2) {
      InvalidData(index);
      return false;
    }
    long length = 0;
    try {
      length = ParseLength(receive.Header[1]);
    } catch (const LengthError& error) {
      log_.Log(LogMessageType::ErrorRaised, {{"%nr", std::to_string(error.number)},
                                             {"%description", error.what()},
                                             {"%source", "frmServer.sckServer_OnDataArrival"}});
      InvalidData(index);
      return false;
    }
    if (length < 0 || receive.SeparatorPos + length + 4 > kMaxPacket) {
      InvalidData(index);
      return false;
    }
    receive.PacketLength = receive.SeparatorPos + length + 4;
    if (receive.PacketLength > static_cast<long>(buffered.size())) {
      receive.Waiting = true;
      return false;
    }
  }

  const std::size_t payloadStart = static_cast<std::size_t>(receive.SeparatorPos) + 4;
  const std::size_t packetLength = static_cast<std::size_t>(receive.PacketLength);
  std::string payload(buffered.substr(payloadStart, packetLength - payloadStart));
  const std::string command = receive.Header[0];
  receive.Start += packetLength;
  receive.PacketLength = 0;
  if (receive.Start == receive.Buffer.size()) {
    receive.Buffer.clear();
    receive.Start = 0;
  }

  const ConnectionRecord& record = Record(index);
  if (record.EncryptionIndex != -1 && record.EncryptionActive) {
    // Decryption comes with the encryption plugins; until then payloads pass unchanged.
  }
  try {
    return Dispatch(index, command, payload);
  } catch (const std::exception& error) {
    log_.Log(LogMessageType::ErrorRaised,
             {{"%nr", "5"}, {"%description", error.what()}, {"%source", "frmServer.sckServer_OnDataArrival"}});
    return true;
  }
}

void clsServer::InvalidData(long index) {
  log_.Log(LogMessageType::ErrorInvalidData, {{"%id", std::to_string(index)}});
  if (ctlSocket* socket = Socket(index)) {
    socket->CloseSocket();
    OnClose(*socket);
  }
}

}  // namespace velmorin
