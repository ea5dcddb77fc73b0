#pragma once
// The nicknames this client has seen online, for completion: from user lists, joins,
// messages, state changes and search results, until their owners leave the server. At most
// kMaxNames are kept; the one seen longest ago goes first.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "client/PacketDecoder.hpp"

namespace velmorin::term {

class Roster {
 public:
  static constexpr std::size_t kMaxNames = 1000;

  void Observe(const client::Packet& packet);

  // Wire text, our own nickname left out.
  std::vector<std::string> Names(std::string_view ownNickname) const;

 private:
  void Seen(const std::string& nickname);
  void Gone(const std::string& nickname);

  std::vector<std::string> names_;  // the most recently seen last
};

}  // namespace velmorin::term
