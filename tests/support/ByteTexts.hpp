#pragma once
// Texts for tests of code that must carry any byte.

#include <string>

namespace velmorin::testing {

// Every byte value once, from 0 to 255.
inline std::string AllByteValues() {
  std::string bytes;
  for (int code = 0; code < 256; ++code) bytes.push_back(static_cast<char>(code));
  return bytes;
}

}  // namespace velmorin::testing
