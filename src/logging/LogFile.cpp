#include "logging/LogFile.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>

#include "config/TextFilters.hpp"
#include "i18n/LanguageFile.hpp"
#include "platform/AtomicFile.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

std::tm LocalTime(std::time_t moment) {
  std::tm local{};
  ::localtime_r(&moment, &local);
  return local;
}

std::string Format(std::time_t moment, const char* format) {
  const std::tm local = LocalTime(moment);
  char buffer[128];
  const std::size_t length = std::strftime(buffer, sizeof buffer, format, &local);
  return std::string(buffer, length);
}

long LocalDate(std::time_t moment) {
  const std::tm local = LocalTime(moment);
  return (local.tm_year + 1900L) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday;
}


}  // namespace

std::string ShortDate(std::time_t moment) { return Format(moment, "%x"); }
std::string LongTime(std::time_t moment) { return Format(moment, "%X"); }

LogFile::LogFile(const LanguageFile& language)
    : language_(language), clock_([] { return std::time(nullptr); }) {}

LogFile::~LogFile() { StopLogging(); }

void LogFile::SetClock(LogClock clock) {
  if (clock) clock_ = std::move(clock);
}

void LogFile::StartLogging(const std::string& directory, const std::string& baseName) {
  if (fd_ >= 0) return;
  std::string path = Trim(directory);
  const std::string base = MakeFileName(Trim(baseName));
  // Tested before the slash is added, or a drive-like "C:" would pass as "C:/".
  if (path.size() < 3 || base.empty()) return;
  if (path.back() != '/') path += '/';

  std::error_code created;
  std::filesystem::create_directories(path, created);

  const std::time_t now = clock_();
  std::string name = path;
  if (namingByDate_) name += Format(now, "%Y_%m_%d") + " - ";
  name += base + ".log";
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    // The directory's own failure says more than the open's "no such file".
    Failed(name, created && errno == ENOENT ? created.value() : errno);
    return;
  }
  Succeeded();

  fd_ = fd;
  fileName_ = name;
  directory_ = path;
  baseName_ = base;
  openedOn_ = LocalDate(now);
  headerPending_ = true;
}

void LogFile::StopLogging() {
  if (fd_ < 0) return;
  if (!headerPending_) Append(language_.Data("logStop", "frmServer") + Stamp());
  ::close(fd_);
  fd_ = -1;
  fileName_.clear();
  headerPending_ = false;
}

void LogFile::AddEntry(const std::string& line) {
  if (fd_ < 0) return;
  // The day is checked before the header is written: a file opened yesterday that never
  // received an entry gets neither a trailer nor a header, and the new file one header.
  if (namingByDate_ && LocalDate(clock_()) != openedOn_) {
    const std::string directory = directory_;
    const std::string base = baseName_;
    StopLogging();
    StartLogging(directory, base);
    if (fd_ < 0) return;
  }
  if (headerPending_) {
    headerPending_ = false;
    Append("");
    Append(language_.Data("logStart", "frmServer") + Stamp());
  }
  Append(line);
}

void LogFile::Append(const std::string& line) {
  if (const int error = WriteAll(fd_, line + "\r\n"); error != 0) {
    Failed(fileName_, error);
  } else {
    Succeeded();
  }
}

void LogFile::Failed(const std::string& path, int error) {
  if (failureReported_ || failure_) return;
  failure_ = Failure{path, error};
}

std::optional<LogFile::Failure> LogFile::TakeUnreportedFailure() {
  if (!failure_) return std::nullopt;
  failureReported_ = true;
  return std::exchange(failure_, std::nullopt);
}

std::string LogFile::Stamp() const {
  const std::time_t now = clock_();
  return ShortDate(now) + "/" + LongTime(now);
}

}  // namespace velmorin
