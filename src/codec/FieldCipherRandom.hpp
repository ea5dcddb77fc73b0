#pragma once
// The randomness the field cipher (FieldCipher) draws from.

#include <cstdint>
#include <random>

namespace velmorin {

// Randomness for one or more encryptions. Each encryption draws the random byte r first, then
// its filler bytes. Construct it with a fixed initial state to make ciphertexts reproducible.
class FieldCipherRandom {
 public:
  FieldCipherRandom();  // started from getrandom(), the clock if that fails
  explicit FieldCipherRandom(std::uint32_t initialState);
  std::uint8_t NextByte() { return static_cast<std::uint8_t>(engine_() & 0xFF); }

 private:
  std::mt19937 engine_;
};

}  // namespace velmorin
