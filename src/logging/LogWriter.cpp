#include "logging/LogWriter.hpp"

#include <chrono>
#include <cstring>

#include "config/Settings.hpp"
#include "i18n/LanguageFile.hpp"
#include "logging/LogView.hpp"
#include "platform/EventLoop.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

constexpr long kRed = 255;
constexpr std::chrono::milliseconds kReportInterval{1000};
constexpr std::string_view kLineBreak = "\r\n";
// Marks the limiter's keys that are addresses rather than connection ids.
constexpr std::string_view kPeerKeyMark = "@";
// Lines of one kind per second from the connections of one address that have not logged in:
// a few users behind one address who connect together are all shown, a client that connects
// without end costs a few lines per second.
constexpr long kPeerLinesPerSecond = 5;

bool EndsWithBreak(std::string_view text) { return text.ends_with(kLineBreak); }

std::string WithoutFinalBreak(const std::string& line) {
  return EndsWithBreak(line) ? line.substr(0, line.size() - kLineBreak.size()) : line;
}

// The entry's own final CR LF stays the end of the entry; everything before it is escaped.
std::string EscapedEntry(const std::string& text) {
  if (!EndsWithBreak(text)) return EscapeControlCharacters(text);
  const std::string_view body = std::string_view(text).substr(0, text.size() - kLineBreak.size());
  return EscapeControlCharacters(body) + std::string(kLineBreak);
}

// The server's own lines (its addresses, its state) are shown whole; every other kind carries
// values a client chose.
bool CarriesClientValues(LogMessageType type) {
  return type != LogMessageType::ServerStarted && type != LogMessageType::ServerStopped &&
         type != LogMessageType::ServerCouldNotStart;
}

std::string_view PlaceholderValue(LogPlaceholders placeholders, std::string_view name) {
  for (const auto& [key, value] : placeholders) {
    if (key == name) return value;
  }
  return {};
}

const LogMessageSetting* SettingOf(LogMessageType type) {
  const auto index = static_cast<std::size_t>(type);
  return index < kLogMessageTypeCount ? &ServerSettings.LogMessages[index] : nullptr;
}

}  // namespace

bool IsRateLimited(LogMessageType type) {
  switch (type) {
    case LogMessageType::ChatnameAlreadyUsed:
    case LogMessageType::ErrorRaised:
    case LogMessageType::ErrorInvalidData:
    case LogMessageType::ErrorSendingData:
    case LogMessageType::ErrorCRC:
    case LogMessageType::ErrorDenied:
    case LogMessageType::ErrorNoGuests:
    case LogMessageType::ErrorVersion:
    case LogMessageType::UnknownCommand:
      return true;
    default:
      return false;
  }
}

bool IsConnectionLine(LogMessageType type) {
  switch (type) {
    case LogMessageType::Connected:
    case LogMessageType::SendingWelcome:
    case LogMessageType::Disconnected:
    case LogMessageType::PingTimeout:
      return true;
    default:
      return false;
  }
}

std::string FillPlaceholders(std::string_view text, LogPlaceholders placeholders, std::size_t maxValueLength) {
  std::string result;
  result.reserve(text.size());
  std::size_t position = 0;
  while (position < text.size()) {
    bool replaced = false;
    for (const auto& [name, value] : placeholders) {
      if (!name.empty() && text.substr(position, name.size()) == name) {
        if (value.size() > maxValueLength) {
          result.append(value, 0, maxValueLength);
          result += "...";
        } else {
          result += value;
        }
        position += name.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) result += text[position++];
  }
  return result;
}

std::string EscapeControlCharacters(std::string_view text) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  std::string result;
  result.reserve(text.size());
  for (const char c : text) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 32 || code == 127) {
      result += "\\x";
      result += kHexDigits[code >> 4];
      result += kHexDigits[code & 15];
    } else if (c == '\\') {
      result += "\\\\";
    } else {
      result += c;
    }
  }
  return result;
}

LogWriter::LogWriter(LogView& view, const LanguageFile& language)
    : view_(view), language_(language), file_(language) {}

LogWriter::~LogWriter() { StopReportTimer(); }

void LogWriter::SetClock(LogClock clock) { file_.SetClock(std::move(clock)); }

void LogWriter::Log(LogMessageType type, LogPlaceholders placeholders) {
  const LogMessageSetting* setting = SettingOf(type);
  if (setting == nullptr) return;
  const std::string_view id = PlaceholderValue(placeholders, "%id");
  // A slot that opens or closes ends what its previous connection had held back.
  if (!id.empty() && (type == LogMessageType::Connected || type == LogMessageType::Disconnected)) {
    WriteSuppressed(limiter_.EndConnection(id));
  }
  if (!setting->Show || !Admitted(type, placeholders)) return;
  const std::string text = "msg" + std::string(kLogMessageTypeNames[static_cast<std::size_t>(type)]);
  const std::size_t maxValueLength = CarriesClientValues(type) ? kMaxLogValueLength : std::string::npos;
  WriteLine(type, FillPlaceholders(language_.Data(text), placeholders, maxValueLength) + "\r\n", setting->Color);
}

