#pragma once
// The field cipher: a chatroom password and the keys of the encryption negotiation travel
// enciphered with the connection's SessionKey, which both ends know without sending it.
// Ciphertext holds only "0123456789ABCDEF", so it is safe inside NUL / CR LF separated
// payloads, and each encryption draws fresh randomness, so equal texts look different.

#include <cstdint>
#include <string>
#include <string_view>

#include "codec/FieldCipherRandom.hpp"

namespace velmorin {

// `text` enciphered with `key`; empty when either is empty. The plain overload uses a
// generator started once per thread.
std::string EncryptField(std::string_view text, std::string_view key);
std::string EncryptField(std::string_view text, std::string_view key, FieldCipherRandom& random);

// The inverse of EncryptField; empty when either argument is empty. Never fails and never reads
// outside its input: a text that is not a ciphertext made with the same key gives meaningless
// bytes or the empty text, which callers catch with the SHA-256 sent beside the field.
std::string DecryptField(std::string_view text, std::string_view key);

// The building blocks, exposed so they can be checked one by one. Codes are bytes 0..255.
namespace fieldcipher {

std::uint8_t ByteSub(std::uint8_t a, std::uint8_t b);  // (a - b) mod 256
std::uint8_t ByteAdd(std::uint8_t a, std::uint8_t b);  // (a + b) mod 256

// XOR of start with (s[i-1] + s[i+1]) for 1-based i = 2 .. m-1, then with m = length; mod 256.
std::uint8_t KeyHash(std::string_view s, std::uint32_t start);

// Moves digits, capitals and small letters |k| places within their own class, wrapping;
// every other code is returned unchanged. ShiftBack undoes ShiftForward.
char ShiftForward(char c, std::int64_t k);
char ShiftBack(char c, std::int64_t k);

// Two upper-case digits per byte. HexDecode accepts either case, counts a non-hex character as
// digit 0 and drops a trailing odd digit.
std::string HexEncode(std::string_view s);
std::string HexDecode(std::string_view s);

// Each hex digit value d becomes (d + k) mod 16, or (d - k) mod 16 going back; the result digits
// are upper-case. Non-hex characters are left as they are.
std::string HexRotateForward(std::string_view s, std::size_t k);
std::string HexRotateBack(std::string_view s, std::size_t k);

// With q = k mod length: RotateRight moves the last q characters to the front, RotateLeft the
// first q to the end. The empty text stays empty.
std::string RotateRight(std::string_view s, std::size_t k);
std::string RotateLeft(std::string_view s, std::size_t k);

}  // namespace fieldcipher

}  // namespace velmorin
