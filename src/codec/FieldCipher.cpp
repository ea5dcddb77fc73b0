#include "codec/FieldCipher.hpp"

#include <array>

namespace velmorin {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The value of a hexadecimal digit of either case, or -1.
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Anything that is not a hex digit counts as 0, so garbage still decodes to something.
unsigned HexValueOrZero(char c) {
  const int value = HexValue(c);
  return value < 0 ? 0 : static_cast<unsigned>(value);
}

}  // namespace

namespace fieldcipher {

namespace {

std::uint64_t Magnitude(std::int64_t k) {
  // Negating in unsigned arithmetic keeps INT64_MIN well defined.
  return k < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(k) : static_cast<std::uint64_t>(k);
}

// Shifts c within [first, first + size) by `steps` places forward (already reduced mod size).
char ShiftWithin(char c, char first, unsigned size, unsigned steps) {
  return static_cast<char>(first + (static_cast<unsigned>(c - first) + steps) % size);
}

template <typename Step>
std::string MapHexDigits(std::string_view s, Step step) {
  std::string out(s);
  for (char& c : out) {
    const int value = HexValue(c);
    if (value >= 0) c = kHexDigits[step(static_cast<unsigned>(value)) % 16];
  }
  return out;
}

}  // namespace

std::uint8_t ByteSub(std::uint8_t a, std::uint8_t b) { return static_cast<std::uint8_t>(a + 256 - b); }

std::uint8_t ByteAdd(std::uint8_t a, std::uint8_t b) { return static_cast<std::uint8_t>(a + b); }

std::uint8_t KeyHash(std::string_view s, std::uint32_t start) {
  const std::size_t m = s.size();
  std::uint64_t hash = start;
  // 1-based characters i - 1 and i + 1 for i = 2 .. m - 1 are 0-based s[j - 1], s[j + 1]
  // for j = 1 .. m - 2.
  for (std::size_t j = 1; j + 1 < m; ++j) {
    const unsigned before = static_cast<unsigned char>(s[j - 1]);
    const unsigned after = static_cast<unsigned char>(s[j + 1]);
    hash ^= before + after;
  }
  return static_cast<std::uint8_t>(hash ^ m);
}

char ShiftForward(char c, std::int64_t k) {
  const std::uint64_t steps = Magnitude(k);
  if (c >= '0' && c <= '9') return ShiftWithin(c, '0', 10, steps % 10);
  if (c >= 'A' && c <= 'Z') return ShiftWithin(c, 'A', 26, steps % 26);
  if (c >= 'a' && c <= 'z') return ShiftWithin(c, 'a', 26, steps % 26);
  return c;
}

char ShiftBack(char c, std::int64_t k) {
  const std::uint64_t steps = Magnitude(k);
  if (c >= '0' && c <= '9') return ShiftWithin(c, '0', 10, 10 - steps % 10);
  if (c >= 'A' && c <= 'Z') return ShiftWithin(c, 'A', 26, 26 - steps % 26);
  if (c >= 'a' && c <= 'z') return ShiftWithin(c, 'a', 26, 26 - steps % 26);
  return c;
}

std::string HexEncode(std::string_view s) {
  std::string out;
  out.reserve(2 * s.size());
  for (const char c : s) {
    const auto code = static_cast<unsigned char>(c);
    out.push_back(kHexDigits[code >> 4]);
    out.push_back(kHexDigits[code & 0xF]);
  }
  return out;
}

std::string HexDecode(std::string_view s) {
  std::string out;
  out.reserve(s.size() / 2);
  for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
    out.push_back(static_cast<char>(HexValueOrZero(s[i]) << 4 | HexValueOrZero(s[i + 1])));
  }
  return out;
}

std::string HexRotateForward(std::string_view s, std::size_t k) {
  return MapHexDigits(s, [k](unsigned d) { return d + k % 16; });
}

std::string HexRotateBack(std::string_view s, std::size_t k) {
  return MapHexDigits(s, [k](unsigned d) { return d + 16 - k % 16; });
}

