#pragma once
// The log writer: builds log lines from the settings' pattern and sends each to the
// administrator's log view and to the log file.
//
//   Log(type, {{"%id", "3"}, ...})  nothing at all when the type is hidden; otherwise the
//                                   language text "msg<Type>" with its placeholders filled in,
//                                   in the type's colour
//   LogPortInUse(port)              "msgErrorPort" in red, whatever the settings say
//   WriteLogLine(text, colour)      text ends with CR LF; also the way for plugin lines
//   ClearLog()                      empties the view and restarts the line count
//   Logging()                       the log file (started and stopped by the owner)
//   SetClock(clock)                 "now" for the line pattern and the log file alike
//
// Placeholder values are inserted as they are: text in a value (a nickname such as "%ip", or a
// pattern code) is never replaced again.

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "logging/LogMessageType.hpp"
#include "logging/clsLogging.hpp"

namespace velmorin {

class AdminFrontEnd;
class clsLanguage;

using LogPlaceholders = std::initializer_list<std::pair<std::string_view, std::string>>;

class LogWriter {
 public:
  LogWriter(AdminFrontEnd& frontEnd, const clsLanguage& language);

  void Log(LogMessageType type, LogPlaceholders placeholders = {});
  void LogPortInUse(long port);
  void WriteLogLine(const std::string& text, long color);

  void ClearLog();
  long LineCount() const { return lineCount_; }

  clsLogging& Logging() { return file_; }
  void SetClock(LogClock clock);

 private:
  std::string BuildLine(const std::string& text) const;

  AdminFrontEnd& frontEnd_;
  const clsLanguage& language_;
  clsLogging file_;
  long lineCount_ = 0;
};

// The text with every placeholder replaced in one pass; at one position the first placeholder
// of the list that matches wins.
std::string FillPlaceholders(std::string_view text, LogPlaceholders placeholders);

}  // namespace velmorin
