#include "store/modBase64.hpp"

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

void AppendSextets(std::string& out, std::uint32_t group, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) out.push_back(kAlphabet[(group >> (18 - 6 * i)) & 0x3F]);
}

}  // namespace

std::string Base64Encode(std::string_view text) {
  std::string out;
  out.reserve((text.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= text.size(); i += 3) {
    AppendSextets(out, ByteAt(text, i) << 16 | ByteAt(text, i + 1) << 8 | ByteAt(text, i + 2), 4);
  }
  const std::size_t rest = text.size() - i;
  if (rest == 1) {
    AppendSextets(out, ByteAt(text, i) << 16, 2);
    out += "==";
  } else if (rest == 2) {
    AppendSextets(out, ByteAt(text, i) << 16 | ByteAt(text, i + 1) << 8, 3);
    out += '=';
  }
  return out;
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

}  // namespace velmorin
