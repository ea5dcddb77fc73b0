#pragma once
// The user's away state, kept by the client: the server relays requests for the away message
// ("getAwayMessage") and the answers ("awaymessage") but holds no away text itself, so the
// away user's client is the one that answers, both when asked and when written to privately.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "client/PacketDecoder.hpp"

namespace velmorin::term {

class AwayState {
 public:
  // Senders answered during one absence; more are not answered again until the next one.
  static constexpr std::size_t kMaxAnswered = 256;

  bool Active() const { return away_; }
  const std::string& Text() const { return text_; }

  // A new absence (or coming back) forgets whom the last one answered.
  void Set(bool away, std::string text);

  // The "awaymessage" payload that answers a private message from somebody else while away,
  // once per sender and absence; nothing for any other packet.
  std::optional<std::string> AnswerTo(const client::Packet& packet, std::string_view ownNickname);

 private:
  bool away_ = false;
  std::string text_;
  std::vector<std::string> answered_;
};

// The server sends a private message to oneself twice, once as to the recipient and once as
// to the sender, one right after the other; the second is not shown.
class SelfMessageFilter {
 public:
  bool Show(const client::Packet& packet, std::string_view ownNickname);

 private:
  std::optional<std::string> first_;  // the payload of a first copy just shown
};

}  // namespace velmorin::term
