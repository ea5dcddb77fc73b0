#pragma once
// A real server in this process, its loop driven by Qt's as in desktop mode, with the
// administration the dialogs work on, and helpers for modal boxes and for clients whose calls
// wait on other threads while Qt's loop serves them.
//
//   class MyTest : public testing::DialogServer {};
//   client::ChatClient ann = LoggedIn("Ann");
//   Joined(ann, "Garden");                      "joinChatroom", waiting for "acceptChatroom"
//   auto packet = Await([&] { return ann.ReceiveCommand("closeChatroom", kWait); });
//   ModalAnswerer no(QMessageBox::No);          answers the next message box and keeps its text
//   OnModal<BanUserDialog>([](BanUserDialog& d) {...}) runs once on the next modal dialog of that type

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "admin-gui/CoreLoopDriver.hpp"
#include "admin/AdminService.hpp"
#include "config/Settings.hpp"
#include "gui/BoxAnswerers.hpp"
#include "i18n/LanguageFile.hpp"
#include "net/LingeringSockets.hpp"
#include "platform/EventLoop.hpp"
#include "server/ChatServer.hpp"
#include "support/PacketText.hpp"
#include "support/ServerHarness.hpp"

namespace velmorin::testing {

// Runs `act` once on the next modal dialog of type Dialog.
template <typename Dialog>
class OnModal {
 public:
  explicit OnModal(std::function<void(Dialog&)> act) {
    QObject::connect(&poll_, &QTimer::timeout, [this, act = std::move(act)] {
      auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      poll_.stop();
      ran = true;
      act(*dialog);
    });
    poll_.start(10);
  }
  bool ran = false;

 private:
  QTimer poll_;
};

class DialogServer : public ::testing::Test {
 protected:
  void SetUp() override {
    CopyLanguageFiles(dir.path("language"));
    SettingsText settings{{
        {"Info", {{"Language", "English.lng"}}},
        {"General", {{"PingDelay", "600000"}, {"AllowGuests", "1"}}},
        {"Logging", {{"Enabled", "0"}}},
    }};
    dir.write("config/server.cfg", settings.Text());
    dir.write("config/chatrooms.cfg", "[Lobby]\r\nDescription=\r\n[Garden]\r\nDescription=Green\r\n");
    ASSERT_EQ(LoadSettings(), 0);
    ServerSettings.General.ActivePort = port;
    CurrentLanguage().SetLanguage("modMain", language);
    server.Load();
    ASSERT_TRUE(server.IsOnline());
  }

  void TearDown() override {
    server.Unload();
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    while (LingeringSocketCount() > 0 && std::chrono::steady_clock::now() < deadline) MainLoop().RunOnce(20);
  }

  // Runs a blocking client call on another thread while Qt's loop serves the server.
  template <typename Fn>
  auto Await(Fn fn) -> decltype(fn()) {
    auto done = std::async(std::launch::async, std::move(fn));
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                                static_cast<int>(kWait.count()) * 2));
    return done.get();
  }

  client::ChatClient LoggedIn(const std::string& nickname) {
    auto [client, accepted] = Await([this, nickname] {
      client::ChatClient user;
      user.Connect("127.0.0.1", port, kWait);
      user.ReceiveWelcome(kWait);
      const auto reply = user.Login(nickname, "", 255, "test 1.0", kWait);
      return std::make_pair(std::move(user), reply && reply->Accepted());
    });
    EXPECT_TRUE(accepted) << nickname << ": " << client.LastErrorText();
    return std::move(client);
  }

  void Joined(client::ChatClient& user, const std::string& room) {
    EXPECT_EQ(Await([&] { return Join(user, room); }), F({room, "ok"}));
  }

  TempProgramDir dir;
  std::string language = dir.path("language/English.lng");
  std::uint16_t port = FreeLoopbackPort();
  CoreLoopDriver driver{MainLoop()};
  RecordingFrontEnd frontEnd;
  ChatServer server{frontEnd};
  AdminService admin{server};
};

}  // namespace velmorin::testing
