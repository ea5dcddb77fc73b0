#pragma once
// The log writer: builds log lines from the settings' pattern and sends each to the
// administrator's log view and to the log file.
//
//   Log(type, {{"%id", "3"}, ...})  nothing at all when the type is hidden; otherwise the
//                                   language text "msg<Type>" with its placeholders filled in,
//                                   in the type's colour
//   LogPortInUse(port)              "msgErrorPort" in red, whatever the settings say
//   WriteLogLine(text, colour)      text ends with CR LF; also the way for plugin lines
//   ReportSuppressed()              writes the counts of error lines held back in seconds that
//                                   have passed (a timer does it while counts are pending)
//   ClearLog()                      empties the view and restarts the line count
//   (a log file that cannot be opened or written is reported once, to the view and the
//   listeners, with the system's error text: "msgLogFileFailed")
//   Logging()                       the log file (started and stopped by the owner)
//   Feed()                          listeners of the lines as they are written, with their type
//   SetClock(clock)                 "now" for the line pattern, the log file and the limit of
//                                   error lines alike
//
// Placeholder values are inserted as they are: text in a value (a nickname such as "%ip", or a
// pattern code) is never replaced again. Values from clients are cut to kMaxLogValueLength
// characters, marked with "..." at the end.
//
// Every byte of a line's text that is a control character (codes 0-31 and 127) is written as
// "\xHH" and a backslash as "\\", before the line reaches any sink: a name holding a line
// break or an escape sequence cannot start a forged line in the file, the view or on a terminal.
// Only the line breaks of the pattern itself remain.
//
// Error lines a client can cause (IsRateLimited) are written at most once per second for each
// connection, named by the "%id" placeholder; callers logging a client's error pass "%id" even
// when the text does not show it. The lines held back are counted and reported in one line
// ("msgSuppressedClient") when that connection's next line of the kind comes in a later second,
// when the connection's slot logs "Connected" or "Disconnected", or on the report timer.
//
// A line of a connection that has not logged in may carry its address as "%peer" (never shown):
// its error lines and its connection lines (IsConnectionLine: connect, welcome, close, time-out)
// are then limited per address and kind instead, five per second, and what is held back is
// reported as "msgSuppressedAddress". A client that connects again and again thus costs a few
// lines per second, however fast it connects.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/LogMessageType.hpp"
#include "logging/LogFeed.hpp"
#include "logging/LogFile.hpp"
#include "logging/LogRateLimiter.hpp"

namespace velmorin {

class LogView;
class LanguageFile;

using LogPlaceholders = std::initializer_list<std::pair<std::string_view, std::string>>;

// The longest placeholder value a line shows whole.
inline constexpr std::size_t kMaxLogValueLength = 200;

// The error kinds a client can cause again and again.
bool IsRateLimited(LogMessageType type);
// The lines every connection causes, limited for connections that have not logged in.
bool IsConnectionLine(LogMessageType type);

class LogWriter {
 public:
  LogWriter(LogView& view, const LanguageFile& language);
  ~LogWriter();
  LogWriter(const LogWriter&) = delete;
  LogWriter& operator=(const LogWriter&) = delete;

  void Log(LogMessageType type, LogPlaceholders placeholders = {});
  void LogPortInUse(long port);
  // A line of its own text (a language key) in the type's colour, when the type is shown;
  // limited as Log limits the type's lines ("%id", "%peer").
  void LogText(LogMessageType type, const std::string& key, LogPlaceholders placeholders = {});
  void WriteLogLine(const std::string& text, long color);
  void ReportSuppressed();

  void ClearLog();
  long LineCount() const { return lineCount_; }

  LogFile& Logging() { return file_; }
  // The language the lines are written in.
  const LanguageFile& Language() const { return language_; }
  LogFeed& Feed() { return feed_; }
  void SetClock(LogClock clock);

 private:
  // Whether the line may be written now: false when the limit of client-caused lines counted
  // it instead.
  bool Admitted(LogMessageType type, LogPlaceholders placeholders);
  void WriteLine(std::optional<LogMessageType> type, const std::string& text, long color);
  // To the view and the live log's listeners, not the file.
  void ShowLine(std::optional<LogMessageType> type, const std::string& text, const std::string& line, long color);
  void ReportFileFailure(const LogFile::Failure& failure);
  std::string BuildLine(const std::string& text) const;
  void WriteSuppressed(const std::vector<LogRateLimiter::Suppressed>& counts);
  void StartReportTimer();
  void StopReportTimer();

  LogView& view_;
  const LanguageFile& language_;
  LogFile file_;
  LogFeed feed_;
  long lineCount_ = 0;
  LogRateLimiter limiter_;
  std::uint64_t reportTimer_ = 0;  // event-loop timer; 0 while none runs
};

// The text with every placeholder replaced in one pass; at one position the first placeholder
// of the list that matches wins. A value longer than maxValueLength is cut to that length and
// followed by "...".
std::string FillPlaceholders(std::string_view text, LogPlaceholders placeholders,
                             std::size_t maxValueLength = std::string::npos);

// The text with control characters as "\xHH" and backslashes as "\\".
std::string EscapeControlCharacters(std::string_view text);

}  // namespace velmorin
