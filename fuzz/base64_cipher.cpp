// Base64 and the field cipher. Base64: encoding then decoding (either way) gives the text back,
// strict decoding accepts exactly what encoding makes, lenient decoding has the documented length.
// Field cipher: decrypting an encryption with the same key gives the text back, ciphertext is
// upper-case hexadecimal, and decrypting anything never fails.
//
// Input: a byte giving the cipher randomness's initial state, a key with a one-byte length,
// then the text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "codec/Base64.hpp"
#include "codec/FieldCipher.hpp"
#include "support/FuzzCheck.hpp"
#include "support/FuzzInput.hpp"

namespace {

void CheckBase64(std::string_view text) {
  using namespace velmorin;
  const std::string encoded = Base64Encode(text);
  FUZZ_CHECK(encoded.size() == (text.size() + 2) / 3 * 4);
  FUZZ_CHECK(Base64Decode(encoded) == text);
  FUZZ_CHECK(Base64DecodeStrict(encoded) == std::string(text));

  // The text taken as Base64.
  if (const auto strict = Base64DecodeStrict(text)) FUZZ_CHECK(Base64Encode(*strict) == text);
  const std::string lenient = Base64Decode(text);
  if (text.empty() || text.size() % 4 != 0) {
    FUZZ_CHECK(lenient.empty());
  } else {
    std::size_t kept = text.size();
    for (int i = 0; i < 2 && kept > 0 && text[kept - 1] == '='; ++i) --kept;
    FUZZ_CHECK(lenient.size() == kept * 3 / 4);
  }
}

void CheckFieldCipher(std::string_view text, std::string_view key, std::uint32_t initialState) {
  using namespace velmorin;
  FieldCipherRandom random(initialState);
  const std::string cipher = EncryptField(text, key, random);
  if (text.empty() || key.empty()) {
    FUZZ_CHECK(cipher.empty());
  } else {
    FUZZ_CHECK(cipher.find_first_not_of("0123456789ABCDEF") == std::string::npos);
    FUZZ_CHECK(DecryptField(cipher, key) == text);
  }
  DecryptField(text, key);
  DecryptField(key, text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velmorin::fuzz::FuzzInput input(data, size);
  const std::uint32_t initialState = input.Byte();
  const std::string_view key = input.ShortText();
  const std::string_view text = input.Rest();
  CheckBase64(std::string_view(reinterpret_cast<const char*>(data), size));
  CheckBase64(text);
  CheckFieldCipher(text, key, initialState);
  return 0;
}
