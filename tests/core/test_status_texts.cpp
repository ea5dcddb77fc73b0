#include <gtest/gtest.h>

#include "server/StatusTexts.hpp"
#include "i18n/clsLanguage.hpp"
#include "support/CommaDecimalLocale.hpp"
#include "support/TempProgramDir.hpp"

namespace velmorin {
namespace {

TEST(StatusTexts, ByteCountsAndUptimes) {
  testing::TempProgramDir dir;
  dir.write("language/t.lng",
            "[VM3SLF]\r\nlanguageIDs=1033\r\n[frmServer.Data]\r\nsizeBytes=<SP>B\r\nsizeKB=<SP>KB\r\n"
            "sizeMB=<SP>MB\r\nsizeGB=<SP>GB\r\n");
  clsLanguage language;
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

  EXPECT_EQ(FormatUptime(2 * 86400 + 3 * 3600 + 4 * 60 + 5), "2, 03:04:05");
  EXPECT_EQ(FormatUptime(0), "0, 00:00:00");
  EXPECT_GT(SystemUptimeSeconds(), 0);
}

}  // namespace
}  // namespace velmorin
