#include <gtest/gtest.h>

#include <string>

#include "codec/Base64.hpp"
#include "codec/Sha256.hpp"
#include "support/ByteTexts.hpp"

namespace velmorin {
namespace {

using namespace std::string_literals;

using testing::AllByteValues;

struct DigestCase {
  std::string text;
  const char* digest;
};

TEST(Sha256Hex, MatchesPublishedDigestsInUpperCase) {
  const DigestCase cases[] = {
      {"abc", "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1"},
      {std::string(1000000, 'a'), "CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0"},
  };
  for (const auto& c : cases) EXPECT_EQ(SHA256Hex(c.text), c.digest) << c.text.size() << " bytes";
}

// Lengths around the block size decide whether the length field needs a second padding block.
TEST(Sha256Hex, PaddingAtBlockBoundaries) {
  const DigestCase cases[] = {
      {std::string(1, 'a'), "CA978112CA1BBDCAFAC231B39A23DC4DA786EFF8147C4E72B9807785AFEE48BB"},
      {std::string(55, 'a'), "9F4390F8D30C2DD92EC9F095B65E2B9AE9B0A925A5258E241C9F1E910F734318"},
      {std::string(56, 'a'), "B35439A4AC6F0948B6D6F9E3C6AF0F5F590CE20F1BDE7090EF7970686EC6738A"},
      {std::string(63, 'a'), "7D3E74A05D7DB15BCE4AD9EC0658EA98E3F06EEECF16B4C6FFF2DA457DDC2F34"},
      {std::string(64, 'a'), "FFE054FE7AE0CB6DC65C3AF9B61D5209F439851DB43D0BA5997337DF154668EB"},
      {std::string(65, 'a'), "635361C48BB9EAB14198E76EA8AB7F1A41685D6AD62AA9146D301D4F17EB0AE0"},
      {std::string(119, 'a'), "31EBA51C313A5C08226ADF18D4A359CFDFD8D2E816B13F4AF952F7EA6584DCFB"},
      {std::string(120, 'a'), "2F3D335432C70B580AF0E8E1B3674A7C020D683AA5F73AAAEDFDC55AF904C21C"},
      {std::string(128, 'a'), "6836CF13BAC400E9105071CD6AF47084DFACAD4E5E302C94BFED24E013AFB73E"},
  };
  for (const auto& c : cases) EXPECT_EQ(SHA256Hex(c.text), c.digest) << c.text.size() << " bytes";
}

TEST(Sha256Hex, EveryCharacterIsOneByte) {
  // Upper-half codes must not be sign-extended or widened; NUL must not end the text.
  EXPECT_EQ(SHA256Hex("\xE4\xF6\xFC\x80\xFF"),
            "410C5AE29A1F960AFE79E78FDA5DF2D8D28805713F74E97CA8B951FDE1AADEFC");
  EXPECT_EQ(SHA256Hex("a\0b"s), "59B271AE1BBCB1D31D41929817F4B16FB439EB4F31520B5AD1D5CE98920A7138");
}

TEST(Sha256Hex, EmptyTextGivesEmptyString) { EXPECT_EQ(SHA256Hex(""), ""); }

TEST(Base64, EncodesWithPadding) {
  const std::pair<std::string, const char*> cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foobar", "Zm9vYmFy"},
      {"\xE4\xF6\xFC", "5Pb8"},  // upper-half bytes: one byte per character
      {"\xFB\xEF\xBE", "++++"},
      {"\xFF\xFE", "//4="},
      {"\0"s, "AA=="},
  };
  for (const auto& [text, encoded] : cases) {
    EXPECT_EQ(Base64Encode(text), encoded);
    EXPECT_EQ(Base64Decode(encoded), text) << encoded;
    EXPECT_EQ(Base64DecodeStrict(encoded), text) << encoded;
  }
}

TEST(Base64, RoundTripsEveryByteValue) {
  const std::string bytes = AllByteValues();
  for (std::size_t length = 0; length <= 4; ++length) {
    const std::string text = bytes.substr(bytes.size() - length);
    EXPECT_EQ(Base64Decode(Base64Encode(text)), text) << length;
    EXPECT_EQ(Base64DecodeStrict(Base64Encode(text)), text) << length;
  }
  EXPECT_EQ(Base64Decode(Base64Encode(bytes)), bytes);
  EXPECT_EQ(Base64DecodeStrict(Base64Encode(bytes)), bytes);
}

TEST(Base64, DecodeRejectsLengthsNotAMultipleOfFour) {
  for (const char* text : {"", "Z", "Zm", "Zm9", "Zm9vY", "Zm9vYm=", "Zg="}) {
    EXPECT_EQ(Base64Decode(text), "") << text;
  }
}

TEST(Base64, DecodeIsLenient) {
  const std::pair<const char*, std::string> cases[] = {
      {"Z!==", "d"},         // "!" counts as 0
      {"Zm=v", "f`/"},       // an inner "=" is just another character outside the alphabet
      {"Z===", "d"},         // only two trailing "=" are dropped; the third counts as 0
      {"====", "\0"s},       // two characters remain: one byte
      {"Zm9=", "fo"},        // one "=" dropped: three characters give two bytes
      {"Zm9v\xFF\xFF==", "foo\0"s},
  };
  for (const auto& [text, decoded] : cases) EXPECT_EQ(Base64Decode(text), decoded) << text;
}

TEST(Base64, StrictDecodingTakesOnlyWhatTheEncoderMakes) {
  for (const char* text : {"Z", "Zg=", "Z!==", "Zm=v", "Z===", "====", "Zm9v====", "Zm9v Zm9v", "Zm9v\n",
                           "Zh==" /* leftover bits set */, "Zm9=" /* leftover bits set */}) {
    EXPECT_EQ(Base64DecodeStrict(text), std::nullopt) << text;
  }
}

}  // namespace
}  // namespace velmorin
