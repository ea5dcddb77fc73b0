// The log view: lines written in batches, one update per pass; the writer's clearing at
// ClearLogSize and at the start; the administrator's place kept while scrolling is off.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <functional>
#include <vector>

#include "admin-gui/LogViewWidget.hpp"
#include "admin-gui/MainWindow.hpp"
#include "config/Settings.hpp"
#include "gui/WindowServer.hpp"
#include "i18n/LanguageFile.hpp"
#include "logging/LogWriter.hpp"
#include "platform/EventLoop.hpp"

namespace velmorin {
namespace {

// A view whose end-of-pass writes are run by the test.
struct ViewWithPasses {
  std::vector<std::function<void()>> scheduled;
  LogViewWidget view{nullptr, [this](std::function<void()> task) { scheduled.push_back(std::move(task)); }};

  ViewWithPasses() { view.SetWriteInterval(std::chrono::milliseconds(0)); }

  void EndPass() {
    auto tasks = std::move(scheduled);
    scheduled.clear();
    for (auto& task : tasks) task();
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    for (QTextBlock block = view.document()->begin(); block.isValid(); block = block.next()) {
      if (!block.text().isEmpty()) lines.push_back(block.text().toStdString());
    }
    return lines;
  }
};

TEST(LogView, WritesTheLinesOfAPassInOneUpdateInTheirColours) {
  ViewWithPasses pass;
  QSignalSpy updates(pass.view.document(), &QTextDocument::contentsChange);
  for (int i = 0; i < 500; ++i) pass.view.AppendLine("line " + std::to_string(i), i % 2 == 0 ? 255 : 0xFF0000);
  EXPECT_EQ(pass.view.document()->blockCount(), 1);  // nothing written before the pass ends
  ASSERT_EQ(pass.scheduled.size(), 1u);               // one write queued for all of them
  pass.EndPass();
  EXPECT_EQ(updates.count(), 1);
  ASSERT_EQ(pass.view.document()->blockCount(), 500);
  const QTextBlock second = pass.view.document()->findBlockByNumber(1);
  EXPECT_EQ(second.text(), "line 1");
  EXPECT_EQ(second.begin().fragment().charFormat().foreground().color(), QColor(0, 0, 255));
  EXPECT_EQ(pass.view.document()->begin().begin().fragment().charFormat().foreground().color(), QColor(255, 0, 0));
  const std::string rtf = pass.view.RichText(false);
  EXPECT_NE(rtf.find("\\red255\\green0\\blue0;"), std::string::npos);
  EXPECT_NE(rtf.find("line 499"), std::string::npos);
}

TEST(LogView, KeepsTheSelectionWhileScrollingIsOff) {
  ViewWithPasses pass;
  pass.view.AppendLine("first", 0);
  pass.view.AppendLine("second", 0);
  pass.EndPass();
  pass.view.SetScrolling(false);
  QTextCursor selection(pass.view.document());
  selection.setPosition(0);
  selection.setPosition(5, QTextCursor::KeepAnchor);
  pass.view.setTextCursor(selection);
  pass.view.AppendLine("third", 0);
  pass.EndPass();
  EXPECT_EQ(pass.view.textCursor().selectedText(), "first");
  EXPECT_EQ(pass.view.PlainText(true), "first");
  EXPECT_EQ(pass.Lines().size(), 3u);
}

// Passes within the write interval share one write at its end; nothing is lost or waits for
// more than the interval; lines after it start the next interval.
TEST(LogView, WritesOncePerIntervalAndNeverLosesTheLaterLines) {
  ViewWithPasses pass;
  pass.view.SetWriteInterval(std::chrono::milliseconds(200));
  QSignalSpy updates(pass.view.document(), &QTextDocument::contentsChange);
  QElapsedTimer since;
  since.start();
  for (const char* line : {"first", "second", "third"}) {
    pass.view.AppendLine(line, 0);
    pass.EndPass();
  }
  EXPECT_EQ(updates.count(), 0);
  const auto waitForLines = [&pass](std::size_t count) {
    for (int wait = 0; wait < 500 && pass.Lines().size() < count; ++wait) QTest::qWait(10);
  };
  waitForLines(3);
  EXPECT_GE(since.elapsed(), 150);
  EXPECT_EQ(pass.Lines(), (std::vector<std::string>{"first", "second", "third"}));
  EXPECT_EQ(updates.count(), 1);
  pass.view.AppendLine("fourth", 0);
  pass.EndPass();
  waitForLines(4);
  EXPECT_EQ(updates.count(), 2);
  EXPECT_EQ(pass.view.PlainText(false), "first\nsecond\nthird\nfourth");
}

// The window as the log writer's view: the fourth line with ClearLogSize 3 empties the view
// first and stands alone, also when the lines and the clearing fall into one pass.
TEST(LogView, ClearsAtClearLogSizeThroughTheWriter) {
  const ServerSettingsRecord saved = ServerSettings;
  ServerSettings.Log.Pattern = PatternToInternal("%message");
  ServerSettings.Log.ClearLogAtSize = true;
  ServerSettings.Log.ClearLogSize = 3;
  MainWindow window;
  window.LogView().SetWriteInterval(std::chrono::milliseconds(0));
  LanguageFile language;
  LogWriter writer(window, language);
  for (const char* line : {"one", "two", "three", "four"}) writer.WriteLogLine(std::string(line) + "\r\n", 0);
  MainLoop().RunOnce(0);  // the end of the pass the lines were written in
  EXPECT_EQ(window.LogView().document()->toPlainText().toStdString(), "four");
  for (const char* line : {"five", "six", "seven"}) writer.WriteLogLine(std::string(line) + "\r\n", 0);
  MainLoop().RunOnce(0);
  EXPECT_EQ(window.LogView().document()->toPlainText().toStdString(), "seven");
  EXPECT_EQ(writer.LineCount(), 1);
  ServerSettings = saved;
}

// "Clear at start" is the start of the process: going online again keeps what the view shows.
class LogClearedAtStart : public testing::WindowServer {
 protected:
  void Prepare() override { settings.Set("Log", "ClearLogAtStart", "1"); }
};

TEST_F(LogClearedAtStart, GoingOnlineAgainKeepsTheLinesSinceTheStart) {
  server.Log().WriteLogLine("a line of the first online period\r\n", 0);
  ASSERT_TRUE(admin.State().GoOffline(true).ok());
  server.Log().WriteLogLine("a line of the offline period\r\n", 0);
  ASSERT_TRUE(admin.State().GoOnline().ok());
  const std::string text = window.LogText(false);
  const std::size_t firstStart = text.find("Server started");
  ASSERT_NE(firstStart, std::string::npos) << text;
  EXPECT_NE(text.find("Server started", firstStart + 1), std::string::npos) << text;
  for (const char* line : {"a line of the first online period", "a line of the offline period"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  }
}

}  // namespace
}  // namespace velmorin
