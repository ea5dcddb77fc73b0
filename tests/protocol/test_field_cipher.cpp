#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "codec/FieldCipher.hpp"
#include "codec/Sha256.hpp"
#include "support/ByteTexts.hpp"

namespace velmorin {
namespace {

using namespace std::string_literals;
namespace fc = fieldcipher;

using testing::AllByteValues;

int HexDigitValue(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }

// r is stored as its low digit first and its high digit last.
int RandomByteOf(const std::string& ciphertext) {
  return HexDigitValue(ciphertext.back()) * 16 + HexDigitValue(ciphertext.front());
}

// ---- primitives ------------------------------------------------------------------------------

TEST(FieldCipherPrimitives, ByteArithmeticWraps) {
  EXPECT_EQ(fc::ByteSub(3, 5), 254);
  EXPECT_EQ(fc::ByteSub(5, 3), 2);
  EXPECT_EQ(fc::ByteAdd(250, 10), 4);
}

TEST(FieldCipherPrimitives, KeyHashUsesNeighboursOfEachInnerCharacter) {
  // "abcd": start ^ ('a' + 'c') ^ ('b' + 'd') = 177 ^ 196 ^ 198 = 179, then ^ length 4.
  EXPECT_EQ(fc::KeyHash("abcd", 177), 183);
  EXPECT_EQ(fc::KeyHash("abc", 0), (97 + 99) ^ 3);
  // Shorter than three characters: only the length is mixed in.
  EXPECT_EQ(fc::KeyHash("ab", 177), 177 ^ 2);
  EXPECT_EQ(fc::KeyHash("", 300), 300 % 256);
  // Sums above 255 and long texts are reduced only at the end.
  EXPECT_EQ(fc::KeyHash("\xFF\x00\xFF"s, 0), (510 ^ 3) % 256);
  EXPECT_EQ(fc::KeyHash(std::string(300, '\0'), 1), (1 ^ 300) % 256);
}

TEST(FieldCipherPrimitives, ShiftForwardWrapsWithinEachClass) {
  struct Case {
    char c;
    std::int64_t k;
    char shifted;
  };
  const Case cases[] = {
      {'9', 1, '0'},   {'Z', 1, 'A'},       {'z', 1, 'a'},    {'0', 10, '0'},
      {'a', 27, 'b'},  {'A', 26 * 3 + 2, 'C'}, {'5', -3, '8'},  // |k| is used
      {'!', 5, '!'},   {' ', 7, ' '},       {'\xE4', 3, '\xE4'}, {'\0', 1, '\0'},
      {'@', 1, '@'},   {'[', 1, '['},       {'`', 1, '`'},    {'{', 1, '{'},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fc::ShiftForward(c.c, c.k), c.shifted) << int(c.c) << " by " << c.k;
    EXPECT_EQ(fc::ShiftBack(c.shifted, c.k), c.c) << int(c.shifted) << " back by " << c.k;
  }
}

TEST(FieldCipherPrimitives, ShiftBackUndoesShiftForwardForEveryCode) {
  for (int code = 0; code < 256; ++code) {
    const char c = static_cast<char>(code);
    for (std::int64_t k : {0, 1, 9, 25, 26, 255, 256 | 200, -7}) {
      EXPECT_EQ(fc::ShiftBack(fc::ShiftForward(c, k), k), c) << code << " by " << k;
    }
  }
}

TEST(FieldCipherPrimitives, HexEncodingAndDecoding) {
  EXPECT_EQ(fc::HexEncode("\x00\x0F\xAB\xFF"s), "000FABFF");
  EXPECT_EQ(fc::HexDecode("000FABFF"), "\x00\x0F\xAB\xFF"s);
  EXPECT_EQ(fc::HexDecode("abff"), "\xAB\xFF");     // either case
  EXPECT_EQ(fc::HexDecode("ABC"), "\xAB");          // a trailing odd digit is dropped
  EXPECT_EQ(fc::HexDecode("G1Z!"), "\x01\x00"s);    // a non-hex character counts as 0
  EXPECT_EQ(fc::HexDecode("A"), "");
}

TEST(FieldCipherPrimitives, HexRotationWrapsAroundSixteenDigits) {
  EXPECT_EQ(fc::HexRotateForward("0F9A", 1), "10AB");
  EXPECT_EQ(fc::HexRotateForward("0F9A", 17), "10AB");
  EXPECT_EQ(fc::HexRotateBack("10AB", 1), "0F9A");
  EXPECT_EQ(fc::HexRotateBack("0", 33), "F");
  EXPECT_EQ(fc::HexRotateForward("0f-", 1), "10-");  // non-hex left as is
  const std::string digits = "0123456789ABCDEF";
  for (std::size_t k : {0u, 5u, 16u, 200u, 1000u}) {
    EXPECT_EQ(fc::HexRotateBack(fc::HexRotateForward(digits, k), k), digits) << k;
  }
}

TEST(FieldCipherPrimitives, RotationsMoveCharactersAroundTheEnd) {
  EXPECT_EQ(fc::RotateRight("abcde", 2), "deabc");
  EXPECT_EQ(fc::RotateLeft("abcde", 2), "cdeab");
  EXPECT_EQ(fc::RotateRight("abcde", 7), "deabc");
  EXPECT_EQ(fc::RotateLeft("abcde", 7), "cdeab");
  EXPECT_EQ(fc::RotateRight("abcde", 5), "abcde");
  EXPECT_EQ(fc::RotateLeft("abcde", 0), "abcde");
  EXPECT_EQ(fc::RotateRight("", 3), "");
  EXPECT_EQ(fc::RotateLeft("", 3), "");
}

// ---- the cipher ------------------------------------------------------------------------------

std::vector<std::string> Keys() {
  std::string longKey = AllByteValues() + "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  return {"k", "\xFF\x00"s, SHA256Hex("nickname" "password" "loginkey"), longKey};
}

TEST(FieldCipher, RoundTripsEveryByteValueWithShortAndLongKeys) {
  const std::vector<std::string> texts = {AllByteValues(), "x", "Secret9z", "\0"s};
  FieldCipherRandom random(7);
  for (const std::string& key : Keys()) {
    for (const std::string& text : texts) {
      // Many encryptions, so that many values of the random byte are exercised.
      for (int round = 0; round < 64; ++round) {
        const std::string ciphertext = EncryptField(text, key, random);
        ASSERT_EQ(DecryptField(ciphertext, key), text) << "key length " << key.size() << ", " << ciphertext;
      }
    }
  }
}

TEST(FieldCipher, CiphertextIsHexWithLengthFromItsRandomByte) {
  FieldCipherRandom random(11);
  std::set<std::size_t> fillerLengths;
  for (const std::string& text : {"p"s, "Secret9z"s, AllByteValues()}) {
    for (int round = 0; round < 100; ++round) {
      const std::string ciphertext = EncryptField(text, "key", random);
      ASSERT_EQ(ciphertext.find_first_not_of("0123456789ABCDEF"), std::string::npos) << ciphertext;
      const std::size_t filler = RandomByteOf(ciphertext) % 32 + 32;
      ASSERT_EQ(ciphertext.size(), 2 + 2 * (filler + text.size()));
      fillerLengths.insert(filler);
    }
  }
  EXPECT_EQ(*fillerLengths.begin(), 32u);
  EXPECT_EQ(*fillerLengths.rbegin(), 63u);
}

TEST(FieldCipher, EncryptionsOfTheSameTextDiffer) {
  const std::string key = SHA256Hex("session");
  EXPECT_NE(EncryptField("Secret9z", key), EncryptField("Secret9z", key));
  FieldCipherRandom random(3);
  EXPECT_NE(EncryptField("Secret9z", key, random), EncryptField("Secret9z", key, random));
}

TEST(FieldCipher, EmptyTextOrKeyGivesEmptyResult) {
  const std::string ciphertext = EncryptField("Secret9z", "key");
  EXPECT_EQ(EncryptField("", "key"), "");
  EXPECT_EQ(EncryptField("Secret9z", ""), "");
  EXPECT_EQ(DecryptField("", "key"), "");
  EXPECT_EQ(DecryptField(ciphertext, ""), "");
}

// Ciphertexts computed with a separate implementation of the cipher, written independently
// from its 1-based rules; they pin the byte order of the fixed-state generator (r, then the filler)
// and every index convention, which round trips alone cannot catch.
TEST(FieldCipher, FixedStateGivesReferenceCiphertexts) {
  struct Case {
    std::string text;
    std::string key;
    const char* ciphertext;
  };
  const Case cases[] = {
      {"Secret9z", "k",
       "6DE0EF90CAB78CE52049CF826228B1732A08C6352CFA74A3536483446863E2AC375D1BE238BDDE0494DB131CEEBDA6"},
      {"Room pass \xE4\xFF\x00!"s, "ab",
       "A334E23748F26AA45D82BB9EF0B89750DBDE18B496D1E13AC12141D005E80E1BC5DB27621775333478635352635BAE3BE7"
       "BB7700A6CBA0E9CC02E990BD0B385797180D1BC09DBD3E6D"},
      {"Zz9", "0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF",
       "56CEE2D4000C0317DE1537195AD9B5DACD530DC2C83DF47A5DCF7F7BC0D412103E62E70F61E023852A374531C122B404D0"
       "27C291431A6B3893"},
  };
  FieldCipherRandom random(42);  // one generator, consumed in order by the three encryptions
  for (const auto& c : cases) {
    EXPECT_EQ(EncryptField(c.text, c.key, random), c.ciphertext);
    EXPECT_EQ(DecryptField(c.ciphertext, c.key), c.text);
  }
  FieldCipherRandom again(42);
  EXPECT_EQ(EncryptField(cases[0].text, cases[0].key, again), cases[0].ciphertext);
}

TEST(FieldCipher, DecryptNeverFailsOnGarbage) {
  const std::string valid = EncryptField("Secret9z", "key");
  std::vector<std::string> inputs = {
      "", "A", "AB", "0", "ZZ", "ABC", "0123456789ABCDE", "ghijklmnopqrstuvwxyz!!"s + "\0\xFF"s,
      "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef",
      std::string(1001, 'F'), std::string(200, '\xFF'), std::string(130, '0'), valid + "0", "0" + valid,
  };
  for (std::size_t cut = 0; cut < valid.size(); ++cut) inputs.push_back(valid.substr(0, cut));
  for (const std::string& key : Keys()) {
    for (const std::string& input : inputs) {
      // At most one byte per digit pair of the body, less the 32 or more filler bytes.
      const std::size_t pairs = input.size() < 2 ? 0 : (input.size() - 2) / 2;
      EXPECT_LE(DecryptField(input, key).size(), pairs > 32 ? pairs - 32 : 0) << input;
    }
  }
}

TEST(FieldCipher, WrongKeyDoesNotRevealText) {
  FieldCipherRandom random(5);
  const std::string ciphertext = EncryptField("Secret9z", "right key", random);
  EXPECT_NE(DecryptField(ciphertext, "wrong key"), "Secret9z");
}

}  // namespace
}  // namespace velmorin
