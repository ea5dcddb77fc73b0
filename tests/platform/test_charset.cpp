// UTF-8 as Windows-1252: what the code page carries comes through, and everything else is
// reported, never silently turned into '?'.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Charset.hpp"

namespace velmorin {
namespace {

std::vector<std::string> Names(const std::vector<UncarriedCharacter>& uncarried) {
  std::vector<std::string> names;
  for (const UncarriedCharacter& character : uncarried) names.push_back(NameOf(character));
  return names;
}

TEST(Charset, TheConversionReportsEachCharacterItCannotCarryOnce) {
  const struct {
    const char* utf8;
    const char* windows1252;
    std::vector<std::string> uncarried;
  } cases[] = {
      {"caf\xC3\xA9 \xE2\x82\xAC 5?", "caf\xE9 \x80 5?", {}},                      // é and € are in the code page; '?' is a '?'
      {"\xD1\x81\xD0\xB5\xD0\xBA\xD1\x80\xD0\xB5\xD1\x82", "??????", {"U+0441", "U+0435", "U+043A", "U+0440", "U+0442"}},
      {"\xCE\xA9mega \xCE\xA9", "?mega ?", {"U+03A9"}},
      {"\xF0\x9F\x99\x82", "?", {"U+1F642"}},
      {"\xC2\x81", "?", {"U+0081"}},                                                // a C1 control the code page leaves undefined
      {"a\xC0\x80" "b", "a??b", {"\\xC0", "\\x80"}},                                // an overlong NUL is no NUL
      {"\xED\xA0\x80", "???", {"\\xED", "\\xA0", "\\x80"}},                        // a surrogate
      {"\xFF", "?", {"\\xFF"}},
  };
  for (const auto& one : cases) {
    SCOPED_TRACE(one.utf8);
    const Windows1252Conversion converted = ConvertUtf8ToWindows1252(one.utf8);
    EXPECT_EQ(converted.text, one.windows1252);
    EXPECT_EQ(Names(converted.uncarried), one.uncarried);
    if (one.uncarried.empty()) {
      EXPECT_EQ(Utf8OfWindows1252(converted.text), one.utf8);
    }
  }
}

// However many characters a text holds that the code page lacks, the report stays short.
TEST(Charset, TheReportIsBounded) {
  std::string greek;
  for (char32_t letter = 0x3B1; letter <= 0x3C9; ++letter) AppendUtf8(greek, letter);  // 25 letters
  const Windows1252Conversion converted = ConvertUtf8ToWindows1252(greek + greek);
  EXPECT_EQ(converted.text, std::string(50, '?'));
  ASSERT_EQ(converted.uncarried.size(), kMaxUncarriedReported);
  EXPECT_EQ(NameOf(converted.uncarried.front()), "U+03B1");
}

}  // namespace
}  // namespace velmorin
