#include <gtest/gtest.h>

#include <ctime>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/HeadlessFrontEnd.hpp"
#include "config/Settings.hpp"
#include "i18n/LanguageFile.hpp"
#include "logging/LogRateLimiter.hpp"
#include "logging/LogWriter.hpp"
#include "platform/EventLoop.hpp"
#include "server/AdminFrontEnd.hpp"
#include "support/TempProgramDir.hpp"

namespace velmorin {
namespace {

// What the log view saw: "clear", or the line and its colour.
struct RecordingFrontEnd : AdminFrontEnd {
  std::vector<std::string> events;
  void AppendLogLine(const std::string& line, long color) override {
    events.push_back(line + " #" + std::to_string(color));
  }
  void ClearLogView() override { events.push_back("clear"); }
};

std::time_t Afternoon() {
  std::tm local{};
  local.tm_year = 2026 - 1900;
  local.tm_mon = 11;
  local.tm_mday = 4;
  local.tm_hour = 14;
  local.tm_min = 5;
  local.tm_sec = 9;
  local.tm_isdst = -1;
  return std::mktime(&local);
}

class LogWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.write("language/Test.lng",
              "[VM3SLF]\r\nLanguageName=Test\r\nlanguageIDs=1033\r\nVelmorinVersion=3.0.0\r\n"
              "[frmServer.Data]\r\nlogStart=Started:<SP>\r\nlogStop=Stopped:<SP>\r\n"
              "msgConnected=Client %id from %ip (%id, %ID)\r\n"
              "msgServerStopped=Server stopped.\r\n"
              "msgErrorPort=Port %port is in use.\r\n"
              "msgDisconnected=Client %id left.\r\n"
              "msgClientAccepted=Client %id is %name.\r\n"
              "msgServerStarted=Started on %ip.\r\n"
              "msgErrorRaised=Error %nr: %description\r\n"
              "msgErrorInvalidData=Client %id sent invalid data.\r\n"
              "msgUnknownCommand=Client %id sent %cmd.\r\n"
              "msgSuppressedClient=Client %id: %count more %type lines suppressed.\r\n"
              "msgSuppressed=%count more %type lines suppressed.\r\n"
              "msgSuppressedAddress=%ip: %count more %type lines suppressed.\r\n"
              "msgLogFileFailed=No log file %file: %error\r\n");
    language.SetLanguage("frmServer", dir.path("language/Test.lng"));
    ServerSettings.Log.Pattern = PatternToInternal("%message");
    ServerSettings.Log.ClearLogAtSize = false;
    for (LogMessageSetting& setting : ServerSettings.LogMessages) setting = {0, true};
    ServerSettings.LogMessages[static_cast<std::size_t>(LogMessageType::Connected)] = {0x00FF00, true};
    writer.SetClock([this] { return now; });
  }
  void TearDown() override { ServerSettings = saved; }

  void Write(const std::string& text) { writer.WriteLogLine(text + "\r\n", 0); }

  // The lines the view got, without their colours.
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    for (const std::string& event : view.events) lines.push_back(event.substr(0, event.rfind(" #")));
    return lines;
  }

  std::time_t now = Afternoon();
  const ServerSettingsRecord saved = ServerSettings;
  testing::TempProgramDir dir;
  LanguageFile language;
  RecordingFrontEnd view;
  LogWriter writer{view, language};
};

TEST_F(LogWriterTest, TheFeedGetsEveryShownLineWithItsTypeAndAListenerMayLeaveWhileALineIsOut) {
  std::vector<std::string> heard;
  LogFeed::ListenerId second = 0;
  const LogFeed::ListenerId first = writer.Feed().Subscribe(
      [&](std::optional<LogMessageType> type, long color, const std::string& line) {
        heard.push_back(std::string(type ? kLogMessageTypeNames[static_cast<std::size_t>(*type)] : "-") + " " +
                        std::to_string(color) + " " + line);
        writer.Feed().Unsubscribe(second);  // the other listener leaves before it hears this line
      });
  second = writer.Feed().Subscribe([&](auto, long, const std::string&) { heard.push_back("second"); });
  writer.Log(LogMessageType::Connected, {{"%id", "3"}, {"%ip", "10.0.0.1"}});
  ServerSettings.LogMessages[static_cast<std::size_t>(LogMessageType::Disconnected)].Show = false;
  writer.Log(LogMessageType::Disconnected, {{"%id", "3"}});
  Write("from a plugin");
  EXPECT_EQ(heard, (std::vector<std::string>{"Connected 65280 Client 3 from 10.0.0.1 (3, %ID)", "- 0 from a plugin"}));
  writer.Feed().Unsubscribe(first);
  EXPECT_TRUE(writer.Feed().Empty());
}

