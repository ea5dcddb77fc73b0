#include "term/Away.hpp"

#include <algorithm>

#include "codec/WireFormat.hpp"
#include "platform/Text.hpp"

namespace velmorin::term {
namespace {

// Sender and recipient of a "private" message; nothing for any other packet.
std::optional<std::pair<std::string, std::string>> PrivateParties(const client::Packet& packet) {
  if (packet.command != "message") return std::nullopt;
  const std::vector<std::string> f = Split(packet.payload, kFieldSeparatorText);
  if (f.size() < 3 || f[0] != "private") return std::nullopt;
  return std::make_pair(f[1], f[2]);
}

}  // namespace

void AwayState::Set(bool away, std::string text) {
  if (away != away_) answered_.clear();
  away_ = away;
  text_ = away ? std::move(text) : std::string();
}

std::optional<std::string> AwayState::AnswerTo(const client::Packet& packet, std::string_view ownNickname) {
  if (!away_) return std::nullopt;
  const auto parties = PrivateParties(packet);
  if (!parties || EqualsNoCase(parties->first, ownNickname) || parties->first.empty()) return std::nullopt;
  const std::string& sender = parties->first;
  const auto known = [&](const std::string& name) { return EqualsNoCase(name, sender); };
  if (std::any_of(answered_.begin(), answered_.end(), known) || answered_.size() >= kMaxAnswered) return std::nullopt;
  answered_.push_back(sender);
  std::string payload = sender;
  payload.push_back(kFieldSeparator);
  payload += text_;
  return payload;
}

bool SelfMessageFilter::Show(const client::Packet& packet, std::string_view ownNickname) {
  const auto parties = PrivateParties(packet);
  const bool toSelf =
      parties && EqualsNoCase(parties->first, ownNickname) && EqualsNoCase(parties->second, ownNickname);
  if (!toSelf) {
    first_.reset();
    return true;
  }
  if (first_ && *first_ == packet.payload) {
    first_.reset();
    return false;
  }
  first_ = packet.payload;
  return true;
}

}  // namespace velmorin::term
