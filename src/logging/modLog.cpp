#include "logging/modLog.hpp"

#include "core/AdminFrontEnd.hpp"
#include "i18n/clsLanguage.hpp"
#include "platform/Text.hpp"
#include "store/modSettings.hpp"

namespace velmorin {
namespace {

constexpr long kRed = 255;

std::string WithoutFinalBreak(const std::string& line) {
  if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) {
    return line.substr(0, line.size() - 2);
  }
  return line;
}

}  // namespace

std::string FillPlaceholders(std::string_view text, LogPlaceholders placeholders) {
  std::string result;
  result.reserve(text.size());
  std::size_t position = 0;
  while (position < text.size()) {
    bool replaced = false;
    for (const auto& [name, value] : placeholders) {
      if (!name.empty() && text.substr(position, name.size()) == name) {
        result += value;
        position += name.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) result += text[position++];
  }
  return result;
}

LogWriter::LogWriter(AdminFrontEnd& frontEnd, const clsLanguage& language)
    : frontEnd_(frontEnd), language_(language), file_(language) {}

void LogWriter::SetClock(LogClock clock) { file_.SetClock(std::move(clock)); }

void LogWriter::Log(LogMessageType type, LogPlaceholders placeholders) {
  const auto index = static_cast<std::size_t>(type);
  if (index >= kLogMessageTypeCount) return;
  const LogMessageSetting& setting = ServerSettings.LogMessages[index];
  if (!setting.Show) return;
  const std::string key = "msg" + std::string(kLogMessageTypeNames[index]);
  WriteLogLine(FillPlaceholders(language_.data(key), placeholders) + "\r\n", setting.Color);
}

void LogWriter::LogPortInUse(long port) {
  WriteLogLine(FillPlaceholders(language_.data("msgErrorPort"), {{"%port", std::to_string(port)}}) + "\r\n",
               kRed);
}

void LogWriter::WriteLogLine(const std::string& text, long color) {
  // Only a final CR LF is cut: a pattern or plugin text without one keeps all its characters.
  const std::string line = WithoutFinalBreak(BuildLine(text));
  file_.AddEntry(line);
  const LogSettings& log = ServerSettings.Log;
  if (log.ClearLogAtSize && lineCount_ == log.ClearLogSize) ClearLog();
  frontEnd_.AppendLogLine(line, color);
  ++lineCount_;
}

void LogWriter::ClearLog() {
  frontEnd_.ClearLogView();
  lineCount_ = 0;
}

std::string LogWriter::BuildLine(const std::string& text) const {
  // One pass over the pattern, so codes inside the text (a client's nickname may hold any
  // byte) stay as they are.
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
