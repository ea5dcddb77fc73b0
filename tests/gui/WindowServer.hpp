#pragma once
// The main window over a real server in this process, its loop driven by Qt's, started as
// desktop mode starts them: the settings from config/server.cfg, the window's language,
// toolbar and saved state, then the server online. The window's close box unloads the server.
//
//   class MyTest : public testing::WindowServer {
//     void Prepare() override {                 before anything is read or loaded
//       settings.Set("General", "AllowGuests", "1");
//       dir.installPlugin(...);
//     }
//   };
//   unloads                                     how often closing the window unloaded the server

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "admin-gui/CoreLoopDriver.hpp"
#include "admin-gui/MainWindow.hpp"
#include "admin/AdminService.hpp"
#include "config/Settings.hpp"
#include "i18n/LanguageFile.hpp"
#include "net/LingeringSockets.hpp"
#include "platform/EventLoop.hpp"
#include "server/ChatServer.hpp"
#include "support/ServerHarness.hpp"

namespace velmorin::testing {

class WindowServer : public ::testing::Test {
 protected:
  // What a test adds to the settings or the program directory before the start.
  virtual void Prepare() {}

  void SetUp() override {
    CopyLanguageFiles(dir.path("language"));
    Prepare();
    dir.write("config/server.cfg", settings.Text());
    ASSERT_EQ(LoadSettings(), 0);
    ServerSettings.General.ActivePort = port;
    CurrentLanguage().SetLanguage("modMain", language);
    window.Attach(admin, [this] {
      server.Unload();
      ++unloads;
    });
    window.LoadWindow(language);
    server.Load();
    ASSERT_TRUE(server.IsOnline());
  }

  void TearDown() override {
    if (!window.Unloaded()) window.CloseWithoutQuestion();
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    while (LingeringSocketCount() > 0 && std::chrono::steady_clock::now() < deadline) MainLoop().RunOnce(20);
  }

  TempProgramDir dir;
  std::string language = dir.path("language/English.lng");
  std::uint16_t port = FreeLoopbackPort();
  SettingsText settings{{
      {"Info", {{"Language", "English.lng"}}},
      {"General", {{"PingDelay", "600000"}}},
      {"Logging", {{"Enabled", "0"}}},
  }};
  CoreLoopDriver driver{MainLoop()};
  MainWindow window;
  ChatServer server{window};
  AdminService admin{server};
  int unloads = 0;
};

}  // namespace velmorin::testing
