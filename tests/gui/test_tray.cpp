// The tray's state without a notification area (the offscreen platform has none): the image and
// tooltip follow the status the server shows, flashing ends as asked, and a balloon is bounded
// and lands in the status line instead.

#include <gtest/gtest.h>

#include <QEvent>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTest>

#include "admin-gui/MainWindow.hpp"
#include "admin-gui/TrayIcon.hpp"

namespace velmorin {
namespace {

TEST(Tray, FollowsTheStatusTheServerShows) {
  MainWindow window;
  TrayIcon& tray = window.Tray();
  const struct {
    long icon;
    long shown;
  } cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {7, 2}, {-1, 2}};
  for (const auto& c : cases) {
    window.ShowStatus(c.icon, "status line", "tip " + std::to_string(c.icon));
    EXPECT_EQ(tray.Icon(), c.shown) << c.icon;
    EXPECT_EQ(tray.ToolTipText().toStdString(), "tip " + std::to_string(c.icon));
  }
  for (int wait = 0; wait < 100 && window.StatusText().isEmpty(); ++wait) QTest::qWait(10);
  EXPECT_EQ(window.StatusText(), "status line");
  EXPECT_EQ(tray.Shown(), QSystemTrayIcon::isSystemTrayAvailable());
}

// A storm of logins shows the status hundreds of times a second: the window icon goes to the
// display only when the status changes, and the status line ends on the newest text.
TEST(Tray, AStormOfStatusChangesRedrawsOnlyWhatChanged) {
  MainWindow window;
  struct IconChanges : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::WindowIconChange) ++count;
      return false;
    }
  } changes;
  window.installEventFilter(&changes);
  for (int users = 1; users <= 200; ++users) {
    window.ShowStatus(3, std::to_string(users) + " users", std::to_string(users) + " users");
  }
  window.ShowStatus(0, "nobody", "nobody");
  EXPECT_EQ(changes.count, 2);
  EXPECT_EQ(window.Tray().ToolTipText(), "nobody");
  for (int wait = 0; wait < 100 && window.StatusText() != "nobody"; ++wait) QTest::qWait(10);
  EXPECT_EQ(window.StatusText(), "nobody");
}

TEST(Tray, FlashStopsAfterTwiceTheCountAndAtOnceWhenSwitchedOff) {
  MainWindow window;
  TrayIcon& tray = window.Tray();
  tray.Flash(true, 2);
  ASSERT_TRUE(tray.Flashing());
  std::vector<bool> blanks;
  for (int tick = 0; tick < 4; ++tick) {
    tray.FlashTick();
    blanks.push_back(tray.Blank());
  }
  EXPECT_EQ(blanks, (std::vector<bool>{true, false, true, false}));
  EXPECT_FALSE(tray.Flashing());

  tray.Flash(true, 0);  // no end
  for (int tick = 0; tick < 101; ++tick) tray.FlashTick();
  EXPECT_TRUE(tray.Flashing());
  EXPECT_TRUE(tray.Blank());
  tray.Flash(false, 0);
  EXPECT_FALSE(tray.Flashing());
  EXPECT_FALSE(tray.Blank());
}

TEST(Tray, BalloonIsBoundedAndShownInTheStatusLineWithoutATray) {
  MainWindow window;
  TrayIcon& tray = window.Tray();
  tray.ShowBalloonTooltip(QString(100, 'T'), QString(1000, 'x'), 2);
  EXPECT_EQ(tray.LastBalloonTitle().size(), TrayIcon::kMaxBalloonTitle);
  EXPECT_EQ(tray.LastBalloonText().size(), TrayIcon::kMaxBalloonText);
  if (!tray.Shown()) {
    EXPECT_TRUE(window.statusBar()->currentMessage().startsWith(QString(63, 'T') + ": xxx"));
  }
}

TEST(Tray, LeftClickMinimisesAndRestores) {
  MainWindow window;
  window.show();
  window.Tray().LeftClick();
  EXPECT_TRUE(window.isMinimized());
  window.Tray().LeftClick();
  EXPECT_FALSE(window.isMinimized());
}

}  // namespace
}  // namespace velmorin
