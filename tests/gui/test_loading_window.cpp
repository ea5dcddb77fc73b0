// The splash of desktop start-up: its gradient bar, and the real start-up moving it step by step
// until the window is up and the server online, without serving anything before that.

#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QListWidget>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <future>
#include <string>
#include <vector>

#include "admin-gui/GradientProgressBar.hpp"
#include "admin-gui/LanguageAtStart.hpp"
#include "admin-gui/LanguageDialog.hpp"
#include "admin-gui/MainWindow.hpp"
#include "admin-gui/SplashWindow.hpp"
#include "admin-gui/WindowMode.hpp"
#include "app/StartupSteps.hpp"
#include "config/Settings.hpp"
#include "i18n/LanguageFile.hpp"
#include "server/ChatServer.hpp"
#include "support/ServerHarness.hpp"

namespace velmorin {
namespace {

bool Near(QColor actual, QColor expected) {
  return std::abs(actual.red() - expected.red()) <= 8 && std::abs(actual.green() - expected.green()) <= 8 &&
         std::abs(actual.blue() - expected.blue()) <= 8;
}

TEST(LoadingWindow, TheBarPaintsTheDonePartFromBlueToWhite) {
  GradientProgressBar bar;
  bar.resize(202, 20);  // 200 pixels inside the frame
  const QColor background = bar.palette().window().color();
  struct Case {
    int set, value;
    int x;           // a pixel column inside the frame
    QColor colour;
  };
  const Case cases[] = {
      {50, 50, 1, GradientProgressBar::kStartColour},
      {50, 50, 99, Qt::white},     // the gradient ends at the done part's edge
      {50, 50, 150, background},   // the rest is not painted
      {0, 0, 1, background},
      {-5, 0, 1, background},      // held at the ends
      {250, 100, 199, Qt::white},
      {100, 100, 1, GradientProgressBar::kStartColour},
  };
  for (const Case& c : cases) {
    bar.setValue(c.set);
    EXPECT_EQ(bar.value(), c.value) << c.set;
    const QImage image = bar.grab().toImage();
    EXPECT_TRUE(Near(image.pixelColor(c.x, 10), c.colour))
        << "set " << c.set << " x " << c.x << ": " << image.pixelColor(c.x, 10).name().toStdString() << " instead of "
        << c.colour.name().toStdString();
  }
}

// The desktop start-up of a real server in a temporary program directory, as the program runs
// it once its QApplication exists; what the splash showed at each step is recorded.
class DesktopStartup : public ::testing::Test {
 protected:
  struct Seen {
    int progress;
    std::string text;
    bool windowShown;
  };

  void SetUp() override {
    testing::CopyLanguageFiles(dir.path("language"));
    ServerSettings.General.ActivePort = 0;
  }

  void Configure(const std::string& showSplash, const std::string& configuredLanguage = "Deutsch.lng") {
    CreateProgramDirectories();  // run/ for the control socket
    testing::SettingsText settings{{
        {"Info", {{"Language", configuredLanguage}}},
        {"Start", {{"ShowSplashScreen", showSplash}}},
        {"General", {{"PingDelay", "600000"}}},
        {"Logging", {{"Enabled", "0"}}},
    }};
    dir.write("config/server.cfg", settings.Text());
    ASSERT_EQ(LoadSettings(), 0);
    ServerSettings.General.ActivePort = port;
    CurrentLanguage().SetLanguage("modMain", language);
  }

  static bool MainWindowShown() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (qobject_cast<MainWindow*>(widget) != nullptr && widget->isVisible()) return true;
    }
    return false;
  }

  static int LoadingWindows() {
    int count = 0;
    for (QWidget* widget : QApplication::allWidgets()) count += qobject_cast<SplashWindow*>(widget) != nullptr;
    return count;
  }

  // Runs the start-up; `atWindow` sees the open window and the server.
  void Start(StartupSplash& splash, const std::function<void(MainWindow&, ChatServer&)>& atWindow,
             bool askLanguage = false) {
    sigset_t none;
    sigemptyset(&none);
    const int signalFd = ::signalfd(-1, &none, SFD_NONBLOCK | SFD_CLOEXEC);
    ASSERT_GE(signalFd, 0);
    EXPECT_EQ(RunDesktop(signalFd, splash, atWindow, askLanguage), 0);
  }