TEST_F(LogWriterTest, AtTheClearSizeTheNextLineEmptiesTheViewFirstAndStandsAlone) {
  ServerSettings.Log.ClearLogAtSize = true;
  ServerSettings.Log.ClearLogSize = 3;
  for (const char* text : {"1", "2", "3", "4"}) Write(text);
  EXPECT_EQ(view.events, (std::vector<std::string>{"1 #0", "2 #0", "3 #0", "clear", "4 #0"}));
  EXPECT_EQ(writer.LineCount(), 1);
}

TEST_F(LogWriterTest, AClearSizeBelowTheCountStopsClearingUntilTheViewIsEmptied) {
  ServerSettings.Log.ClearLogAtSize = true;
  ServerSettings.Log.ClearLogSize = 3;
  Write("1");
  Write("2");
  ServerSettings.Log.ClearLogSize = 1;
  Write("3");
  Write("4");
  EXPECT_EQ(writer.LineCount(), 4);
  writer.ClearLog();
  EXPECT_EQ(writer.LineCount(), 0);
  Write("5");
  Write("6");
  EXPECT_EQ(view.events,
            (std::vector<std::string>{"1 #0", "2 #0", "3 #0", "4 #0", "clear", "5 #0", "clear", "6 #0"}));
}

TEST_F(LogWriterTest, ThePatternFramesTheTextAndTheFileGetsTheSameLine) {
  // The test process keeps the C locale: dates read mm/dd/yy, times hh:mm:ss.
  const struct {
    const char* pattern;
    const char* text;
    const char* line;
  } cases[] = {
      {"%time %message", "text\r\n", "14:05 text"},
      {"%date/%longtime: %message", "text\r\n", "12/04/26/14:05:09: text"},
      {"%message%br", "text\r\n", "text\r\n"},
      // Without a final CR LF nothing is cut off.
      {"[%message]", "text", "[text]"},
      // Pattern codes inside the text are control characters: escaped, never interpreted.
      {"%message", "a\x03" "b\x06" "c\r\n", "a\\x03b\\x06c"},
      // Only the entry's final CR LF ends it; the pattern's own breaks stay.
      {"%message%br", "one\r\ntwo\r\n", "one\\x0D\\x0Atwo\r\n"},
  };
  writer.Logging().StartLogging(dir.path("logs"), "Server@1000");
  std::string expectedFile = "\r\nStarted: 12/04/26/14:05:09\r\n";
  for (const auto& c : cases) {
    ServerSettings.Log.Pattern = PatternToInternal(c.pattern);
    view.events.clear();
    writer.WriteLogLine(c.text, 0x123456);
    EXPECT_EQ(view.events, std::vector<std::string>{std::string(c.line) + " #1193046"}) << c.pattern;
    expectedFile += std::string(c.line) + "\r\n";
  }
  writer.Logging().StopLogging();
  EXPECT_EQ(dir.read("logs/Server@1000.log"), expectedFile + "Stopped: 12/04/26/14:05:09\r\n");
}

TEST_F(LogWriterTest, AHiddenTypeWritesNeitherToTheViewNorToTheFile) {
  writer.Logging().StartLogging(dir.path("logs"), "Server@1000");
  ServerSettings.LogMessages[static_cast<std::size_t>(LogMessageType::Connected)].Show = false;
  writer.Log(LogMessageType::Connected, {{"%id", "3"}, {"%ip", "10.0.0.1"}});
  writer.Logging().StopLogging();
  EXPECT_TRUE(view.events.empty());
  EXPECT_EQ(writer.LineCount(), 0);
  EXPECT_EQ(dir.read("logs/Server@1000.log"), "");
}

