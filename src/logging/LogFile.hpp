#pragma once
// The log file: every log view line is appended to a text file in the log directory.
//
//   LogFile(language)     texts "logStart"/"logStop" come from its frmServer.Data section
//   StartLogging(dir, base)  opens <dir>/[yyyy_mm_dd - ]<base>.log for appending; no-op when open
//   StopLogging()            trailer if anything was written since the start, then close
//   AddEntry(line)           one line (CR LF added); the header goes first after a start; with
//                            naming by date, the first entry of a new day switches files
//   LogNamingByDate          set before StartLogging; default false
//   SetClock(clock)          the source of "now" (tests move it past midnight)
//
// Every entry reaches the file with one write() call, so a crash loses nothing already logged.
// A failure (directory, open, write) stops nothing else: logging stays stopped or drops the
// line, and the failure is kept for its owner to report once (TakeUnreportedFailure); a start
// or a write that succeeds again makes the next failure worth a report of its own.

#include <ctime>
#include <functional>
#include <optional>
#include <string>

namespace velmorin {

class LanguageFile;

using LogClock = std::function<std::time_t()>;

// The system's short date and long time forms (strftime "%x" and "%X" in the C locale setting).
std::string ShortDate(std::time_t moment);
std::string LongTime(std::time_t moment);

class LogFile {
 public:
  explicit LogFile(const LanguageFile& language);
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  void StartLogging(const std::string& directory, const std::string& baseName);
  void StopLogging();
  void AddEntry(const std::string& line);

  bool LogNamingByDate() const { return namingByDate_; }
  void SetLogNamingByDate(bool on) { namingByDate_ = on; }

  void SetClock(LogClock clock);
  std::time_t Now() const { return clock_(); }

  struct Failure {
    std::string path;
    int error = 0;  // errno
  };
  // The failure since the last report, once; nothing when none or already taken.
  std::optional<Failure> TakeUnreportedFailure();

  bool IsLogging() const { return fd_ >= 0; }
  // The open file's descriptor, -1 while stopped (for a line written from a signal handler).
  int Descriptor() const { return fd_; }
  // The path of the open file; empty while stopped.
  const std::string& FileName() const { return fileName_; }

 private:
  void Append(const std::string& line);
  std::string Stamp() const;
  void Failed(const std::string& path, int error);
  void Succeeded() { failureReported_ = false; }

  const LanguageFile& language_;
  LogClock clock_;
  bool namingByDate_ = false;
  int fd_ = -1;
  std::string fileName_;
  std::string directory_;
  std::string baseName_;
  long openedOn_ = 0;  // local date the file was opened, as yyyymmdd
  bool headerPending_ = false;
  std::optional<Failure> failure_;  // not yet reported
  bool failureReported_ = false;    // reported, and nothing has succeeded since
};

}  // namespace velmorin
