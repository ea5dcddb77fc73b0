#include <gtest/gtest.h>

#include "i18n/LanguageFile.hpp"
#include "server/StatusTexts.hpp"
#include "support/CommaDecimalLocale.hpp"
#include "support/TempProgramDir.hpp"

namespace velmorin {
namespace {

TEST(StatusTexts, ByteCountsAndUptimes) {
  testing::TempProgramDir dir;
  dir.write("language/t.lng",
            "[VM3SLF]\r\nlanguageIDs=1033\r\n[frmServer.Data]\r\nsizeBytes=<SP>B\r\nsizeKB=<SP>KB\r\n"
            "sizeMB=<SP>MB\r\nsizeGB=<SP>GB\r\n");
  LanguageFile language;
  language.SetLanguage("frmServer", dir.path("language/t.lng"));
  const std::pair<double, const char*> counts[] = {
      {0, "0 B"},          {1023, "1023 B"},       {1024, "1 KB"},
      {1536, "1.5 KB"},    {1024.0 * 1024 * 2.25, "2.25 MB"},
      {5.0 * 1024 * 1024 * 1024 * 1024, "5120 GB"},  // terabytes stay in GB
  };
  for (const auto& [bytes, text] : counts) EXPECT_EQ(FormatByteCount(bytes, language), text) << bytes;
  if (const locale_t comma = testing::CommaDecimalLocale()) {
    testing::ScopedThreadLocale scope(comma);
    for (const auto& [bytes, text] : counts) EXPECT_EQ(FormatByteCount(bytes, language), text) << "comma locale";
  }

  // A file without the duration texts keeps the bare form.
  EXPECT_EQ(FormatUptime(2 * 86400 + 3 * 3600 + 4 * 60 + 5, language), "2, 03:04:05");
  EXPECT_EQ(FormatUptime(0, language), "0, 00:00:00");
  EXPECT_GT(SystemUptimeSeconds(), 0);
}

// The shipped languages write sizes with their own decimal separator, whatever the process
// locale, and durations in their own words.
TEST(StatusTexts, TheShippedLanguagesWriteTheirOwnSeparatorAndDurationWords) {
  struct Case {
    const char* file;
    double bytes;
    long long seconds;
    const char* size;
    const char* uptime;
  };
  const Case cases[] = {
      {"English.lng", 1290, 93, "1.26 KB", "0 days, 00:01:33"},
      {"English.lng", 1023, 86400 + 5, "1023 bytes", "1 day, 00:00:05"},
      {"Deutsch.lng", 1290, 93, "1,26 KB", "0 Tage, 00:01:33"},
      {"Deutsch.lng", 1024.0 * 1024 * 2.5, 86400 + 5, "2,5 MB", "1 Tag, 00:00:05"},
      {"Deutsch.lng", 2048, 3 * 86400, "2 KB", "3 Tage, 00:00:00"},
  };
  for (const char* section : {"frmServer", "frmServerInfos", "frmSystemInfos"}) {
    for (const Case& c : cases) {
      LanguageFile language;
      language.SetLanguage(section, std::string(VELMORIN_SOURCE_DIR) + "/language/" + c.file);
      SCOPED_TRACE(std::string(section) + " " + c.file);
      if (std::string(section) != "frmSystemInfos") EXPECT_EQ(FormatByteCount(c.bytes, language), c.size);
      EXPECT_EQ(FormatUptime(c.seconds, language), c.uptime);
    }
  }
  LanguageFile german;
  german.SetLanguage("frmSystemInfos", std::string(VELMORIN_SOURCE_DIR) + "/language/Deutsch.lng");
  if (const locale_t comma = testing::CommaDecimalLocale()) {
    testing::ScopedThreadLocale scope(comma);
    EXPECT_EQ(FormatDecimal(15.75, 1, german), "15,8");
  }
  EXPECT_EQ(FormatDecimal(15.75, 1, german), "15,8");
  EXPECT_EQ(FormatDecimal(16, 1, german), "16");
}

}  // namespace
}  // namespace velmorin
