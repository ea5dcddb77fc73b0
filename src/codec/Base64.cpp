#include "codec/Base64.hpp"

#include <array>
#include <cstdint>

namespace velmorin {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Characters outside the alphabet keep the value 0, which is what lenient decoding wants.
constexpr std::array<std::uint8_t, 256> MakeDecodingTable() {
  std::array<std::uint8_t, 256> table{};
  for (std::uint8_t value = 0; value < 64; ++value) {
    table[static_cast<unsigned char>(kAlphabet[value])] = value;
  }
  return table;
}

constexpr std::array<std::uint8_t, 256> kDecodingTable = MakeDecodingTable();

std::uint32_t ByteAt(std::string_view text, std::size_t i) {
  return static_cast<unsigned char>(text[i]);
}

constexpr std::uint8_t kInvalid = 0xFF;

constexpr std::array<std::uint8_t, 256> MakeStrictTable() {
  std::array<std::uint8_t, 256> table{};
  table.fill(kInvalid);
  for (std::uint8_t value = 0; value < 64; ++value) table[static_cast<unsigned char>(kAlphabet[value])] = value;
  return table;
}

constexpr std::array<std::uint8_t, 256> kStrictTable = MakeStrictTable();

}  // namespace

std::string Base64Encode(std::string_view text) {
  std::string out((text.size() + 2) / 3 * 4, '=');
  char* next = out.data();
  const auto put = [&next](std::uint32_t group, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) *next++ = kAlphabet[(group >> (18 - 6 * i)) & 0x3F];
  };
  std::size_t i = 0;
  for (; i + 3 <= text.size(); i += 3) put(ByteAt(text, i) << 16 | ByteAt(text, i + 1) << 8 | ByteAt(text, i + 2), 4);
  const std::size_t rest = text.size() - i;
  if (rest == 1) put(ByteAt(text, i) << 16, 2);
  if (rest == 2) put(ByteAt(text, i) << 16 | ByteAt(text, i + 1) << 8, 3);
  return out;  // the padding was there from the start
}

std::string Base64Decode(std::string_view text) {
  if (text.empty() || text.size() % 4 != 0) return {};
  std::size_t length = text.size();
  for (int dropped = 0; dropped < 2 && text[length - 1] == '='; ++dropped) --length;

  // Six bits per character, one byte out whenever eight are collected: this yields exactly
  // floor(6 * length / 8) bytes, three quarters of the length rounded down.
  std::string out;
  out.reserve(length * 3 / 4);
  std::uint32_t bits = 0;
  int bitCount = 0;
  for (std::size_t i = 0; i < length; ++i) {
    bits = (bits << 6 | kDecodingTable[static_cast<unsigned char>(text[i])]) & 0xFFFF;
    bitCount += 6;
    if (bitCount >= 8) {
      bitCount -= 8;
      out.push_back(static_cast<char>((bits >> bitCount) & 0xFF));
    }
  }
  return out;
}

std::optional<std::string> Base64DecodeStrict(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::size_t padding = 0;
  while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
  const std::size_t length = text.size() - padding;
  std::string out(length * 3 / 4, '\0');
  char* next = out.data();
  std::uint32_t group = 0;
  std::size_t i = 0;
  for (; i < length; ++i) {
    const std::uint8_t value = kStrictTable[static_cast<unsigned char>(text[i])];
    if (value == kInvalid) return std::nullopt;
    group = group << 6 | value;
    if (i % 4 == 3) {
      *next++ = static_cast<char>(group >> 16);
      *next++ = static_cast<char>(group >> 8);
      *next++ = static_cast<char>(group);
      group = 0;
    }
  }
  // A last group of 2 or 3 characters holds 1 or 2 bytes; the bits left over must be zero.
  const std::size_t tail = length % 4;
  if (tail == 1) return std::nullopt;
  if (tail == 2) {
    if ((group & 0xF) != 0) return std::nullopt;
    *next++ = static_cast<char>(group >> 4);
  } else if (tail == 3) {
    if ((group & 0x3) != 0) return std::nullopt;
    *next++ = static_cast<char>(group >> 10);
    *next++ = static_cast<char>(group >> 2);
  }
  return out;
}

}  // namespace velmorin
