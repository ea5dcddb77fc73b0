#pragma once
// The administrator front end of headless mode: log lines and status changes on an output
// stream (standard output), one line each, flushed promptly for a supervising process.
//
//   HeadlessFrontEnd(out, terminal, flush)  terminal: colour the lines with ANSI escapes;
//                                           flush: after each line, or once at the end of each
//                                           pass of the main event loop (one write for all the
//                                           lines of a pass: a burst of logins costs one write,
//                                           not three per connection)
//   StdoutIsTerminal()                      the usual value for `terminal`
//   HeadlessFrontEnd(out, false, flush, true)   journal: for a service manager's journal, which
//                                           stamps each line itself: lines without the line
//                                           pattern (no date or time) and without colour, each
//                                           output line led by its priority, "<3>" errors, "<4>"
//                                           warnings, "<5>" notices (start, stop, status), "<6>"
//                                           the rest (JournalPriority); status lines only when
//                                           the server goes online, full or stopped
//   StdoutIsJournal()                       the usual value for `journal`: JOURNAL_STREAM names
//                                           standard output's device and inode
//
// Output is UTF-8 (the server's texts are Windows-1252 bytes). Line breaks inside a log line
// start new output lines; other control characters print as "?", so a client's nickname can
// neither forge lines nor drive the terminal. Black lines print in the terminal's own colour.
// Status lines ("[status] ...") appear only when the state changes (stopped, ready, used, full);
// titles are not shown.

#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "server/AdminFrontEnd.hpp"

namespace velmorin {

enum class HeadlessFlush { EachLine, EachPass };

class HeadlessFrontEnd : public AdminFrontEnd {
 public:
  HeadlessFrontEnd(std::ostream& out, bool terminal, HeadlessFlush flush = HeadlessFlush::EachLine,
                   bool journal = false);

  static bool StdoutIsTerminal();
  static bool StdoutIsJournal();

  void ShowStatus(long icon, const std::string& statusLine, const std::string& trayTip) override;
  void AppendLogLine(const std::string& line, long color) override;
  void AppendLogEntry(std::optional<LogMessageType> type, const std::string& text, const std::string& line,
                      long color) override;

 private:
  void Flush();

  std::ostream& out_;
  bool terminal_;
  bool journal_;
  HeadlessFlush flush_;
  bool flushQueued_ = false;
  // Tells a queued flush whether the front end still exists.
  std::shared_ptr<char> alive_ = std::make_shared<char>();
  long lastIcon_ = -1;
  bool statusShown_ = false;
};

// The journal priority of a log line: by its type, or for a line without one (the server's own
// texts, plugins' lines) by its colour, red for errors.
int JournalPriority(std::optional<LogMessageType> type, long color);

// Windows-1252 bytes as UTF-8; CR LF, CR and LF become "\n", other control characters "?".
std::string ConsoleText(const std::string& text);

}  // namespace velmorin