TEST_F(LogWriterTest, AShownTypeFillsEveryPlaceholderOnceInItsColour) {
  // A value is never searched again: an address that looks like a placeholder stays as it is.
  writer.Log(LogMessageType::Connected, {{"%id", "3"}, {"%ip", "%id"}});
  EXPECT_EQ(view.events, std::vector<std::string>{"Client 3 from %id (3, %ID) #65280"});
}

TEST_F(LogWriterTest, ControlCharactersAndBackslashesAreEscapedBeforeAnySink) {
  writer.Logging().StartLogging(dir.path("logs"), "Server@1000");
  // A login whose nickname tries to start a second, forged line.
  writer.Log(LogMessageType::ClientAccepted,
             {{"%id", "7"}, {"%name", "Eve\r\n12/04/26/14:05:09: Client 7 is Administrator."}});
  // Plugin lines too; a backslash in the text is escaped as well, so "\\x0A" typed by someone
  // cannot pass for an escaped line break.
  Write("esc \x1b[2J bell \x07 del \x7f tab \t nul " + std::string(1, '\0') + " lf \n cr \r typed \\x0A");
  Write("Windows-1252 stays: L\xE4nge \x80 \xA0.");
  writer.Logging().StopLogging();
  const std::vector<std::string> expected = {
      "Client 7 is Eve\\x0D\\x0A12/04/26/14:05:09: Client 7 is Administrator..",
      "esc \\x1B[2J bell \\x07 del \\x7F tab \\x09 nul \\x00 lf \\x0A cr \\x0D typed \\\\x0A",
      "Windows-1252 stays: L\xE4nge \x80 \xA0.",
  };
  EXPECT_EQ(Lines(), expected);
  std::string file = "\r\nStarted: 12/04/26/14:05:09\r\n";
  for (const std::string& line : expected) file += line + "\r\n";
  EXPECT_EQ(dir.read("logs/Server@1000.log"), file + "Stopped: 12/04/26/14:05:09\r\n");
}

TEST_F(LogWriterTest, ValuesFromClientsAreCutAndMarkedTheServersOwnAreWhole) {
  const std::string huge(130 * 1024, 'x');
  const std::string exact(kMaxLogValueLength, 'y');
  writer.Log(LogMessageType::UnknownCommand, {{"%id", "1"}, {"%cmd", huge}});
  writer.Log(LogMessageType::ErrorRaised, {{"%nr", "5"}, {"%description", "a\n" + huge}});
  writer.Log(LogMessageType::UnknownCommand, {{"%id", "2"}, {"%cmd", exact}});
  // The cut comes before the escape, so no escape sequence is ever split.
  writer.Log(LogMessageType::ClientAccepted, {{"%id", "3"}, {"%name", std::string(kMaxLogValueLength + 1, '\n')}});
  const std::string addresses(300, '1');
  writer.Log(LogMessageType::ServerStarted, {{"%ip", addresses}});
  std::string escapedBreaks;
  for (std::size_t i = 0; i < kMaxLogValueLength; ++i) escapedBreaks += "\\x0A";
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         "Client 1 sent " + std::string(kMaxLogValueLength, 'x') + "....",
                         "Error 5: a\\x0A" + std::string(kMaxLogValueLength - 2, 'x') + "...",
                         "Client 2 sent " + exact + ".",
                         "Client 3 is " + escapedBreaks + "....",
                         "Started on " + addresses + ".",
                     }));
}