std::string RotateRight(std::string_view s, std::size_t k) {
  if (s.empty()) return {};
  const std::size_t q = k % s.size();
  std::string out(s.substr(s.size() - q));
  out += s.substr(0, s.size() - q);
  return out;
}

std::string RotateLeft(std::string_view s, std::size_t k) {
  if (s.empty()) return {};
  return RotateRight(s, s.size() - k % s.size());
}

}  // namespace fieldcipher

namespace {

using namespace fieldcipher;

// The key as the cipher uses it: h = KeyHash(key, 177) and the derived key K.
struct DerivedKey {
  std::uint8_t h = 0;
  std::string k;

  // kc(i) for 1-based text position i: 1-based character (i mod L) + 1 of K.
  std::uint8_t At(std::size_t i) const { return static_cast<unsigned char>(k[i % k.size()]); }
};

DerivedKey DeriveKey(std::string_view key) {
  DerivedKey derived;
  derived.h = KeyHash(key, 177);
  derived.k.resize(key.size());
  for (std::size_t i = 1; i <= key.size(); ++i) {
    const auto code = static_cast<unsigned char>(key[i - 1]);
    derived.k[i - 1] = static_cast<char>(ByteSub(code & (i & 0xFF), (derived.h ^ i) & 0xFF));
  }
  return derived;
}

std::size_t FillerLength(std::uint8_t r) { return r % 32 + 32; }

}  // namespace

std::string EncryptField(std::string_view text, std::string_view key) {
  // One generator per thread: the server runs on one thread, and tests may use more.
  thread_local FieldCipherRandom random;
  return EncryptField(text, key, random);
}

std::string EncryptField(std::string_view text, std::string_view key, FieldCipherRandom& random) {
  if (text.empty() || key.empty()) return {};

  const std::uint8_t r = random.NextByte();
  const std::size_t fillerLength = FillerLength(r);
  std::string body;
  body.reserve(fillerLength + text.size());
  for (std::size_t i = 0; i < fillerLength; ++i) body.push_back(static_cast<char>(random.NextByte()));

  const DerivedKey derived = DeriveKey(key);
  const std::uint8_t h2 = KeyHash(derived.k, r);
  for (std::size_t i = 1; i <= text.size(); ++i) {
    const std::uint8_t kc = derived.At(i);
    const std::uint8_t a = ByteSub(kc, r & i);
    const auto s = static_cast<unsigned char>(ShiftForward(text[i - 1], static_cast<std::int64_t>(i | r)));
    body.push_back(static_cast<char>(ByteAdd(a ^ s ^ r, kc | a) ^ h2));
  }

  const std::string digits = HexRotateForward(HexEncode(RotateRight(body, r ^ derived.h)), r ^ key.size());
  std::string out;
  out.reserve(digits.size() + 2);
  out.push_back(kHexDigits[r & 0xF]);
  out += digits;
  out.push_back(kHexDigits[r >> 4]);
  return out;
}

std::string DecryptField(std::string_view text, std::string_view key) {
  if (text.size() < 2 || key.empty()) return {};

  const DerivedKey derived = DeriveKey(key);
  const auto r = static_cast<std::uint8_t>(HexValueOrZero(text.back()) << 4 | HexValueOrZero(text.front()));
  const std::string digits = HexRotateBack(text.substr(1, text.size() - 2), r ^ key.size());
  const std::string body = RotateLeft(HexDecode(digits), r ^ derived.h);
  const std::size_t fillerLength = FillerLength(r);
  if (body.size() <= fillerLength) return {};

  const std::uint8_t h2 = KeyHash(derived.k, r);
  std::string plain;
  plain.reserve(body.size() - fillerLength);
  for (std::size_t i = 1; fillerLength + i <= body.size(); ++i) {
    const std::uint8_t kc = derived.At(i);
    const std::uint8_t a = ByteSub(kc, r & i);
    const auto c = static_cast<unsigned char>(body[fillerLength + i - 1]);
    const std::uint8_t d = ByteSub(c ^ h2, kc | a);
    plain.push_back(ShiftBack(static_cast<char>(a ^ d ^ r), static_cast<std::int64_t>(i | r)));
  }
  return plain;
}

}  // namespace velmorin
