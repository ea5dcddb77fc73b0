// Packets on a client connection: the writer frames every packet the server sends; the reader
// takes the packets out of each connection's stream and hands them to the dispatcher.

#include <algorithm>
#include <exception>
#include <optional>
#include <utility>

#include "server/clsServer.hpp"
#include "codec/PacketReader.hpp"

namespace velmorin {

ctlSocket* clsServer::SendableSocket(long index) {
  ctlSocket* socket = Socket(index);
  if (index >= 1 && socket != nullptr && socket->State() == sckConnected) return socket;
  log_.Log(LogMessageType::ErrorSendingData, {{"%id", std::to_string(index)}});
  RemoveUser(index, "Error", true, -1);
  return nullptr;
}

void clsServer::SendCommand(long index, const std::string& command, const std::string& data) {
  ctlSocket* socket = SendableSocket(index);
  if (socket == nullptr) return;
  if (!EncryptionOn(index)) {
    socket->SendData(FramePacket(command, data));
    return;
  }
  const std::optional<std::string> encrypted = EncryptPayload(index, data);
  // A failure is logged, and logging may reach plugins: the socket is looked up again.
  if (encrypted.has_value() && (socket = Socket(index)) != nullptr) socket->SendData(FramePacket(command, *encrypted));
}

void clsServer::SendCommandToEach(const std::vector<long>& targets, const std::string& command,
                                  const std::string& data) {
  // Each connection gets one copy, however often the list names it; one that fails or goes
  // while the packet is being handed out gets nothing more.
  // Duplicates are found by marking slots with this call's round number: no hashing, no
  // allocation per recipient. Numbers outside the table (nobody holds them) are rare and
  // compared one by one. Nothing below calls out before the list is complete, so a call
  // re-entered from a send starts a round of its own without disturbing this one.
  std::vector<std::pair<long, std::uint64_t>> recipients;
  recipients.reserve(targets.size());
  const std::uint64_t round = ++relayRound_;
  relayMarks_.resize(connections_.size());
  std::vector<long> outside;
  for (long target : targets) {
    if (target >= 1 && target <= MaxIndex()) {
      std::uint64_t& mark = relayMarks_[static_cast<std::size_t>(target)];
      if (mark == round) continue;
      mark = round;
    } else if (std::find(outside.begin(), outside.end(), target) != outside.end()) {
      continue;
    } else {
      outside.push_back(target);
    }
    recipients.emplace_back(target, InUse(target) ? Record(target).Serial : 0);
  }
  const std::string packet = FramePacket(command, data);
  for (const auto& [target, serial] : recipients) {
    if (serial != 0 && !SameConnection(target, serial)) continue;
    if (InUse(target) && EncryptionOn(target)) {
      SendCommand(target, command, data);
    } else if (ctlSocket* socket = SendableSocket(target)) {
      socket->SendData(packet);
    }
  }
}

void clsServer::OnDataArrival(ctlSocket& socket, long bytesTotal) {
  const long index = socket.Index();
  if (!InUse(index)) return;
  if (socket.State() != sckConnected) return;
  if (bytesTotal > 0) {
    bytesIn_ += static_cast<double>(bytesTotal);
    AppendReceived(receives_[static_cast<std::size_t>(index)], socket.GetData());
  }
  // One packet at a time, as long as the handling of the last one lets the reader go on. A loop,
  // not a self-call: thousands of tiny packets in one read must not deepen the stack.
  const std::uint64_t serial = Record(index).Serial;
  while (SameConnection(index, serial) && ReadOnePacket(index)) {
  }
  if (SameConnection(index, serial) && receives_[static_cast<std::size_t>(index)].Buffered() > kMaxUnhandledInput) {
    InvalidData(index);
  }
}

// Takes one packet from the front of the buffer and dispatches it. Returns whether another
// packet may follow at once.
bool clsServer::ReadOnePacket(long index) {
  ctlSocket* socket = Socket(index);
  if (socket == nullptr || socket->State() != sckConnected) return false;
  ReadPacket packet;
  long errorNumber = 0;
  std::string errorText;
  switch (TakePacket(receives_[static_cast<std::size_t>(index)], packet, errorNumber, errorText)) {
    case ReadResult::NeedMore:
      return false;
    case ReadResult::LengthError:
      // "%id" is not in the text; it tells the log's rate limit which connection this is.
      log_.Log(LogMessageType::ErrorRaised, {{"%id", std::to_string(index)},
                                             {"%nr", std::to_string(errorNumber)},
                                             {"%description", errorText},
                                             {"%source", "frmServer.sckServer_OnDataArrival"}});
      InvalidData(index);
      return false;
    case ReadResult::Invalid:
      InvalidData(index);
      return false;
    case ReadResult::Packet:
      break;
  }
  if (EncryptionOn(index)) {
    const std::uint64_t serial = Record(index).Serial;
    std::optional<std::string> clear = DecryptPayload(index, packet.payload);
    if (!SameConnection(index, serial)) return false;
    if (!clear.has_value()) return true;  // dropped; the next packet may be sound
    packet.payload = std::move(*clear);
  }
  try {
    return Dispatch(index, packet.command, packet.payload);
  } catch (const std::exception& error) {
    log_.Log(LogMessageType::ErrorRaised, {{"%id", std::to_string(index)},
                                           {"%nr", "5"},
                                           {"%description", error.what()},
                                           {"%source", "frmServer.sckServer_OnDataArrival"}});
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