// The error lines a client can cause: one per connection and kind in each second.
TEST_F(LogWriterTest, ErrorLinesOfAConnectionAreLimitedPerSecondAndTheRestCounted) {
  for (int i = 0; i < 5; ++i) writer.Log(LogMessageType::UnknownCommand, {{"%id", "3"}, {"%cmd", "x" + std::to_string(i)}});
  writer.Log(LogMessageType::UnknownCommand, {{"%id", "4"}, {"%cmd", "y"}});
  writer.Log(LogMessageType::ErrorInvalidData, {{"%id", "3"}});
  writer.Log(LogMessageType::ErrorInvalidData, {{"%id", "3"}});
  // Ordinary lines are never held back, nor lines that name no connection.
  for (int i = 0; i < 3; ++i) writer.Log(LogMessageType::ClientAccepted, {{"%id", "3"}, {"%name", "Ann"}});
  for (int i = 0; i < 2; ++i) writer.Log(LogMessageType::ErrorRaised, {{"%nr", "9"}, {"%description", "server"}});
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         "Client 3 sent x0.",
                         "Client 4 sent y.",
                         "Client 3 sent invalid data.",
                         "Client 3 is Ann.",
                         "Client 3 is Ann.",
                         "Client 3 is Ann.",
                         "Error 9: server",
                         "Error 9: server",
                     }));

  // The next second: the counts come first, then the line that opened the second.
  view.events.clear();
  ++now;
  writer.Log(LogMessageType::UnknownCommand, {{"%id", "4"}, {"%cmd", "z"}});
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         "Client 3: 1 more ErrorInvalidData lines suppressed.",
                         "Client 3: 4 more UnknownCommand lines suppressed.",
                         "Client 4 sent z.",
                     }));
}

TEST_F(LogWriterTest, ConnectionLinesOfConnectionsNotLoggedInAreLimitedPerAddress) {
  // Ten connections from one address in one second, each in a slot of its own: five of each
  // kind are shown. One from another address counts apart; a logged-in user's close (no
  // "%peer") is never held back.
  for (int i = 1; i <= 10; ++i) {
    const std::string id = std::to_string(i);
    writer.Log(LogMessageType::Connected, {{"%id", id}, {"%ip", "10.0.0.9"}, {"%peer", "10.0.0.9"}});
    writer.Log(LogMessageType::Disconnected, {{"%id", id}, {"%peer", "10.0.0.9"}});
  }
  writer.Log(LogMessageType::Connected, {{"%id", "11"}, {"%ip", "10.0.0.1"}, {"%peer", "10.0.0.1"}});
  writer.Log(LogMessageType::Disconnected, {{"%id", "12"}, {"%peer", ""}});
  writer.Log(LogMessageType::Disconnected, {{"%id", "13"}});
  ++now;
  writer.ReportSuppressed();
  std::vector<std::string> expected;
  for (int i = 1; i <= 5; ++i) {
    expected.push_back("Client " + std::to_string(i) + " from 10.0.0.9 (" + std::to_string(i) + ", %ID)");
    expected.push_back("Client " + std::to_string(i) + " left.");
  }
  expected.insert(expected.end(), {"Client 11 from 10.0.0.1 (11, %ID)", "Client 12 left.", "Client 13 left.",
                                   "10.0.0.9: 5 more Connected lines suppressed.",
                                   "10.0.0.9: 5 more Disconnected lines suppressed."});
  EXPECT_EQ(Lines(), expected);
}

TEST_F(LogWriterTest, ALogFileThatCannotBeOpenedIsReportedOnceToTheViewNotPerLine) {
  dir.write("blocked", "a file where the log directory should be");
  writer.Logging().StartLogging(dir.path("blocked/logs"), "Server@1");
  for (const char* text : {"1", "2", "3"}) Write(text);
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         "1",
                         "No log file " + dir.path("blocked/logs/Server@1.log") + ": Not a directory",
                         "2",
                         "3",
                     }));
}

