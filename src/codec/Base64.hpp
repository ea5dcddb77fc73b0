#pragma once
// Base64 (RFC 4648 alphabet and "=" padding, no line breaks) over byte texts. It keeps
// passwords and comments storable in the INI files; it is an encoding, not a protection.

#include <optional>
#include <string>
#include <string_view>

namespace velmorin {

// Each byte is one character of the text. The empty text encodes to the empty text.
std::string Base64Encode(std::string_view text);

// Lenient decoding, as stored files may hold anything: the empty text or a length that is
// not a multiple of 4 gives the empty text; up to two trailing "=" are dropped; the result
// has 3/4 of the remaining length, rounded down; a character outside the alphabet (including
// an "=" elsewhere) counts as the value 0.
std::string Base64Decode(std::string_view text);

// Strict decoding, for texts that must be exactly what Base64Encode makes: nothing when the
// length is not a multiple of 4, a character is outside the alphabet, "=" appears anywhere but
// in the last two places, or the bits that padding leaves over are not zero.
std::optional<std::string> Base64DecodeStrict(std::string_view text);

}  // namespace velmorin
