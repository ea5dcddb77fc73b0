// The main window's size at the start: wide enough for a log line when nothing is saved, as
// saved otherwise.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QScreen>
#include <cmath>

#include "gui/WindowServer.hpp"

namespace velmorin {
namespace {

class FirstStart : public testing::WindowServer {};

TEST_F(FirstStart, ShowsATypicalLogLineWhole) {
  QApplication::processEvents();
  LogViewWidget& log = window.LogView();
  const QString line = "12/11/26 06:48:38 Client 12 did not answer the ping in time and is disconnected.";
  const int needed = QFontMetrics(log.font()).horizontalAdvance(line);
  ASSERT_LT(needed + 64, QGuiApplication::primaryScreen()->availableGeometry().width());
  EXPECT_GE(log.viewport()->width() - 2 * static_cast<int>(log.document()->documentMargin()), needed)
      << window.width() << "x" << window.height();
  EXPECT_LE(window.frameGeometry().width(), QGuiApplication::primaryScreen()->availableGeometry().width());
}

class SavedState : public testing::WindowServer {
  void Prepare() override { settings.Set("Start", "Window", "0,0,6840,4050"); }
};

TEST_F(SavedState, KeepsTheSavedSize) {
  QApplication::processEvents();
  const double perPixel = 1440.0 / QGuiApplication::primaryScreen()->logicalDotsPerInch();
  EXPECT_EQ(window.width(), std::lround(6840 / perPixel));
}

}  // namespace
}  // namespace velmorin
