#pragma once
// The client's side of payload encryption once the key exchange is done.
//
// Outgoing payloads are sealed from the moment the channel starts. Incoming ones are more
// subtle: packets the server sent before it saw our agreement arrive in clear after it, and
// nothing in a packet says which kind it is. So until the first sealed payload opens, a payload
// that does not open is taken as clear; from then on, one that does not open is dropped.

#include <optional>
#include <string>
#include <string_view>

#include "sealed_channel/SecureChannel.hpp"

namespace velmorin::client {

class PayloadCipher {
 public:
  void Start(channel::SecureChannel channel);
  void Stop();

  bool Sealing() const { return channel_.has_value(); }
  // The server has sent its first sealed payload: from here on everything is sealed.
  bool Confirmed() const { return confirmed_; }
  // Incoming payloads dropped because they did not open.
  long Dropped() const { return dropped_; }

  std::string Outgoing(std::string_view payload);
  // The clear payload, or nothing when the packet is to be dropped.
  std::optional<std::string> Incoming(std::string_view payload);

 private:
  std::optional<channel::SecureChannel> channel_;
  bool confirmed_ = false;
  long dropped_ = 0;
};

}  // namespace velmorin::client
