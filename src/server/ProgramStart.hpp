#pragma once
// When the program started: the entry point sets it once; the program uptime (the plugins'
// "uptimeserver", the administration's figures) counts from it.

#include <ctime>

namespace velmorin {

extern std::time_t StartTime;

}  // namespace velmorin
