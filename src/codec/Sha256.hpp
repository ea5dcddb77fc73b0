#pragma once
// SHA-256 (FIPS 180-2) over a byte text: the login proof, chatroom password proofs and the
// connection's SessionKey are all built with it.

#include <string>
#include <string_view>

namespace velmorin {

// The digest of `text` (one byte per character) as 64 upper-case hexadecimal digits: the
// eight digest words in order, each with leading zeros. The empty text gives the empty string,
// not the digest of the empty message.
std::string SHA256Hex(std::string_view text);

}  // namespace velmorin
