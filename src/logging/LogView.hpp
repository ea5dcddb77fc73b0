#pragma once
// Where written log lines are shown: the administrator's log view (a window, standard output or
// a test's recorder). The log writer knows only this much of the front end.

#include <string>

namespace velmorin {

class LogView {
 public:
  virtual ~LogView() = default;

  // One log line, without its final CR LF (it may hold further line breaks), in 0x00BBGGRR.
  virtual void AppendLogLine(const std::string& /*line*/, long /*color*/) {}
  virtual void ClearLogView() {}
};

}  // namespace velmorin
