#include "app/HeadlessFrontEnd.hpp"

#include <unistd.h>

#include "app/JournalStandardError.hpp"
#include "logging/LogWriter.hpp"
#include "platform/EventLoop.hpp"
#include "platform/Charset.hpp"

namespace velmorin {
namespace {

std::string ColourEscape(long color) {
  const unsigned long value = static_cast<unsigned long>(color);
  return "\x1b[38;2;" + std::to_string(value & 0xFF) + ";" + std::to_string((value >> 8) & 0xFF) + ";" +
         std::to_string((value >> 16) & 0xFF) + "m";
}

constexpr const char* kReset = "\x1b[0m";

// The status icons of AdminFrontEnd::ShowStatus.
constexpr long kIconReady = 0;
constexpr long kIconUsed = 3;

constexpr int kPriorityError = 3;
constexpr int kPriorityWarning = 4;
constexpr int kPriorityNotice = 5;
constexpr int kPriorityInfo = 6;

// Each output line of the text led by the priority, so that the journal sees every line alone.
std::string WithPriority(int priority, const std::string& text) {
  const std::string prefix = "<" + std::to_string(priority) + ">";
  std::string out = prefix;
  for (const char c : text) {
    out += c;
    if (c == '\n') out += prefix;
  }
  return out;
}

}  // namespace

int JournalPriority(std::optional<LogMessageType> type, long color) {
  if (!type) return (color & 0xFFFFFF) == 0x0000FF ? kPriorityError : kPriorityInfo;
  switch (*type) {
    case LogMessageType::ServerCouldNotStart:
      return kPriorityError;
    // What clients cause (the rate-limited kinds, and a client that stopped answering): worth a
    // look when it piles up, not a fault of the server.
    case LogMessageType::PingTimeout:
      return kPriorityWarning;
    case LogMessageType::ServerStarted:
    case LogMessageType::ServerStopped:
      return kPriorityNotice;
    default:
      return IsRateLimited(*type) ? kPriorityWarning : kPriorityInfo;
  }
}

std::string ConsoleText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += '\n';
    } else if (byte == '\n' || byte == '\t') {
      out += static_cast<char>(byte);
    } else if (byte < 0x20 || byte == 0x7F) {
      out += '?';
    } else if (byte >= 0x80 && byte < 0xA0) {
      const char32_t code = CodePointOfWindows1252(byte);
      if (code == 0) {
        out += '?';
      } else {
        AppendUtf8(out, code);
      }
    } else {
      AppendUtf8(out, byte);
    }
  }
  return out;
}

HeadlessFrontEnd::HeadlessFrontEnd(std::ostream& out, bool terminal, HeadlessFlush flush, bool journal)
    : out_(out), terminal_(terminal && !journal), journal_(journal), flush_(flush) {}

void HeadlessFrontEnd::Flush() {
  if (flush_ == HeadlessFlush::EachLine) {
    out_.flush();
    return;
  }
  if (flushQueued_) return;
  flushQueued_ = true;
  MainLoop().Defer([this, alive = std::weak_ptr<char>(alive_)] {
    if (alive.expired()) return;
    flushQueued_ = false;
    out_.flush();
  });
}

bool HeadlessFrontEnd::StdoutIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

bool HeadlessFrontEnd::StdoutIsJournal() { return IsJournalStream(STDOUT_FILENO); }

void HeadlessFrontEnd::ShowStatus(long icon, const std::string& statusLine, const std::string& /*trayTip*/) {
  // Only a change of state is news on a console; the counts in the line change with every
  // connection and would drown the log.
  // The journal keeps lines for good: there, online with users (3) and without (0) are one
  // state, so that the first login and the last logout of a quiet server are not status lines.
  if (journal_ && icon == kIconUsed) icon = kIconReady;
  if (statusShown_ && icon == lastIcon_) return;
  statusShown_ = true;
  lastIcon_ = icon;
  const std::string text = "[status] " + ConsoleText(statusLine);
  out_ << (journal_ ? WithPriority(kPriorityNotice, text) : text) << '\n';
  Flush();
}

void HeadlessFrontEnd::AppendLogEntry(std::optional<LogMessageType> type, const std::string& text,
                                      const std::string& line, long color) {
  if (!journal_) {
    AppendLogLine(line, color);
    return;
  }
  out_ << WithPriority(JournalPriority(type, color), ConsoleText(text)) << '\n';
  Flush();
}

void HeadlessFrontEnd::AppendLogLine(const std::string& line, long color) {
  std::string text = ConsoleText(line);
  if (terminal_ && (color & 0xFFFFFF) != 0) {
    // Coloured line by line, so a pager or a cut-off output never bleeds the colour onward.
    const std::string start = ColourEscape(color);
    std::string coloured = start;
    for (const char c : text) {
      if (c == '\n') {
        coloured += kReset;
        coloured += '\n';
        coloured += start;
      } else {
        coloured += c;
      }
    }
    text = coloured + kReset;
  }
  out_ << text << '\n';
  Flush();
}

}  // namespace velmorin
