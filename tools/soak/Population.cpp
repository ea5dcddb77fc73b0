#include "Population.hpp"

#include <algorithm>

namespace velmorin::soak {

void Population::Add(const std::string& nickname) {
  std::lock_guard lock(mutex_);
  online_.push_back(nickname);
}

void Population::Remove(const std::string& nickname) {
  std::lock_guard lock(mutex_);
  online_.erase(std::remove(online_.begin(), online_.end(), nickname), online_.end());
}

std::string Population::Pick(std::mt19937& random, const std::string& self) {
  std::lock_guard lock(mutex_);
  if (online_.size() < 2) return "";
  for (int tries = 0; tries < 4; ++tries) {
    std::uniform_int_distribution<std::size_t> slot(0, online_.size() - 1);
    const std::string& pick = online_[slot(random)];
    if (pick != self) return pick;
  }
  return "";
}

}  // namespace velmorin::soak