  // Whether a client gets the welcome while Qt's loop (and whatever nested loop runs) serves.
  bool Welcomed() {
    auto welcome = std::async(std::launch::async, [this] {
      client::ChatClient client;
      return client.Connect("127.0.0.1", port, testing::kWait) && client.ReceiveWelcome(testing::kWait).has_value();
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return welcome.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                                static_cast<int>(testing::kWait.count()) * 2));
    return welcome.get();
  }

  testing::TempProgramDir dir;
  std::string language = dir.path("language/Deutsch.lng");
  std::uint16_t port = testing::FreeLoopbackPort();
};

TEST_F(DesktopStartup, TheSplashFollowsEveryStepAndClosesWhenTheWindowIsUp) {
  Configure("1");
  StartupSplash splash(ServerSettings.Start.ShowSplashScreen, language);
  ASSERT_NE(splash.Window(), nullptr);
  EXPECT_TRUE(splash.Window()->isVisible());
  EXPECT_EQ(splash.Window()->progress(), 0);
  EXPECT_EQ(splash.Window()->findChild<QLabel*>("lblLoading")->text(), "Der Server wird gestartet, bitte warten...");
  std::vector<Seen> seen;
  QObject::connect(splash.Window(), &SplashWindow::progressChanged, [&](int percent) {
    seen.push_back({percent, splash.Window()->StepText().toStdString(), MainWindowShown()});
  });
  bool reached = false;
  Start(splash, [&](MainWindow& window, ChatServer& server) {
    reached = true;
    EXPECT_EQ(splash.Window(), nullptr);
    EXPECT_EQ(LoadingWindows(), 0);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(server.IsOnline());
  });
  EXPECT_TRUE(reached);
  const std::vector<std::pair<int, bool>> expected{{20, false}, {40, false}, {60, false}, {80, true}, {100, true}};
  ASSERT_EQ(seen.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(seen[i].progress, expected[i].first) << i;
    EXPECT_EQ(seen[i].windowShown, expected[i].second) << seen[i].progress;
    EXPECT_FALSE(seen[i].text.empty()) << seen[i].progress;
  }
  EXPECT_EQ(seen[3].text, "Plugins, Chaträume und Sperren werden geladen; der Server geht online...");
}

// The splash lets window events run while it redraws; a SIGTERM-like signal that arrives during
// the start-up must still wait for the server to be up, not close the half-built window.
TEST_F(DesktopStartup, ASignalDuringTheStartUpIsServedOnceTheServerIsUp) {
  Configure("1");
  sigset_t usr2;
  sigemptyset(&usr2);
  sigaddset(&usr2, SIGUSR2);
  sigset_t old;
  ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &usr2, &old), 0);
  const int signalFd = ::signalfd(-1, &usr2, SFD_NONBLOCK | SFD_CLOEXEC);
  ASSERT_GE(signalFd, 0);
  StartupSplash splash(true, language);
  ASSERT_NE(splash.Window(), nullptr);
  QObject::connect(splash.Window(), &SplashWindow::progressChanged, [](int percent) {
    if (percent == StartupProgress(StartupStep::WindowState)) ::raise(SIGUSR2);  // the control socket is open
  });
  bool reached = false;
  EXPECT_EQ(RunDesktop(signalFd, splash,
                       [&](MainWindow& window, ChatServer& server) {
                         reached = true;
                         EXPECT_FALSE(window.Unloaded());
                         EXPECT_TRUE(server.IsOnline());
                         // Served now: it closes the window without the question.
                         EXPECT_TRUE(QTest::qWaitFor([&] { return window.Unloaded(); },
                                                     static_cast<int>(testing::kWait.count())));
                       }),
            0);
  EXPECT_TRUE(reached);
  const timespec none{};
  while (::sigtimedwait(&usr2, nullptr, &none) > 0) {
  }
  ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

