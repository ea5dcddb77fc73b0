#pragma once
// Text forms of the traffic counters and uptimes that the information window shows.

#include <string>

namespace velmorin {

class LanguageFile;

// The count divided by 1024 while it is 1024 or more, at most three times, rounded to two
// decimals, followed by the unit text "sizeBytes", "sizeKB", "sizeMB" or "sizeGB".
std::string FormatByteCount(double bytes, const LanguageFile& language);

// The value rounded to at most `decimals` decimals (at most 6), without trailing zeros, written
// with the language's decimal separator.
std::string FormatDecimal(double value, int decimals, const LanguageFile& language);

// The language file's "DecimalSeparator" of its information section when that is one
// character, else ".".
std::string DecimalSeparator(const LanguageFile& language);

// A duration in the language's words: its data text "uptimeDays" ("%days days, %time"), or
// "uptimeOneDay" for one day, with %time as hours ":" minutes ":" seconds of two digits each:
// "2 days, 03:04:05". Without those texts: "2, 03:04:05".
std::string FormatUptime(long long seconds, const LanguageFile& language);

// Seconds since the machine started.
long long SystemUptimeSeconds();

}  // namespace velmorin
