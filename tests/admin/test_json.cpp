// The JSON reader and writer of the control protocol: what they accept, what they refuse, and
// that hostile text ends in a refusal, never a crash or unbounded work.

#include <string>

#include <gtest/gtest.h>

#include "platform/Json.hpp"
#include "support/CommaDecimalLocale.hpp"

namespace velmorin {
namespace {

TEST(Json, ReadsEveryKindAndWritesItBackTheSame) {
  const std::string text =
      R"({"a":[1,-2.5,3e+2,0],"b":{"c":true,"d":false,"e":null},"s":"q\"b\\s\n\t\u0001","u":"\u00e9\ud83d\ude00/"})";
  const auto value = ParseJson(text);
  ASSERT_TRUE(value);
  EXPECT_EQ(value->Find("a")->Items().at(2).AsNumber(), 300);
  EXPECT_EQ(value->Find("s")->AsString(), "q\"b\\s\n\t\x01");
  EXPECT_EQ(value->Find("u")->AsString(), "\xC3\xA9\xF0\x9F\x98\x80/");
  // Members keep their order, and writing then reading gives the same value again.
  EXPECT_EQ(value->Members().front().first, "a");
  const std::string written = WriteJson(*value);
  EXPECT_EQ(written.find('\n'), std::string::npos);
  EXPECT_EQ(WriteJson(*ParseJson(written)), written);
}

TEST(Json, WritesEveryControlCharacterEscapedAndOtherBytesAsTheyAre) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  const std::string quoted = QuoteJson(all);
  for (const char c : quoted) EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7f) << int(c);
  EXPECT_EQ(ParseJson(quoted)->AsString(), all);
}

TEST(Json, RefusesWhatIsNotJson) {
  const std::string deep(40, '[');
  const std::string deepClosed = deep + std::string(40, ']');
  const std::string longString = "\"" + std::string(2000, 'x') + "\"";
  const char* cases[] = {
      "", " ", "{", "}", "[1,]", "[,1]", "{\"a\"}", "{\"a\":}", "{\"a\":1,}", "{a:1}", "{'a':1}",
      "\"abc", "\"\\x41\"", "\"\\u12\"", "\"\\u12G4\"", "\"\\ud800\"", "\"\\udc00\"", "\"\\ud800\\u0041\"",
      "\"a\nb\"", "01", "-", "1.", ".5", "1e", "+1", "1e400", "-1e400", "NaN", "Infinity", "tru", "nul",
      "[1] [2]", "{} x", "\"\\", "[\"\\u",
  };
  for (const char* text : cases) {
    std::string error;
    EXPECT_FALSE(ParseJson(text, {}, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
  std::string error;
  EXPECT_FALSE(ParseJson(deepClosed, {}, &error));
  EXPECT_NE(error.find("deep"), std::string::npos);
  EXPECT_TRUE(ParseJson(std::string(32, '[') + std::string(32, ']')));
  EXPECT_FALSE(ParseJson(longString, {.maxBytes = 1000}));
  // Nesting far beyond any stack stays a refusal.
  EXPECT_FALSE(ParseJson(std::string(1 << 20, '['), {.maxBytes = 2 << 20}));
  EXPECT_FALSE(ParseJson(std::string(1 << 19, '{'), {.maxBytes = 1 << 20}));
}

TEST(Json, NumbersDoNotDependOnTheLocaleAndNonFiniteOnesAreWrittenAsNull) {
  const locale_t comma = testing::CommaDecimalLocale();
  if (comma == nullptr) GTEST_SKIP() << "no locale with a decimal comma";
  const testing::ScopedThreadLocale scoped(comma);
  EXPECT_EQ(ParseJson("1.5")->AsNumber(), 1.5);
  EXPECT_EQ(WriteJson(JsonValue::Number(0.25)), "0.25");
  EXPECT_EQ(WriteJson(JsonValue::Number(1.0 / 0.0)), "null");
}

}  // namespace
}  // namespace velmorin
