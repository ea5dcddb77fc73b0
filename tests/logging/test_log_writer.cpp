#include <gtest/gtest.h>

#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "core/AdminFrontEnd.hpp"
#include "core/HeadlessFrontEnd.hpp"
#include "i18n/clsLanguage.hpp"
#include "logging/modLog.hpp"
#include "store/modSettings.hpp"
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
              "msgErrorPort=Port %port is in use.\r\n");
    language.SetLanguage("frmServer", dir.path("language/Test.lng"));
    ServerSettings.Log.Pattern = PatternToInternal("%message");
    ServerSettings.Log.ClearLogAtSize = false;
    ServerSettings.LogMessages[static_cast<std::size_t>(LogMessageType::Connected)] = {0x00FF00, true};
    writer.SetClock([] { return Afternoon(); });
  }
  void TearDown() override { ServerSettings = saved; }

  void Write(const std::string& text) { writer.WriteLogLine(text + "\r\n", 0); }

  const ServerSettingsRecord saved = ServerSettings;
  testing::TempProgramDir dir;
  clsLanguage language;
  RecordingFrontEnd view;
  LogWriter writer{view, language};
};

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
      // Pattern codes inside the text are text.
      {"%message", "a\x03" "b\x06" "c\r\n", "a\x03" "b\x06" "c"},
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

}  // namespace
}  // namespace velmorin
