#pragma once
// Where the connection table hands each packet it read (decrypted when the connection's cipher
// is on).

#include <string>

namespace velmorin {

class PacketHandler {
 public:
  virtual ~PacketHandler() = default;
  // Returns whether the reader goes on with the connection's next buffered packet.
  virtual bool Dispatch(long index, const std::string& command, const std::string& payload) = 0;
};

}  // namespace velmorin
