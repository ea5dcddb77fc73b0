// The message phase: senders keep their windows full (or follow their schedule), receivers
// count what arrives. This is the generator's hot path: no allocation per message or delivery
// (with --encrypt, none beyond what sealing and opening a payload take).

#include <algorithm>
#include <charconv>

#include "LoadRun.hpp"
#include "client/ProcessStats.hpp"

namespace velmorin::load {
namespace {

// Every generator text starts so; this run's texts continue with the run id (tagPrefix_).
constexpr std::string_view kTagStart = "LG ";
// Kind "normal", NUL, no recipient list (the whole room), NUL.
constexpr std::string_view kRoomMessagePrefix{"normal\0\0", 8};

// Appends a decimal number and a blank.
void AppendNumber(ByteBuffer& out, std::uint64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  *result.ptr = ' ';
  out.Append({digits, static_cast<std::size_t>(result.ptr + 1 - digits)});
}

// The receivers' hot path reads short fields; plain loops here instead of library searches
// and conversions take a good share off the generator's own cost per delivery.

// Moves `rest` past the next `separator`; false when there is none.
bool SkipPast(std::string_view& rest, char separator, std::string_view* field = nullptr) {
  std::size_t i = 0;
  while (i < rest.size() && rest[i] != separator) ++i;
  if (i == rest.size()) return false;
  if (field != nullptr) *field = rest.substr(0, i);
  rest.remove_prefix(i + 1);
  return true;
}

// Decimal digits ended by a blank; at most 19 digits so that it cannot overflow.
bool TakeNumber(std::string_view& rest, std::uint64_t& value) {
  std::size_t i = 0;
  value = 0;
  while (i < rest.size() && i < 19 && rest[i] >= '0' && rest[i] <= '9') {
    value = value * 10 + static_cast<unsigned>(rest[i] - '0');
    ++i;
  }
  if (i == 0 || i == rest.size() || rest[i] != ' ') return false;
  rest.remove_prefix(i + 1);
  return true;
}

}  // namespace

void LoadRun::SendMessages() {
  phase_ = Phase::Messages;
  tagPrefix_ = std::string(kTagStart) + std::to_string(runId_) + " ";
  for (Client& client : clients_) {
    if (client.state != ClientState::Joined) continue;
    if (senderClients_.size() == options_.senders) break;
    client.sender = static_cast<int>(senderClients_.size());
    senderClients_.push_back(client.index);
  }
  const auto senders = static_cast<std::uint32_t>(senderClients_.size());
  traffic_ = std::make_unique<Traffic>(options_.clients, senders, options_.messages, options_.window);
  for (const Client& client : clients_)
    if (client.state != ClientState::Joined) traffic_->RemoveReceiver(client.index);

  const std::int64_t start = NowNs();
  if (options_.rate > 0) {
    sendIntervalNs_ = std::max<std::int64_t>(1, static_cast<std::int64_t>(1e9 / options_.rate));
    // Spread the senders over one interval so that they do not fire in bursts together.
    for (std::uint32_t s = 0; s < senders; ++s)
      nextDueNs_.push_back(start + sendIntervalNs_ * s / senders);
  }
  const auto serverCpuBefore = options_.serverPid ? client::ReadCpuMicroseconds(options_.serverPid) : std::nullopt;
  const std::uint64_t ownCpuBefore = client::OwnCpuMicroseconds();

  result_.messagePhaseRan = true;
  RunUntil([&] { return traffic_->Finished(); }, deadlineNs_);

  const std::int64_t end = NowNs();
  const auto serverCpuAfter = options_.serverPid ? client::ReadCpuMicroseconds(options_.serverPid) : std::nullopt;
  const double wallSeconds = static_cast<double>(end - start) / 1e9;
  result_.generatorCpuUs = client::OwnCpuMicroseconds() - ownCpuBefore;
  if (wallSeconds > 0) result_.generatorBusyPercent = result_.generatorCpuUs / 1e4 / wallSeconds;

  result_.traffic = traffic_->Totals();
  const TrafficTotals& t = result_.traffic;
  if (firstSendNs_ != 0 && lastDeliveryNs_ > firstSendNs_) {
    result_.messageSeconds = static_cast<double>(lastDeliveryNs_ - firstSendNs_) / 1e9;
    result_.deliveriesPerSecond = t.deliveries / result_.messageSeconds;
    result_.messagesPerSecond = t.sent / result_.messageSeconds;
  }
  result_.latencyP50Ns = latencies_.Percentile(0.50);
  result_.latencyP90Ns = latencies_.Percentile(0.90);
  result_.latencyP99Ns = latencies_.Percentile(0.99);
  result_.latencyMaxNs = latencies_.Max();
  if (serverCpuBefore && serverCpuAfter) {
    result_.serverCpuUs = *serverCpuAfter - *serverCpuBefore;
    if (wallSeconds > 0) result_.serverBusyPercent = *result_.serverCpuUs / 1e4 / wallSeconds;
    if (t.deliveries > 0)
      result_.serverUsPerDelivery = static_cast<double>(*result_.serverCpuUs) / static_cast<double>(t.deliveries);
  }
}

void LoadRun::TickMessages(std::int64_t nowNs) {
  traffic_->ExpireSentBefore(nowNs - messageTimeoutNs_);
  const auto senders = static_cast<std::uint32_t>(senderClients_.size());
  for (std::uint32_t s = 0; s < senders; ++s) {
    if (sendIntervalNs_ == 0) {
      // Closed loop: refill the window as far as deliveries have emptied it.
      while (traffic_->MaySend(s)) SendNextMessage(s, nowNs, nowNs);
      continue;
    }
    // Open loop: the text carries the scheduled time, not the actual one, so a sender held
    // back by its window still shows the wait in the latency (no coordinated omission).
    while (nextDueNs_[s] <= nowNs && traffic_->MaySend(s)) {
      SendNextMessage(s, nowNs, nextDueNs_[s]);
      nextDueNs_[s] += sendIntervalNs_;
    }
  }
}

void LoadRun::SendNextMessage(std::uint32_t sender, std::int64_t nowNs, std::int64_t stampNs) {
  Client& client = clients_[senderClients_[sender]];
  if (!client.Open()) {
    traffic_->StopSender(sender);
    return;
  }
  const std::uint32_t sequence = traffic_->BeginSend(sender, nowNs, stampNs);
  if (firstSendNs_ == 0) firstSendNs_ = nowNs;

  if (client.cipher.Sealing()) {
    // The payload is built in a reused buffer and sealed; the sealed text's length goes first.
    clearPayload_.Clear();
    AppendMessageText(clearPayload_, sender, sequence, stampNs);
    AppendPacket(client.out, "message", client.cipher.Outgoing(clearPayload_.View()));
  } else {
    AppendPacketHeader(client.out, "message", kRoomMessagePrefix.size() + options_.size);
    AppendMessageText(client.out, sender, sequence, stampNs);
  }
  QueueFlush(client);
}

void LoadRun::AppendMessageText(ByteBuffer& out, std::uint32_t sender, std::uint32_t sequence,
                                std::int64_t stampNs) const {
  // Kind and recipients, then the text: "LG <run> <sender> <sequence> <send time ns> " padded
  // to the chosen size.
  out.Append(kRoomMessagePrefix);
  const std::size_t textStart = out.size();
  out.Append(tagPrefix_);
  AppendNumber(out, sender);
  AppendNumber(out, sequence);
  AppendNumber(out, static_cast<std::uint64_t>(stampNs));
  const std::size_t written = out.size() - textStart;
  if (written < options_.size) out.Append(options_.size - written, '.');
  else out.Truncate(textStart + options_.size);
}

void LoadRun::OnRoomMessage(Client& client, std::string_view payload, std::int64_t nowNs) {
  if (!traffic_) return;  // before the message phase nothing of ours is on the way
  constexpr std::string_view kNormal{"normal\0", 7};
  if (payload.substr(0, kNormal.size()) != kNormal) return;
  std::string_view rest = payload.substr(kNormal.size());
  std::string_view nickname;
  if (!SkipPast(rest, kFieldSeparator, &nickname) || !SkipPast(rest, kFieldSeparator)) return;  // then the colour
  if (rest.substr(0, tagPrefix_.size()) != tagPrefix_) {
    if (rest.substr(0, kTagStart.size()) == kTagStart) ++result_.foreign;  // another run's
    return;
  }
  rest.remove_prefix(tagPrefix_.size());
  std::uint64_t sender = 0, sequence = 0;
  if (!TakeNumber(rest, sender) || !TakeNumber(rest, sequence)) {
    ++result_.foreign;
    return;
  }
  if (sender < senderClients_.size() && nickname != clients_[senderClients_[sender]].nickname)
    ++result_.wrongSender;
  std::int64_t stamp = -1;
  const Receipt receipt =
      traffic_->OnDelivery(client.index, static_cast<std::uint32_t>(sender), sequence, stamp);
  lastDeliveryNs_ = nowNs;
  if (receipt != Receipt::New) return;
  // The stamp of a message in flight is at hand; only one that was given up is read from
  // the text, which saves converting its long number for almost every delivery.
  std::uint64_t textStamp = 0;
  if (stamp < 0 && TakeNumber(rest, textStamp)) stamp = static_cast<std::int64_t>(textStamp);
  if (stamp >= 0 && nowNs >= stamp) latencies_.Add(static_cast<std::uint64_t>(nowNs - stamp));
}

}  // namespace velmorin::load
