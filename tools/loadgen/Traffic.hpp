#pragma once
// Bookkeeping of the message phase, free of sockets and clocks of its own.
//
// Senders: how many messages each has sent and which are still in flight. A message is in
// flight until every receiver present has it (the server relays a room message to every member,
// the sender included), so a sender's window of W slots is reused in sequence order.
// Receivers: per sender the next sequence expected, which tells new deliveries from
// duplicates and gaps.

#include <cstdint>
#include <vector>

namespace velmorin::load {

enum class Receipt { New, Duplicate, Unexpected };

struct TrafficTotals {
  std::uint64_t sent = 0;
  std::uint64_t deliveries = 0;     // every tagged message received
  std::uint64_t newDeliveries = 0;  // first receipt of a message by a receiver
  std::uint64_t expected = 0;       // messages sent x receivers present at the end
  std::uint64_t lost = 0;           // expected - new deliveries at the receivers present at the end
  std::uint64_t extra = 0;          // duplicates and messages never sent
  std::uint64_t outOfOrder = 0;     // a sender's sequence skipped or went backwards
  std::uint64_t timedOut = 0;       // given up before everybody had it
  std::uint64_t late = 0;           // arrived after being given up
  std::uint64_t minPerReceiver = 0;
  std::uint64_t maxPerReceiver = 0;
};

class Traffic {
 public:
  Traffic(std::uint32_t receivers, std::uint32_t senders, std::uint32_t messagesPerSender,
          std::uint32_t window);

  // A receiver that left (or never joined) expects nothing more and holds up nothing.
  void RemoveReceiver(std::uint32_t receiver);
  // A sender whose connection is gone sends no more.
  void StopSender(std::uint32_t sender) { senders_[sender].stopped = true; }

  bool MaySend(std::uint32_t sender) const;
  // Registers the next message of the sender and returns its sequence number. `stampNs` is
  // the time its latency counts from (the send time, or the scheduled time in open loop).
  std::uint32_t BeginSend(std::uint32_t sender, std::int64_t nowNs, std::int64_t stampNs);

  // `stampNs` is set to the message's stamp while it is in flight, otherwise to -1 (the
  // receiver then reads it from the text).
  Receipt OnDelivery(std::uint32_t receiver, std::uint32_t sender, std::uint64_t sequence,
                     std::int64_t& stampNs);

  // Gives up on messages sent before `cutoffNs` that have not reached everybody.
  void ExpireSentBefore(std::int64_t cutoffNs);
  // The send time of the sender's oldest message in flight, or -1 when none is.
  std::int64_t OldestInFlight(std::uint32_t sender) const;

  // Every sender is done (or stopped) and nothing is in flight.
  bool Finished() const;
  std::uint32_t SenderCount() const { return static_cast<std::uint32_t>(senders_.size()); }
  TrafficTotals Totals() const;

 private:
  struct Sender {
    std::uint32_t sent = 0;
    std::uint32_t oldest = 0;              // lowest sequence still in flight (== sent: none)
    std::vector<std::uint32_t> remaining;  // per window slot: receivers still missing it
    std::vector<std::int64_t> sentAt;      // per window slot
    std::vector<std::int64_t> stampAt;     // per window slot
    bool stopped = false;
  };

  // One receiver fewer waits for each message in flight with a sequence in [from, to).
  void Release(Sender& sender, std::uint32_t from, std::uint32_t to);
  void MoveOldest(Sender& sender);

  std::uint32_t messagesPerSender_;
  std::uint32_t window_;
  std::uint32_t presentReceivers_;
  std::vector<Sender> senders_;
  std::vector<std::uint8_t> present_;           // per receiver
  std::vector<std::uint32_t> nextExpected_;     // receiver * senders + sender
  std::vector<std::uint64_t> newPerReceiver_;
  std::uint64_t deliveries_ = 0;
  std::uint64_t extra_ = 0;
  std::uint64_t outOfOrder_ = 0;
  std::uint64_t timedOut_ = 0;
  std::uint64_t late_ = 0;
};

}  // namespace velmorin::load
