#pragma once
// Text forms of the traffic counters and uptimes that the information window shows.

#include <string>

namespace velmorin {

class clsLanguage;

// The count divided by 1024 while it is 1024 or more, at most three times, rounded to two
// decimals, followed by the unit text "sizeBytes", "sizeKB", "sizeMB" or "sizeGB".
std::string FormatByteCount(double bytes, const clsLanguage& language);

// Days, ", ", hours ":" minutes ":" seconds with two digits each: 2, 03:04:05.
std::string FormatUptime(long long seconds);

// Seconds since the machine started.
long long SystemUptimeSeconds();

}  // namespace velmorin
