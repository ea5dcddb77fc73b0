#include <gtest/gtest.h>

#include "platform/Text.hpp"
#include "support/CommaDecimalLocale.hpp"

namespace velmorin {
namespace {

TEST(Text, LowerCaseCoversWindows1252Capitals) {
  EXPECT_EQ(LowerCase("ABC xyz \xC4\xD6\xDC \xD7 \x8A\x9F"), "abc xyz \xE4\xF6\xFC \xD7 \x9A\xFF");
  EXPECT_TRUE(EqualsNoCase("M\xDCLLER", "m\xFCller"));
  EXPECT_FALSE(EqualsNoCase("abc", "abcd"));
}

TEST(Text, SplitKeepsEmptyPiecesAndSplitLinesDropsTheLastTerminator) {
  EXPECT_EQ(Split("a,,b", ","), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(Split("", ","), (std::vector<std::string>{""}));
  EXPECT_EQ(SplitLines("a\r\nb\r\n"), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(SplitLines("").empty());
}

struct NumericCase {
  const char* text;
  std::optional<long> asLong;
  std::optional<bool> asBool;
};
const NumericCase kNumericCases[] = {
    {"42", 42, true},          {" -7 ", -7, true},      {"0", 0, false},
    {"2.5", 2, true},          {"3.5", 4, true},        {"1e3", 1000, true},
    {"1.5", 2, true},          {"+0.25e1", 2, true},    {"0.4", 0, true},
    {"", std::nullopt, std::nullopt},  {"abc", std::nullopt, std::nullopt},
    {"12abc", std::nullopt, std::nullopt},  {"True", std::nullopt, true},
    {"1,5", std::nullopt, std::nullopt},  {"1e400", std::nullopt, std::nullopt},
    {"FALSE", std::nullopt, false},  {"99999999999", std::nullopt, true},
    {"2147483647", 2147483647L, true},  {"-2147483648", -2147483648L, true},
};

void ExpectNumericCases() {
  for (const NumericCase& c : kNumericCases) {
    EXPECT_EQ(ToLong(c.text), c.asLong) << c.text;
    EXPECT_EQ(ToBool(c.text), c.asBool) << c.text;
  }
  EXPECT_EQ(NumericValue("1.5"), 1.5);
  EXPECT_EQ(NumericValue("-.5"), -0.5);
}

TEST(Text, NumericConversions) { ExpectNumericCases(); }

// The program runs under the user's locale (setlocale(LC_ALL, "")); a file's "1.5" must not read
// as 1 where the decimal point is a comma.
TEST(Text, NumericConversionsIgnoreACommaDecimalLocale) {
  const locale_t comma = testing::CommaDecimalLocale();
  if (comma == nullptr) GTEST_SKIP() << "no comma-decimal locale here and localedef cannot build one";
  testing::ScopedThreadLocale scope(comma);
  ASSERT_STREQ(::localeconv()->decimal_point, ",");
  ExpectNumericCases();
}

}  // namespace
}  // namespace velmorin
