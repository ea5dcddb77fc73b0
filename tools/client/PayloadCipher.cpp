#include "client/PayloadCipher.hpp"

#include <utility>

namespace velmorin::client {

void PayloadCipher::Start(channel::SecureChannel channel) {
  channel_ = std::move(channel);
  confirmed_ = false;
}

void PayloadCipher::Stop() {
  channel_.reset();
  confirmed_ = false;
}

std::string PayloadCipher::Outgoing(std::string_view payload) {
  return channel_.has_value() ? channel_->Seal(payload) : std::string(payload);
}

std::optional<std::string> PayloadCipher::Incoming(std::string_view payload) {
  if (!channel_.has_value()) return std::string(payload);
  if (std::optional<std::string> clear = channel_->Open(payload)) {
    confirmed_ = true;
    return clear;
  }
  if (!confirmed_) return std::string(payload);  // sent before the server switched
  ++dropped_;
  return std::nullopt;
}

}  // namespace velmorin::client
