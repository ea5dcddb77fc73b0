// Closing the main window of a real server in this process, its loop driven by Qt's: with a
// user logged in, the window asks first; No keeps everything running, Yes shuts the server down.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <future>
#include <optional>

#include "config/Settings.hpp"
#include "gui/BoxAnswerers.hpp"
#include "gui/WindowServer.hpp"
#include "support/ServerHarness.hpp"

namespace velmorin {
namespace {

using testing::kWait;

class WindowClose : public testing::WindowServer {
 protected:
  void Prepare() override { settings.Set("General", "AllowGuests", "1"); }

  // A client logged in while Qt's loop runs the server.
  client::ChatClient LoggedIn(const std::string& nickname) {
    auto login = std::async(std::launch::async, [this, nickname] {
      client::ChatClient client;
      client.Connect("127.0.0.1", port, kWait);
      client.ReceiveWelcome(kWait);
      const auto reply = client.Login(nickname, "", 255, "test 1.0", kWait);
      return std::make_pair(std::move(client), reply && reply->Accepted());
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return login.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                                static_cast<int>(kWait.count()) * 2));
    auto [client, accepted] = login.get();
    EXPECT_TRUE(accepted) << client.LastErrorText();
    return std::move(client);
  }
};

TEST_F(WindowClose, AsksWithUsersLoggedInAndNoKeepsTheServerRunning) {
  client::ChatClient ada = LoggedIn("ada");
  ASSERT_EQ(admin.State().Figures().users, 1);
  {
    testing::BoxAnswerer no(QMessageBox::No);
    EXPECT_FALSE(window.close());
    ASSERT_TRUE(no.text.has_value());
    EXPECT_NE(no.text->find("Users still logged in: 1."), std::string::npos) << *no.text;
  }
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(unloads, 0);
  EXPECT_TRUE(server.IsOnline());
  EXPECT_EQ(admin.State().Figures().users, 1);
  // Still served: a second user gets in through the loop Qt drives.
  client::ChatClient bob = LoggedIn("bob");
  EXPECT_EQ(admin.State().Figures().users, 2);

  testing::BoxAnswerer yes(QMessageBox::Yes);
  EXPECT_TRUE(window.close());
  EXPECT_TRUE(yes.text.has_value());
  EXPECT_EQ(unloads, 1);
  EXPECT_FALSE(server.IsOnline());
  EXPECT_NE(ServerSettings.Start.Window, "0,0,0,0");  // the window's rectangle stored for the save
}

TEST_F(WindowClose, ClosesWithoutAskingWhenNobodyIsLoggedIn) {
  testing::BoxAnswerer no(QMessageBox::No);
  EXPECT_TRUE(window.close());
  EXPECT_FALSE(no.text.has_value());
  EXPECT_EQ(unloads, 1);
  EXPECT_FALSE(server.IsOnline());
}

// A stop by signal while the administrator has a dialog open: the dialog is closed and the
// server shuts down, instead of the process waiting for the administrator.
TEST_F(WindowClose, AStopWhileADialogIsOpenClosesTheDialogFirst) {
  client::ChatClient ada = LoggedIn("ada");
  QDialog dialog(&window);
  QTimer::singleShot(0, &window, [this] {
    // What the signal does, from inside the dialog's own loop.
    QMetaObject::invokeMethod(&window, [this] { window.CloseWithoutQuestion(); }, Qt::QueuedConnection);
  });
  QTimer::singleShot(8000, &dialog, &QDialog::accept);  // ends the test's wait if the dialog stays
  QElapsedTimer held;
  held.start();
  dialog.exec();
  EXPECT_TRUE(QTest::qWaitFor([this] { return unloads == 1; }, 5000));
  EXPECT_LT(held.elapsed(), 5000);
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(server.IsOnline());
}

}  // namespace
}  // namespace velmorin