bool LogWriter::Admitted(LogMessageType type, LogPlaceholders placeholders) {
  const std::string_view id = PlaceholderValue(placeholders, "%id");
  const std::time_t now = file_.Now();
  WriteSuppressed(limiter_.EndBefore(now));
  // A connection that has not logged in is counted by its address, so that connecting again
  // and again does not start a new count each time.
  const std::string_view peer = PlaceholderValue(placeholders, "%peer");
  const bool byPeer = !peer.empty() && (IsRateLimited(type) || IsConnectionLine(type));
  const std::string key = byPeer ? std::string(kPeerKeyMark) + std::string(peer) : std::string(id);
  if ((byPeer || (!id.empty() && IsRateLimited(type))) &&
      !limiter_.Admit(key, type, now, byPeer ? kPeerLinesPerSecond : 1)) {
    StartReportTimer();
    return false;
  }
  return true;
}

void LogWriter::LogText(LogMessageType type, const std::string& key, LogPlaceholders placeholders) {
  const LogMessageSetting* setting = SettingOf(type);
  if (setting == nullptr || !setting->Show || !Admitted(type, placeholders)) return;
  WriteLine(type, FillPlaceholders(language_.Data(key), placeholders, kMaxLogValueLength) + "\r\n", setting->Color);
}

void LogWriter::LogPortInUse(long port) {
  WriteLogLine(FillPlaceholders(language_.Data("msgErrorPort"), {{"%port", std::to_string(port)}}) + "\r\n",
               kRed);
}

void LogWriter::WriteLogLine(const std::string& text, long color) { WriteLine(std::nullopt, text, color); }

void LogWriter::WriteLine(std::optional<LogMessageType> type, const std::string& text, long color) {
  // Only a final CR LF is cut: a pattern or plugin text without one keeps all its characters.
  const std::string entry = EscapedEntry(text);
  const std::string line = WithoutFinalBreak(BuildLine(entry));
  file_.AddEntry(line);
  ShowLine(type, WithoutFinalBreak(entry), line, color);
  if (const auto failure = file_.TakeUnreportedFailure()) ReportFileFailure(*failure);
}

void LogWriter::ShowLine(std::optional<LogMessageType> type, const std::string& text, const std::string& line,
                         long color) {
  const LogSettings& log = ServerSettings.Log;
  if (log.ClearLogAtSize && lineCount_ == log.ClearLogSize) ClearLog();
  view_.AppendLogEntry(type, text, line, color);
  ++lineCount_;
  feed_.Publish(type, color, line);
}

void LogWriter::ReportFileFailure(const LogFile::Failure& failure) {
  // Only to the view and the followers: the file is what failed.
  const std::string text = FillPlaceholders(language_.Data("msgLogFileFailed"),
                                            {{"%file", failure.path}, {"%error", std::strerror(failure.error)}});
  const std::string entry = EscapedEntry(text);
  ShowLine(std::nullopt, WithoutFinalBreak(entry), WithoutFinalBreak(BuildLine(entry)), kRed);
}

void LogWriter::ReportSuppressed() {
  WriteSuppressed(limiter_.EndBefore(file_.Now()));
  if (limiter_.Empty()) StopReportTimer();
}

void LogWriter::WriteSuppressed(const std::vector<LogRateLimiter::Suppressed>& counts) {
  for (const LogRateLimiter::Suppressed& suppressed : counts) {
    const LogMessageSetting* setting = SettingOf(suppressed.type);
    if (setting == nullptr || !setting->Show) continue;
    const bool byPeer = suppressed.id.starts_with(kPeerKeyMark);
    const std::string text = suppressed.id.empty() ? language_.Data("msgSuppressed")
                             : byPeer              ? language_.Data("msgSuppressedAddress")
                                                   : language_.Data("msgSuppressedClient");
    const std::string line =
        FillPlaceholders(text, {{"%id", suppressed.id},
                                {"%ip", byPeer ? suppressed.id.substr(1) : std::string()},
                                {"%count", std::to_string(suppressed.count)},
                                {"%type", std::string(kLogMessageTypeNames[static_cast<std::size_t>(suppressed.type)])}});
    WriteLine(suppressed.type, line + "\r\n", setting->Color);
  }
}

void LogWriter::StartReportTimer() {
  if (reportTimer_ != 0) return;
  reportTimer_ = MainLoop().StartTimer(kReportInterval, [this] { ReportSuppressed(); });
}

void LogWriter::StopReportTimer() {
  if (reportTimer_ == 0) return;
  MainLoop().StopTimer(reportTimer_);
  reportTimer_ = 0;
}

void LogWriter::ClearLog() {
  view_.ClearLogView();
  lineCount_ = 0;
}

std::string LogWriter::BuildLine(const std::string& text) const {
  // One pass over the pattern, so nothing inside the text is ever taken for a pattern code.
  const std::time_t now = file_.Now();
  const std::string time = LongTime(now);
  std::string line;
  for (const char code : ServerSettings.Log.Pattern) {
    switch (code) {
      case kPatternMessage: line += text; break;
      case kPatternDate: line += ShortDate(now); break;
      case kPatternTime: line += Left(time, 5); break;
      case kPatternLongTime: line += time; break;
      case kPatternBreak: line += "\r\n"; break;
      default: line += code;
    }
  }
  return line;
}

}  // namespace velmorin
