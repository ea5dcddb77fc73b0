#include "logging/LogFeed.hpp"

#include <algorithm>

namespace velmorin {

LogFeed::ListenerId LogFeed::Subscribe(Listener listener) {
  const ListenerId id = nextId_++;
  listeners_.emplace_back(id, std::make_shared<Listener>(std::move(listener)));
  return id;
}

void LogFeed::Unsubscribe(ListenerId id) {
  std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
}

void LogFeed::Publish(std::optional<LogMessageType> type, long color, const std::string& line) {
  backlog_.Add(type, color, line);
  if (listeners_.empty()) return;
  // A copy, so a listener that (un)subscribes does not disturb this walk; one that was removed
  // by an earlier listener of this walk is skipped.
  const auto listeners = listeners_;
  for (const auto& [id, listener] : listeners) {
    const bool still = std::any_of(listeners_.begin(), listeners_.end(),
                                   [id = id](const auto& entry) { return entry.first == id; });
    if (still) (*listener)(type, color, line);
  }
}

}  // namespace velmorin
