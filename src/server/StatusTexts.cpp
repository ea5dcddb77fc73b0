#include "server/StatusTexts.hpp"

#include <sys/sysinfo.h>

#include <charconv>
#include <cmath>
#include <cstdio>

#include "i18n/clsLanguage.hpp"

namespace velmorin {

std::string FormatByteCount(double bytes, const clsLanguage& language) {
  static const char* const kUnits[] = {"sizeBytes", "sizeKB", "sizeMB", "sizeGB"};
  int divisions = 0;
  while (bytes >= 1024 && divisions < 3) {
    bytes /= 1024;
    ++divisions;
  }
  // Two decimals at most, without trailing zeros: 1023, 1.5, 2.25. Written with "." whatever
  // the locale says (printf would write "2,00" under a comma-decimal locale and leave "2,").
  char text[64];
  const auto written = std::to_chars(text, text + sizeof text, std::round(bytes * 100) / 100,
                                     std::chars_format::fixed, 2);
  std::string number(text, written.ptr);
  while (number.back() == '0') number.pop_back();
  if (number.back() == '.') number.pop_back();
  return number + language.data(kUnits[divisions]);
}

std::string FormatUptime(long long seconds) {
  if (seconds < 0) seconds = 0;
  char text[64];
  std::snprintf(text, sizeof text, "%lld, %02lld:%02lld:%02lld", seconds / 86400, seconds % 86400 / 3600,
                seconds % 3600 / 60, seconds % 60);
  return text;
}

long long SystemUptimeSeconds() {
  struct sysinfo info {};
  return ::sysinfo(&info) == 0 ? static_cast<long long>(info.uptime) : 0;
}

}  // namespace velmorin
