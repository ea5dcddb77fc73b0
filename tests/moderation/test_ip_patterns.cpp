#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/AddressPatterns.hpp"

namespace velmorin {
namespace {

using namespace std::string_literals;

struct ValidityCase {
  std::string text;
  bool withWildcards;
  bool withoutWildcards;
};

TEST(IPValidity, FourPartsOfZeroTo255WithWildcardsOnlyWhenAllowed) {
  const ValidityCase cases[] = {
      {"192.168.1.1", true, true},
      {"0.0.0.0", true, true},
      {"255.255.255.255", true, true},
      {"192.168.1.*", true, false},
      {"*.*.*.*", true, false},
      {"010.001.000.255", true, true},  // leading zeros are the same number
      {"", false, false},
      {"1.2.3", false, false},
      {"1.2.3.4.5", false, false},
      {"1.2.3.256", false, false},
      {"1..3.4", false, false},
      {"1.2.3.", false, false},
      {".1.2.3", false, false},
      {"...", false, false},
      {"1.2.3.-1", false, false},
      {"1.2.3.x", false, false},
      {"1.2.3.**", false, false},
      {"1.2.3.0x1", false, false},
      {"1.2.3.5e-1", false, false},  // numeric, but no whole number
      {"1.2.3.99999999999999999999999999", false, false},
      {"1.2.3.1e999", false, false},
      {"1.2.3.4\0"s, false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsValidIP(c.text, true), c.withWildcards) << c.text;
    EXPECT_EQ(IsValidIP(c.text, false), c.withoutWildcards) << c.text;
  }
}

TEST(IPNormalize, RewritesNumericPartsAndKeepsEverythingElse) {
  const std::pair<std::string, std::string> cases[] = {
      {" 010.001.000.255 ", "10.1.0.255"},
      {"10.*.0.1", "10.*.0.1"},
      {"", ""},
      {"   ", ""},
      {"1.2.3", "1.2.3"},            // the number of parts is kept
      {"1.2.3.4.5", "1.2.3.4.5"},
      {"1..3.x", "1..3.x"},
      {"+7.-0.1e2.00", "7.0.100.0"},
      {"1.2.3.1e20", "1.2.3.1e20"},      // too big to write as digits: kept as typed
      {"1.2.3.15e-1", "1.2.3.15e-1"},    // no whole number: written out it would add a part
      {"1.2.3.0.5", "1.2.3.0.5"},
      {"1.2.3.4.5e-1", "1.2.3.4.5e-1"},
      {"1.2.3.1234567890123456789", "1.2.3.1234567890123456789"},
  };
  for (const auto& [text, normalized] : cases) {
    EXPECT_EQ(NormalizeIP(text), normalized) << text;
    EXPECT_EQ(NormalizeIP(normalized), normalized) << "normalising twice changed " << text;
  }
}

TEST(IPNormalize, AFractionalPartIsNeverAValidAddress) {
  for (const std::string text : {"1.2.3.15e-1", "1.2.3.4.5e-1", "10.0.0.25e-1"}) {
    EXPECT_FALSE(IsValidIP(NormalizeIP(text), true)) << text;
  }
}

struct CompareCase {
  std::string a;
  std::string b;
  long result;
};

TEST(IPCompare, PartsCompareAsNumbersAndTheFirstDifferenceDecides) {
  const CompareCase cases[] = {
      {"10.0.0.5", "9.255.255.255", 1},
      {"9.255.255.255", "10.0.0.5", -1},
      {"10.0.0.1", "010.000.000.001", 0},
      {"1.2.3.4", "1.2.3.10", -1},  // by value, not by text
      {"1.2.3.4", "1.2.3.4.99", 0},  // only four parts count
      {"", "", 0},
      // A part that is not a number ranks below every number.
      {"1.2.3", "1.2.3.0", -1},
      {"1.2.3.x", "1.2.3.0", -1},
      {"1.2.3.*", "1.2.3.0", -1},
      {"1.2.3.a", "1.2.3.b", -1},
      {"1.2.3.1e999", "1.2.3.0", -1},  // too big to be a number at all
  };
  for (const auto& c : cases) EXPECT_EQ(CompareIP(c.a, c.b), c.result) << c.a << " vs " << c.b;
}

TEST(IPCompare, IsAnOrderOverAnyTexts) {
  const std::vector<std::string> texts = {"", "1", "1.2", "1.2.3.4", "1.2.3.04", "1.2.3.x", "1.2.3.*",
                                          "255.0.0.0", "1..3.4", "a.b.c.d", "-1.0.0.0", "1e2.0.0.0"};
  for (const auto& a : texts) {
    EXPECT_EQ(CompareIP(a, a), 0) << a;
    for (const auto& b : texts) EXPECT_EQ(CompareIP(a, b), -CompareIP(b, a)) << a << " vs " << b;
  }
}

struct MatchCase {
  std::string pattern;
  std::string address;
  bool matches;
};

TEST(IPPatternMatch, WildcardPartsMatchAnythingOtherPartsByValue) {
  const MatchCase cases[] = {
      {"10.*.*.1", "10.20.30.1", true},
      {"10.*.*.1", "10.20.30.2", false},
      {"192.168.*.*", "192.168.0.0", true},
      {"192.168.*.*", "192.168.255.255", true},
      {"192.168.*.*", "192.169.0.0", false},
      {"010.0.0.1", "10.0.0.1", true},
      {"*.*.*.*", "1.2.3.4", true},
      {"1.2.3.4", "1.2.3.*", true},  // a wildcard on either side
      // Malformed rules never match a real address.
      {"1.2.3", "1.2.3.0", false},
      {"1.2.3.", "1.2.3.0", false},
      {"", "0.0.0.0", false},
      {"*", "1.2.3.4", false},
      {"1.2.3.x", "1.2.3.0", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MatchIPPattern(c.pattern, c.address), c.matches) << c.pattern << " / " << c.address;
  }
}

struct RangeCase {
  std::string from;
  std::string to;
  std::string address;
  bool inside;
};

TEST(IPRange, BothEndsAreIncluded) {
  const RangeCase cases[] = {
      {"10.0.0.1", "10.0.0.50", "10.0.0.1", true},
      {"10.0.0.1", "10.0.0.50", "10.0.0.50", true},
      {"10.0.0.1", "10.0.0.50", "10.0.0.0", false},
      {"10.0.0.1", "10.0.0.50", "10.0.0.51", false},
      {"10.0.0.1", "10.0.0.50", "10.0.1.0", false},
      {"9.255.255.255", "10.0.0.5", "10.0.0.2", true},
      {"10.0.0.50", "10.0.0.1", "10.0.0.20", false},  // reversed: empty
      {"10.0.0.1", "10.0.0.", "10.0.0.5", false},     // malformed upper end: empty
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsIPInRange(c.from, c.to, c.address), c.inside) << c.from << "-" << c.to << " / " << c.address;
  }
}

TEST(IPPatterns, GarbageNeverBreaksAnOperation) {
  const std::vector<std::string> texts = {
      "", ".", "....", "*", "*.*", "\0.\0.\0.\0"s, "\xff\xfe.\x80.1.2", std::string(100000, '.'),
      std::string(5000, '9') + ".1.1.1", "1e308.1e309.-1e308.nan", "inf.INF.0x10.&H10", " \t. \t.1 .1 "};
  for (const auto& text : texts) {
    IsValidIP(text, true);
    IsValidIP(text, false);
    NormalizeIP(text);
    for (const auto& other : {std::string("1.2.3.4"), text}) {
      CompareIP(text, other);
      MatchIPPattern(text, other);
      IsIPInRange(text, other, text);
    }
  }
}

}  // namespace
}  // namespace velmorin
