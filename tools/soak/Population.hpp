#pragma once
// The soak run's clients that are logged in at the moment, shared by its threads.

#include <mutex>
#include <random>
#include <string>
#include <vector>

namespace velmorin::soak {

// Nicknames logged in at the moment, to address private messages and file requests.
class Population {
 public:
  void Add(const std::string& nickname);
  void Remove(const std::string& nickname);
  // Anybody but `self`; empty when nobody else is there.
  std::string Pick(std::mt19937& random, const std::string& self);

 private:
  std::mutex mutex_;
  std::vector<std::string> online_;
};

}  // namespace velmorin::soak
