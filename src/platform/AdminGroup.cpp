#include "platform/AdminGroup.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace velmorin {
namespace {

bool InSupplementaryGroups(gid_t group) {
  const int count = ::getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  const int got = ::getgroups(count, groups.data());
  if (got <= 0) return false;
  groups.resize(static_cast<std::size_t>(got));
  return std::find(groups.begin(), groups.end(), group) != groups.end();
}

}  // namespace

std::optional<gid_t> AdminGroupOf(const std::string& programDirectory) {
  struct stat status{};
  if (::stat(programDirectory.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return std::nullopt;
  const gid_t group = status.st_gid;
  if (group == ::getegid() || !InSupplementaryGroups(group)) return std::nullopt;
  return group;
}

}  // namespace velmorin
