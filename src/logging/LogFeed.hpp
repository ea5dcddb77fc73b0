#pragma once
// Listeners of the log as it is written: each gets every line shown, with its message type
// (none for lines without one: plugin lines, the port error, signals) and its colour. The
// recent lines are kept in a bounded backlog for listeners that want them.
// Listeners may subscribe and unsubscribe (themselves or others) while a line is published.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "config/LogMessageType.hpp"
#include "logging/LogBacklog.hpp"

namespace velmorin {

class LogFeed {
 public:
  // The line as the log view shows it (without its final CR LF); colour as 0x00BBGGRR.
  using Listener = std::function<void(std::optional<LogMessageType> type, long color, const std::string& line)>;
  using ListenerId = std::uint64_t;

  ListenerId Subscribe(Listener listener);
  void Unsubscribe(ListenerId id);
  bool Empty() const { return listeners_.empty(); }
  void Publish(std::optional<LogMessageType> type, long color, const std::string& line);
  const LogBacklog& Backlog() const { return backlog_; }

 private:
  LogBacklog backlog_;
  ListenerId nextId_ = 1;
  std::vector<std::pair<ListenerId, std::shared_ptr<Listener>>> listeners_;
};

}  // namespace velmorin
