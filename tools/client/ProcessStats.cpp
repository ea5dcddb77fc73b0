#include "client/ProcessStats.hpp"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace velmorin::client {

std::optional<std::uint64_t> ReadRssKb(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) {
      std::istringstream fields(line.substr(6));
      std::uint64_t kb = 0;
      if (fields >> kb) return kb;
    }
  }
  return std::nullopt;
}

std::optional<long> CountDescriptors(int pid) {
  DIR* fds = ::opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
  if (fds == nullptr) return std::nullopt;
  long count = 0;
  while (const dirent* entry = ::readdir(fds)) {
    if (entry->d_name[0] != '.') ++count;
  }
  ::closedir(fds);
  return count;
}

std::optional<std::uint64_t> ReadCpuMicroseconds(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // The command name in parentheses may hold blanks; the fields are counted after its end.
  const std::size_t close = text.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(text.substr(close + 1));
  // After ")": state is field 3, utime field 14, stime field 15.
  std::string skip;
  for (int field = 3; field < 14; ++field) fields >> skip;
  std::uint64_t utime = 0, stime = 0;
  if (!(fields >> utime >> stime)) return std::nullopt;
  const long ticksPerSecond = sysconf(_SC_CLK_TCK);
  if (ticksPerSecond <= 0) return std::nullopt;
  return (utime + stime) * 1'000'000 / static_cast<std::uint64_t>(ticksPerSecond);
}

std::uint64_t OwnCpuMicroseconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto micros = [](const timeval& t) {
    return static_cast<std::uint64_t>(t.tv_sec) * 1'000'000 + static_cast<std::uint64_t>(t.tv_usec);
  };
  return micros(usage.ru_utime) + micros(usage.ru_stime);
}

}  // namespace velmorin::client
