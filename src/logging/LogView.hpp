#pragma once
// Where written log lines are shown: the administrator's log view (a window, standard output or
// a test's recorder). The log writer knows only this much of the front end.

#include <optional>
#include <string>

#include "config/LogMessageType.hpp"

namespace velmorin {

class LogView {
 public:
  virtual ~LogView() = default;

  // One log line, without its final CR LF (it may hold further line breaks), in 0x00BBGGRR.
  virtual void AppendLogLine(const std::string& /*line*/, long /*color*/) {}
  // The same line with what the writer knows of it: its type (none for a plugin's or the server's
  // own text) and its text without the line pattern (no date or time), for a view that stamps
  // lines itself. The default shows the line.
  virtual void AppendLogEntry(std::optional<LogMessageType> /*type*/, const std::string& /*text*/,
                              const std::string& line, long color) {
    AppendLogLine(line, color);
  }
  virtual void ClearLogView() {}
};

}  // namespace velmorin
