#include "screenshots/ShotServer.hpp"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <chrono>
#include <ctime>
#include <future>
#include <utility>

#include "codec/WireFormat.hpp"
#include "config/Settings.hpp"
#include "i18n/LanguageFile.hpp"
#include "platform/EventLoop.hpp"
#include "platform/ProgramPaths.hpp"
#include "server/ProgramStart.hpp"
#include "support/ServerHarness.hpp"
#include "support/SettingsText.hpp"

namespace velmorin::screenshots {
namespace {

constexpr std::chrono::milliseconds kClientWait{5000};

// Turns Qt's loop (and with it the server's) until the call on the other thread is done, at
// most twice the client's own bound.
template <typename Result>
Result Served(std::future<Result> done) {
  QElapsedTimer elapsed;
  elapsed.start();
  while (done.wait_for(std::chrono::seconds(0)) != std::future_status::ready &&
         elapsed.elapsed() < 2 * kClientWait.count()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return done.get();  // the client's own time-outs end it
}

}  // namespace

ShotServer::ShotServer(const std::string& languageFileName)
    : driver(MainLoop()), port_(testing::FreeLoopbackPort()) {
  testing::CopyLanguageFiles(dir.path("language"));
  // A plugin with menu entries and the shipped encryption plugin, so that their menu and pages
  // show what an administrator sees.
  dir.installPlugin(std::string(VELMORIN_TEST_PLUGIN_DIR) + "/scripted.so", "notes");
  dir.write("plugins/notes.rules", "");
  dir.installPlugin(std::string(VELMORIN_SHIPPED_PLUGIN_DIR) + "/sealed_channel.so", "sealed_channel");
  testing::SettingsText settings{{
      {"Info", {{"Language", languageFileName}}},
      {"General", {{"PingDelay", "600000"}, {"AllowGuests", "1"}, {"Port", std::to_string(port_)}}},
      {"Logging", {{"Enabled", "0"}}},
  }};
  dir.write("config/server.cfg", settings.Text());
  dir.write("config/chatrooms.cfg",
            "[Lobby]\r\nDescription=Everybody starts here\r\n[Garden]\r\nDescription=Green and quiet\r\n");
  LoadSettings();
  StartTime = std::time(nullptr);  // as the entry point records it, for the program uptime
  ServerSettings.General.ActivePort = port_;
  CurrentLanguage().SetLanguage("modMain", LanguageFilePath());
  window.Attach(admin, [this] { server.Unload(); });
  window.LoadWindow(LanguageFilePath());
  server.Load();
  // The plugin's menu: a ticked entry (text, checked, enabled) and a plain one.
  const std::string field(kFieldSeparatorText);
  for (const auto& [name, entry] : {std::pair<std::string, std::string>{"notes", "&Notes" + field + "1" + field + "1"},
                                    {"clear", "Clear notes"}}) {
    server.RunningPlugins().Call("scripted-notes", "Run", "AddMenuEntry", name + '\x1e' + entry);
  }
}

ShotServer::~ShotServer() {
  window.CloseWithoutQuestion();
  clients_.clear();
  QElapsedTimer elapsed;
  elapsed.start();
  while (elapsed.elapsed() < 200) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool ShotServer::Online() const { return server.IsOnline(); }

std::string ShotServer::LanguageFilePath() const { return Paths().languageDirectory + ServerSettings.Info.Language; }

bool ShotServer::LogIn(const std::string& nickname, const std::string& room) {
  const std::uint16_t port = port_;
  auto [user, ok] = Served(std::async(std::launch::async, [port, nickname, room] {
    client::ChatClient user;
    bool ok = user.Connect("127.0.0.1", port, kClientWait) && user.ReceiveWelcome(kClientWait);
    const auto reply = ok ? user.Login(nickname, "", 255, "velmorin-chat 3.0", kClientWait) : std::nullopt;
    ok = reply && reply->Accepted();
    ok = ok && user.Send("joinChatroom", room + std::string(kFieldSeparatorText)) &&
         user.ReceiveCommand("acceptChatroom", kClientWait).has_value();
    return std::make_pair(std::move(user), ok);
  }));
  clients_.push_back(std::move(user));
  return ok;
}

}  // namespace velmorin::screenshots
