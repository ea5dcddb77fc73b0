#include <gtest/gtest.h>

#include "platform/Text.hpp"

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

TEST(Text, NumericConversions) {
  struct Case {
    const char* text;
    std::optional<long> asLong;
    std::optional<bool> asBool;
  };
  const Case cases[] = {
      {"42", 42, true},          {" -7 ", -7, true},      {"0", 0, false},
      {"2.5", 2, true},          {"3.5", 4, true},        {"1e3", 1000, true},
      {"", std::nullopt, std::nullopt},  {"abc", std::nullopt, std::nullopt},
      {"12abc", std::nullopt, std::nullopt},  {"True", std::nullopt, true},
      {"FALSE", std::nullopt, false},  {"99999999999", std::nullopt, true},
      {"2147483647", 2147483647L, true},  {"-2147483648", -2147483648L, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToLong(c.text), c.asLong) << c.text;
    EXPECT_EQ(ToBool(c.text), c.asBool) << c.text;
  }
}

}  // namespace
}  // namespace velmorin
