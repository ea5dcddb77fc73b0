#pragma once
// Reading a fuzz input front to back: bytes, little-endian numbers and byte runs. Reading past
// the end gives zeros and empty runs, so every input is a valid program for a target.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmorin::fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool empty() const { return offset_ >= size_; }
  std::size_t remaining() const { return size_ - offset_; }

  std::uint8_t Byte() { return offset_ < size_ ? data_[offset_++] : 0; }
  std::uint16_t Word() {
    const std::uint16_t low = Byte();
    return static_cast<std::uint16_t>(low | (Byte() << 8));
  }
  // Up to `length` bytes (fewer at the end of the input).
  std::string_view Bytes(std::size_t length) {
    if (length > remaining()) length = remaining();
    const std::string_view bytes(reinterpret_cast<const char*>(data_ + offset_), length);
    offset_ += length;
    return bytes;
  }
  // A run with a one-byte length.
  std::string_view ShortText() { return Bytes(Byte()); }
  std::string_view Rest() { return Bytes(remaining()); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t offset_ = 0;
};

}  // namespace velmorin::fuzz