TEST_F(LogWriterTest, CountsAreReportedWhenTheSlotClosesOrOpensOrOnTheTimer) {
  const auto flood = [&](const char* id) {
    for (int i = 0; i < 3; ++i) writer.Log(LogMessageType::UnknownCommand, {{"%id", id}, {"%cmd", "c"}});
  };
  flood("5");
  writer.Log(LogMessageType::Disconnected, {{"%id", "5"}});
  // A new connection in the same slot, in the same second, starts afresh.
  writer.Log(LogMessageType::Connected, {{"%id", "5"}, {"%ip", "10.0.0.2"}});
  flood("5");
  // A hidden "Connected" line still ends what the slot's previous connection held back.
  ServerSettings.LogMessages[static_cast<std::size_t>(LogMessageType::Connected)].Show = false;
  writer.Log(LogMessageType::Connected, {{"%id", "5"}, {"%ip", "10.0.0.3"}});
  flood("6");
  writer.ReportSuppressed();  // the second has not passed: nothing to report yet
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         "Client 5 sent c.",
                         "Client 5: 2 more UnknownCommand lines suppressed.",
                         "Client 5 left.",
                         "Client 5 from 10.0.0.2 (5, %ID)",
                         "Client 5 sent c.",
                         "Client 5: 2 more UnknownCommand lines suppressed.",
                         "Client 6 sent c.",
                     }));
  view.events.clear();
  ++now;
  writer.ReportSuppressed();
  writer.ReportSuppressed();
  EXPECT_EQ(Lines(), std::vector<std::string>{"Client 6: 2 more UnknownCommand lines suppressed."});
}

TEST(LogRateLimiter, KeepsOnlyTheCurrentSecondAndSharesOneEntryPastItsBound) {
  LogRateLimiter limiter;
  const std::time_t second = 1000;
  for (std::size_t id = 0; id < LogRateLimiter::kMaxTracked; ++id) {
    ASSERT_TRUE(limiter.Admit(std::to_string(id), LogMessageType::ErrorCRC, second));
  }
  // Connections that no longer fit share one entry per kind.
  EXPECT_TRUE(limiter.Admit("new1", LogMessageType::ErrorCRC, second));
  for (int i = 2; i <= 10; ++i) EXPECT_FALSE(limiter.Admit("new" + std::to_string(i), LogMessageType::ErrorCRC, second));
  EXPECT_FALSE(limiter.Admit("7", LogMessageType::ErrorCRC, second));
  EXPECT_TRUE(limiter.EndBefore(second).empty());

  const std::vector<LogRateLimiter::Suppressed> ended = limiter.EndBefore(second + 1);
  ASSERT_EQ(ended.size(), 2u);
  EXPECT_EQ(ended[0].id, "");
  EXPECT_EQ(ended[0].count, 9);
  EXPECT_EQ(ended[1].id, "7");
  EXPECT_EQ(ended[1].count, 1);
  EXPECT_TRUE(limiter.Empty());
  // A clock set back ends the later seconds just the same.
  EXPECT_TRUE(limiter.Admit("7", LogMessageType::ErrorCRC, second + 1));
  EXPECT_FALSE(limiter.Admit("7", LogMessageType::ErrorCRC, second + 1));
  EXPECT_EQ(limiter.EndBefore(second - 5).size(), 1u);
  EXPECT_TRUE(limiter.Empty());
}

TEST_F(LogWriterTest, APortInUseIsLoggedInRedWhateverTheSettings) {
  for (LogMessageSetting& setting : ServerSettings.LogMessages) setting.Show = false;
  writer.LogPortInUse(1000);
  EXPECT_EQ(view.events, std::vector<std::string>{"Port 1000 is in use. #255"});
}

TEST(HeadlessFrontEnd, LinesAreColouredOnlyOnATerminalAndNeverCarryControlCharacters) {
  const struct {
    bool terminal;
    long color;
    const char* line;
    const char* output;
  } cases[] = {
      {false, 255, "red", "red\n"},
      {true, 255, "red", "\x1b[38;2;255;0;0mred\x1b[0m\n"},
      {true, 0, "black", "black\n"},
      {true, 0xFF8001, "a\r\nb", "\x1b[38;2;1;128;255ma\x1b[0m\n\x1b[38;2;1;128;255mb\x1b[0m\n"},
      {false, 0, "one\r\ntwo\rthree\nfour", "one\ntwo\nthree\nfour\n"},
      {false, 0, "\x1b[2J\x07nick\x7f", "?[2J?nick?\n"},
      {false, 0, "L\xE4ngste \x80 \x81", "L\xC3\xA4ngste \xE2\x82\xAC ?\n"},
  };
  for (const auto& c : cases) {
    std::ostringstream out;
    HeadlessFrontEnd frontEnd(out, c.terminal);
    frontEnd.AppendLogLine(c.line, c.color);
    EXPECT_EQ(out.str(), c.output) << c.line;
  }
}

