#include "server/StatusTexts.hpp"

#include <sys/sysinfo.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "i18n/LanguageFile.hpp"
#include "platform/Text.hpp"

namespace velmorin {

std::string FormatByteCount(double bytes, const LanguageFile& language) {
  static const char* const kUnits[] = {"sizeBytes", "sizeKB", "sizeMB", "sizeGB"};
  int divisions = 0;
  while (bytes >= 1024 && divisions < 3) {
    bytes /= 1024;
    ++divisions;
  }
  return FormatDecimal(bytes, 2, language) + language.Data(kUnits[divisions]);
}

std::string DecimalSeparator(const LanguageFile& language) {
  const std::string separator = LanguageFile::Info("DecimalSeparator", language.CurrentFile());
  return separator.size() == 1 ? separator : ".";
}

std::string FormatDecimal(double value, int decimals, const LanguageFile& language) {
  // Written by to_chars, whatever the process locale says (printf would write "2,00" under a
  // comma-decimal locale whatever the window's language is), then given the language's separator.
  decimals = std::clamp(decimals, 0, 6);
  const double scale = std::pow(10.0, decimals);
  char text[64];
  const auto written =
      std::to_chars(text, text + sizeof text, std::round(value * scale) / scale, std::chars_format::fixed, decimals);
  if (written.ec != std::errc()) return "-";
  std::string number(text, written.ptr);
  const std::size_t point = number.find('.');
  if (point == std::string::npos) return number;
  while (number.back() == '0') number.pop_back();
  if (number.back() == '.') return number.substr(0, point);
  return number.replace(point, 1, DecimalSeparator(language));
}

std::string FormatUptime(long long seconds, const LanguageFile& language) {
  if (seconds < 0) seconds = 0;
  const long long days = seconds / 86400;
  char time[32];
  std::snprintf(time, sizeof time, "%02lld:%02lld:%02lld", seconds % 86400 / 3600, seconds % 3600 / 60, seconds % 60);
  std::string pattern = days == 1 ? language.Data("uptimeOneDay") : std::string();
  if (pattern.empty()) pattern = language.Data("uptimeDays");
  if (pattern.empty()) pattern = "%days, %time";
  return ReplaceAll(ReplaceAll(pattern, "%days", std::to_string(days)), "%time", time);
}

long long SystemUptimeSeconds() {
  struct sysinfo info {};
  return ::sysinfo(&info) == 0 ? static_cast<long long>(info.uptime) : 0;
}

}  // namespace velmorin
