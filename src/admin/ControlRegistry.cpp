#include "admin/ControlRegistry.hpp"

#include <utility>

namespace velmorin {

void ControlRegistry::Add(const std::string& command, ControlHandler handler) {
  handlers_[command] = std::move(handler);
}

ControlReply ControlRegistry::Run(const std::vector<std::string>& words, const std::string& input) const {
  if (words.empty()) return ControlReply::Usage("no command given");
  const auto found = handlers_.find(words.front());
  if (found == handlers_.end()) return ControlReply::Usage("unknown command: " + words.front());
  ControlRequest request;
  request.words.assign(words.begin() + 1, words.end());
  request.input = input;
  return found->second(request);
}

std::vector<std::string> ControlRegistry::Commands() const {
  std::vector<std::string> names;
  names.reserve(handlers_.size());
  for (const auto& [name, handler] : handlers_) names.push_back(name);
  return names;
}

}  // namespace velmorin
