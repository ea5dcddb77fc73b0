#include "Traffic.hpp"

#include <algorithm>

namespace velmorin::load {

Traffic::Traffic(std::uint32_t receivers, std::uint32_t senders, std::uint32_t messagesPerSender,
                 std::uint32_t window)
    : messagesPerSender_(messagesPerSender),
      window_(window),
      presentReceivers_(receivers),
      senders_(senders),
      present_(receivers, 1),
      nextExpected_(static_cast<std::size_t>(receivers) * senders, 0),
      newPerReceiver_(receivers, 0) {
  for (Sender& sender : senders_) {
    sender.remaining.assign(window, 0);
    sender.sentAt.assign(window, 0);
    sender.stampAt.assign(window, 0);
  }
}

void Traffic::RemoveReceiver(std::uint32_t receiver) {
  if (!present_[receiver]) return;
  present_[receiver] = 0;
  --presentReceivers_;
  const std::size_t row = static_cast<std::size_t>(receiver) * senders_.size();
  for (std::uint32_t s = 0; s < senders_.size(); ++s) {
    Sender& sender = senders_[s];
    Release(sender, nextExpected_[row + s], sender.sent);
    MoveOldest(sender);
  }
}

bool Traffic::MaySend(std::uint32_t s) const {
  const Sender& sender = senders_[s];
  return !sender.stopped && sender.sent < messagesPerSender_ && sender.sent - sender.oldest < window_;
}

std::uint32_t Traffic::BeginSend(std::uint32_t s, std::int64_t nowNs, std::int64_t stampNs) {
  Sender& sender = senders_[s];
  const std::uint32_t sequence = sender.sent++;
  const std::uint32_t slot = sequence % window_;
  sender.remaining[slot] = presentReceivers_;
  sender.sentAt[slot] = nowNs;
  sender.stampAt[slot] = stampNs;
  MoveOldest(sender);  // with nobody present the message is done at once
  return sequence;
}

Receipt Traffic::OnDelivery(std::uint32_t receiver, std::uint32_t s, std::uint64_t sequence,
                            std::int64_t& stampNs) {
  stampNs = -1;
  if (receiver >= present_.size() || !present_[receiver] || s >= senders_.size() ||
      sequence >= senders_[s].sent) {
    ++extra_;
    return Receipt::Unexpected;
  }
  ++deliveries_;
  Sender& sender = senders_[s];
  const auto seq = static_cast<std::uint32_t>(sequence);
  std::uint32_t& next = nextExpected_[static_cast<std::size_t>(receiver) * senders_.size() + s];
  if (seq < next) {
    ++extra_;
    ++outOfOrder_;
    return Receipt::Duplicate;
  }
  if (seq > next) {
    // The skipped messages cannot come any more on an ordered stream: stop waiting for them
    // here, so that they do not hold the window until they time out. They count as lost.
    ++outOfOrder_;
    Release(sender, next, seq);
  }
  next = seq + 1;
  ++newPerReceiver_[receiver];
  if (seq < sender.oldest) {
    ++late_;
  } else {
    stampNs = sender.stampAt[seq % window_];
    Release(sender, seq, seq + 1);
  }
  MoveOldest(sender);
  return Receipt::New;
}

void Traffic::Release(Sender& sender, std::uint32_t from, std::uint32_t to) {
  for (std::uint32_t seq = std::max(from, sender.oldest); seq < to && seq < sender.sent; ++seq) {
    std::uint32_t& remaining = sender.remaining[seq % window_];
    if (remaining > 0) --remaining;
  }
}

void Traffic::MoveOldest(Sender& sender) {
  while (sender.oldest < sender.sent && sender.remaining[sender.oldest % window_] == 0) ++sender.oldest;
}

void Traffic::ExpireSentBefore(std::int64_t cutoffNs) {
  for (Sender& sender : senders_) {
    while (sender.oldest < sender.sent && sender.sentAt[sender.oldest % window_] < cutoffNs) {
      sender.remaining[sender.oldest % window_] = 0;
      ++timedOut_;
      ++sender.oldest;
      MoveOldest(sender);
    }
  }
}

std::int64_t Traffic::OldestInFlight(std::uint32_t s) const {
  const Sender& sender = senders_[s];
  return sender.oldest < sender.sent ? sender.sentAt[sender.oldest % window_] : -1;
}

bool Traffic::Finished() const {
  for (const Sender& sender : senders_) {
    if (sender.oldest < sender.sent) return false;
    if (!sender.stopped && sender.sent < messagesPerSender_) return false;
  }
  return true;
}

TrafficTotals Traffic::Totals() const {
  TrafficTotals totals;
  for (const Sender& sender : senders_) totals.sent += sender.sent;
  totals.deliveries = deliveries_;
  totals.extra = extra_;
  totals.outOfOrder = outOfOrder_;
  totals.timedOut = timedOut_;
  totals.late = late_;
  bool first = true;
  for (std::size_t r = 0; r < present_.size(); ++r) {
    totals.newDeliveries += newPerReceiver_[r];
    if (!present_[r]) continue;
    totals.expected += totals.sent;
    totals.lost += totals.sent - newPerReceiver_[r];
    totals.minPerReceiver = first ? newPerReceiver_[r] : std::min(totals.minPerReceiver, newPerReceiver_[r]);
    totals.maxPerReceiver = std::max(totals.maxPerReceiver, newPerReceiver_[r]);
    first = false;
  }
  return totals;
}

}  // namespace velmorin::load
