#pragma once
// The splash window of desktop start-up: the program's name and version, a line saying which
// start-up step runs now, and a progress bar painted as a colour gradient (GradientProgressBar).
//
//   SplashWindow splash;
//   splash.SetLanguage(file)      [frmLoading] to the controls, the step texts from [frmLoading.Data]
//   splash.setProgress(n)         the `progress` property, 0..100: redraws at once
//   splash.ShowStep(step)         the step's progress and text
//
// Redrawing lets pending window-system and posted events run, user input excepted. Desktop
// start-up connects the server's loop to Qt's only after the splash has closed (RunDesktop), so
// these redraws never serve a client, velmorin-ctl or a signal before the server has loaded.
//
// StartupSplash is what desktop start-up holds: with ShowSplashScreen off it creates no window
// and every call does nothing; otherwise it shows SplashWindow at once, moves it through the steps
// (never backwards) and closes it in Close() or when it goes out of scope, also on an early end.

#include <QLabel>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "admin-gui/GradientProgressBar.hpp"
#include "i18n/LanguageFile.hpp"

namespace velmorin {

// The steps of desktop start-up in their order, each reported as it begins.
enum class StartupStep {
  Window,       // building the main window
  Server,       // the server core, its administration and the control socket
  WindowState,  // language, toolbar and saved state applied to the window, which then shows
  Online,       // plugins, log file, chatrooms, welcome message, bans, discovery, going online
  Ready,        // everything done; the splash closes
};

// The progress of a step, in percent; Ready is 100.
int StartupProgress(StartupStep step);
// The key of a step's text in [frmLoading.Data].
const char* StartupStepKey(StartupStep step);

class SplashWindow : public QWidget {
  Q_OBJECT
  Q_PROPERTY(int progress READ progress WRITE setProgress NOTIFY progressChanged)

 public:
  explicit SplashWindow(QWidget* parent = nullptr);

  // Applies the [frmLoading] section of a language file; the keys it could not apply.
  std::vector<std::string> SetLanguage(const std::string& languageFile);

  int progress() const { return bar_->value(); }
  void setProgress(int percent);
  void ShowStep(StartupStep step);
  QString StepText() const { return step_->text(); }
  // Shows the window and lets it draw (bounded; see above for what runs meanwhile).
  void ShowAndDraw();

 signals:
  void progressChanged(int percent);

 private:
  void Redraw();

  GradientProgressBar* bar_;
  QLabel* step_;
  LanguageFile texts_;
};

class StartupSplash {
 public:
  StartupSplash(bool shown, const std::string& languageFile);
  ~StartupSplash();
  StartupSplash(const StartupSplash&) = delete;
  StartupSplash& operator=(const StartupSplash&) = delete;

  void Reach(StartupStep step);
  // Puts the splash above the main window that has just shown.
  void Raise();
  void Close();
  // The splash while it is open; nullptr when not shown or closed.
  SplashWindow* Window() const { return window_.get(); }

 private:
  std::unique_ptr<SplashWindow> window_;
};

}  // namespace velmorin