TEST(HeadlessFrontEnd, StatusIsPrintedWhenTheStateChangesAndTitlesNever) {
  std::ostringstream out;
  HeadlessFrontEnd frontEnd(out, false);
  frontEnd.ShowStatus(0, "Ready", "tip");
  frontEnd.ShowStatus(0, "Ready, 3 connections", "other tip");  // counts alone are no news
  frontEnd.SetTitle("Velmorin Server");
  frontEnd.ShowStatus(2, "Stopped", "");
  EXPECT_EQ(out.str(), "[status] Ready\n[status] Stopped\n");
}

// For the journal: the text without the pattern's stamp, every output line led by the priority
// (a line break in a nickname cannot make a line of another priority), no colour, even on a
// terminal.
TEST(HeadlessFrontEnd, JournalLinesCarryThePriorityOnEveryOutputLineAndNoStamp) {
  const struct {
    std::optional<LogMessageType> type;
    long color;
    const char* text;
    const char* output;
  } cases[] = {
      {std::nullopt, 255, "port taken", "<3>port taken\n"},
      {std::nullopt, 0, "SIGHUP", "<6>SIGHUP\n"},
      {LogMessageType::ServerCouldNotStart, 0, "no start", "<3>no start\n"},
      {LogMessageType::ErrorInvalidData, 255, "bad\r\n<3>forged", "<4>bad\n<4><3>forged\n"},
      {LogMessageType::ServerStarted, 0, "started", "<5>started\n"},
      {LogMessageType::Connected, 0xFF8001, "\x1b[2Jhello", "<6>?[2Jhello\n"},
  };
  for (const auto& c : cases) {
    std::ostringstream out;
    HeadlessFrontEnd frontEnd(out, true, HeadlessFlush::EachLine, true);
    frontEnd.AppendLogEntry(c.type, c.text, std::string("12/11/26/06:48:38: ") + c.text, c.color);
    EXPECT_EQ(out.str(), c.output) << c.text;
  }
  std::ostringstream out;
  HeadlessFrontEnd frontEnd(out, false, HeadlessFlush::EachLine, true);
  // Online with or without users is one state there; full and stopped are news.
  for (const long icon : {0, 0, 3, 0, 3, 1, 3, 2}) frontEnd.ShowStatus(icon, "state " + std::to_string(icon), "");
  EXPECT_EQ(out.str(), "<5>[status] state 0\n<5>[status] state 1\n<5>[status] state 3\n<5>[status] state 2\n");
}

// Counts the flushes that reach the stream's buffer.
class FlushCounter : public std::stringbuf {
 public:
  int flushes = 0;

 protected:
  int sync() override {
    ++flushes;
    return std::stringbuf::sync();
  }
};

TEST(HeadlessFrontEnd, FlushesOncePerPassOrAfterEveryLine) {
  struct Case {
    HeadlessFlush mode;
    int flushesBeforeThePassEnds;
    int flushesAfterIt;
  };
  for (const Case& c : {Case{HeadlessFlush::EachLine, 4, 4}, Case{HeadlessFlush::EachPass, 0, 1}}) {
    FlushCounter buffer;
    std::ostream out(&buffer);
    {
      HeadlessFrontEnd frontEnd(out, false, c.mode);
      frontEnd.ShowStatus(0, "Ready", "");
      for (const char* line : {"one", "two", "three"}) frontEnd.AppendLogLine(line, 0);
      EXPECT_EQ(buffer.flushes, c.flushesBeforeThePassEnds);
      MainLoop().RunOnce(0);
      EXPECT_EQ(buffer.flushes, c.flushesAfterIt);
      EXPECT_EQ(buffer.str(), "[status] Ready\none\ntwo\nthree\n");
      frontEnd.AppendLogLine("four", 0);
    }
    // A flush queued by a front end that is gone does nothing.
    const int before = buffer.flushes;
    MainLoop().RunOnce(0);
    EXPECT_EQ(buffer.flushes, before);
  }
}

}  // namespace
}  // namespace velmorin
