#pragma once
// The scene the screenshots show: a real server in this process with the desktop window as its
// front end (as desktop mode runs it), in a temporary program directory with the shipped
// language files, two clients logged in over loopback and sitting in chatrooms.
//
//   ShotServer scene("Deutsch.lng");   settings, language and window loaded, server online
//   scene.LogIn("Ann", "Garden");      a client logs in and joins the room; false on failure
//   scene.window, scene.admin          what the windows are opened on
//
// Client calls block, so they run on another thread while Qt's loop (which drives the server's)
// keeps turning; every wait is bounded.

#include <string>
#include <vector>

#include "admin-gui/CoreLoopDriver.hpp"
#include "admin-gui/MainWindow.hpp"
#include "admin/AdminService.hpp"
#include "client/ChatClient.hpp"
#include "server/ChatServer.hpp"
#include "support/TempProgramDir.hpp"

namespace velmorin::screenshots {

class ShotServer {
 public:
  explicit ShotServer(const std::string& languageFileName);
  ~ShotServer();

  bool Online() const;
  bool LogIn(const std::string& nickname, const std::string& room);
  std::string LanguageFilePath() const;

  testing::TempProgramDir dir;
  CoreLoopDriver driver;
  MainWindow window;
  ChatServer server{window};
  AdminService admin{server};

 private:
  std::uint16_t port_;
  std::vector<client::ChatClient> clients_;
};

}  // namespace velmorin::screenshots