TEST_F(DesktopStartup, WithoutTheSettingNoSplashIsEverMade) {
  Configure("0");
  StartupSplash splash(ServerSettings.Start.ShowSplashScreen, language);
  EXPECT_EQ(splash.Window(), nullptr);
  bool reached = false;
  Start(splash, [&](MainWindow& window, ChatServer& server) {
    reached = true;
    EXPECT_EQ(LoadingWindows(), 0);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(server.IsOnline());
  });
  EXPECT_TRUE(reached);
}

// The first start's language question opens over the window with the server online, and the
// server goes on serving while it is open. A language other than the automatic one is stored and
// shown at once (window, title, log, the process's texts); Cancel keeps the automatic one.
TEST_F(DesktopStartup, TheLanguageQuestionComesWhileTheServerServesAndItsAnswerAppliesAtOnce) {
  const LanguageFile processLanguage = CurrentLanguage();
  for (const bool choose : {true, false}) {
    SCOPED_TRACE(choose ? "Deutsch chosen" : "cancelled");
    Configure("0", "");
    ASSERT_TRUE(LanguageQuestionDue());
    ASSERT_TRUE(ChooseLanguageWithoutAsking(1033));  // the system's locale: English
    ASSERT_EQ(ServerSettings.Info.Language, "English.lng");
    CurrentLanguage() = LanguageFile();
    CurrentLanguage().SetLanguage("modMain", dir.path("language/English.lng"));
    StartupSplash splash(false, "");
    bool asked = false;
    bool served = false;
    Start(
        splash,
        [&](MainWindow& window, ChatServer& server) {
          QTimer poll;
          QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* chooser = qobject_cast<LanguageDialog*>(QApplication::activeModalWidget());
            if (chooser == nullptr) return;
            poll.stop();
            asked = true;
            EXPECT_EQ(chooser->Chosen(), "English.lng");
            EXPECT_TRUE(server.IsOnline());
            served = Welcomed();
            if (!choose) return chooser->reject();
            chooser->findChild<QListWidget*>("lstLanguages")->setCurrentRow(0);  // Deutsch.lng
            chooser->accept();
          });
          poll.start(10);
          // The answer is applied before the chooser's loop gives control back.
          ASSERT_TRUE(QTest::qWaitFor([&] { return asked; }, static_cast<int>(testing::kWait.count()) * 2));
          const std::string port = std::to_string(this->port);
          EXPECT_EQ(window.windowTitle().toStdString(),
                    choose ? "Velmorin Server - online auf Port " + port : "Velmorin Server - online on port " + port);
          EXPECT_EQ(window.Action("mnuExit")->text().toStdString(), choose ? "&Beenden" : "E&xit");
          const std::string log = window.LogText(false);
          EXPECT_EQ(log.find("Die Sprache ist jetzt") != std::string::npos, choose) << log;
        },
        true);
    EXPECT_TRUE(asked);
    EXPECT_TRUE(served);
    const std::string kept = choose ? "Deutsch.lng" : "English.lng";
    EXPECT_EQ(ServerSettings.Info.Language, kept);
    EXPECT_NE(dir.read("config/server.cfg").find("Language=" + kept), std::string::npos);
    EXPECT_EQ(CurrentLanguage().CurrentFile(), dir.path("language/" + kept));
  }
  CurrentLanguage() = processLanguage;
}

TEST(LoadingWindow, StepsNeverGoBackAndAnEarlyEndClosesIt) {
  {
    StartupSplash splash(true, "");
    ASSERT_NE(splash.Window(), nullptr);
    splash.Reach(StartupStep::Online);
    splash.Reach(StartupStep::Server);
    EXPECT_EQ(splash.Window()->progress(), StartupProgress(StartupStep::Online));
    EXPECT_EQ(splash.Window()->StepText(), "Loading plugins and going online...");  // no language file: built in
  }
  for (QWidget* widget : QApplication::allWidgets()) EXPECT_EQ(qobject_cast<SplashWindow*>(widget), nullptr);
}

}  // namespace
}  // namespace velmorin
