#pragma once
// The main window: the administrator's console in desktop mode. It is the server's front end
// (AdminFrontEnd) as headless mode's output is: log lines, status, title and questions come in
// through that interface; every action goes out through the administration service.
//
//   MainWindow window;                  the controls, menus and actions, named as the language
//                                      file's [frmServer] section addresses them
//   ChatServer server(window); AdminService admin(server);
//   window.Attach(admin, unload);      unload: what closing runs after the window's own part
//                                      (the server's shutdown)
//   window.LoadWindow(languageFile);   texts, toolbar, window state restored, shown
//   server.Load();
//
// Closing (the close box, Exit): when the server is online with users logged in, the window is
// shown and asks "questionStopServer"; No keeps everything running. Then the window state is
// stored in the settings and `unload` runs, once. CloseWithoutQuestion (a signal, the session
// ending) skips the question and closes the dialogs that are open first.
//
// Window-state settings (Start group, AlwaysOnTop, ScrollLog, ToolbarHeight, ToolbarOrder and
// the log font) are the window's own: it reads and writes them in ServerSettings, and the
// server's shutdown save stores them. Rectangles are in twips, as the settings file holds them.

#include <QLabel>
#include <QMainWindow>
#include <QToolBar>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "admin-gui/LogViewWidget.hpp"
#include "admin-gui/Throttle.hpp"
#include "i18n/LanguageFile.hpp"
#include "server/AdminFrontEnd.hpp"

namespace velmorin {

class AdminService;
class TrayIcon;

class MainWindow : public QMainWindow, public AdminFrontEnd {
  Q_OBJECT

 public:
  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  void Attach(AdminService& admin, std::function<void()> unload);
  // Form_Load's part of the window: language, toolbar, window state, shown. Returns the keys of
  // the language file the window could not apply.
  std::vector<std::string> LoadWindow(const std::string& languageFile);
  // Applies the [frmServer] section of the file to the controls and loads its data texts.
  std::vector<std::string> SetLanguage(const std::string& languageFile);
  void CloseWithoutQuestion();

  // Rebuilds the toolbar from ToolbarOrder.
  void RebuildToolbar();
  // A menu action by its object name ("mnuOnline"), or the action of a toolbar key ("online").
  QAction* Action(const std::string& name) const;
  LogViewWidget& LogView() { return *log_; }
  QToolBar& Toolbar() { return *toolbar_; }
  QString StatusText() const { return status_->text(); }
  bool Unloaded() const { return unloaded_; }

  // AdminFrontEnd
  void AppendLogLine(const std::string& line, long color) override;
  void ClearLogView() override;
  void ShowStatus(long icon, const std::string& statusLine, const std::string& trayTip) override;
  void SetTitle(const std::string& title) override;
  void SetOnlineState(bool online) override;
  bool AskYesNo(const std::string& question, const std::string& title, bool answerWhenUnattended) override;
  void ShowWindow() override;
  std::string LogText(bool rich) const override;
  // The tray, the plugin menu and the information windows (MainWindowTray.cpp).
  void ShowTrayBalloon(long icon, const std::string& title, const std::string& text) override;
  void RebuildPluginMenu() override;
  void UpdatePluginMenuItem(const std::string& plugin, const std::string& entry) override;
  void RefreshServerInfos() override;
  TrayIcon& Tray() { return *tray_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  QAction* AddAction(QMenu& menu, const char* name, const QString& text, std::function<void(bool)> run,
                     bool checkable = false);
  std::string Text(const std::string& key) const;
  void Notice(const std::string& key);

  // Form_QueryUnload and Form_Unload.
  bool QueryUnload();
  void Unload();
  void RestoreWindowState();
  void StoreWindowState();
  void ApplyMinimumSize();
  double TwipsPerPixel() const;

  // The actions.
  void ToggleOnline();
  void ReloadConfiguration();
  void ClearLog();
  void ToggleScrolling(bool on);
  void CopyLog(bool selectionOnly);
  void SaveLog();
  void PrintLog();
  void ChooseFont();
  void ToggleToolbar(bool shown);
  void StandardToolbar();
  void StandardView();
  // Without a saved state: wide enough for a typical log line in the log's font, within the screen.
  void OpenWideEnoughForLogLines();
  void SetAlwaysOnTop(bool on);

  AdminService* admin_ = nullptr;
  std::function<void()> unload_;
  LanguageFile texts_;
  LogViewWidget* log_;
  static constexpr int kMaxDialogsClosedForStop = 16;
  int dialogsClosedForStop_ = 0;
  long windowIcon_ = -1;  // the status whose icon the window shows
  QString shownStatus_;   // the newest status line, shown at the next status update
  Throttle statusUpdates_{kDisplayUpdateInterval, [this] {
    if (status_->text() != shownStatus_) status_->setText(shownStatus_);
  }};
  QToolBar* toolbar_;
  QLabel* status_;
  std::map<std::string, QAction*> actions_;  // by object name
  bool askOnClose_ = true;
  bool unloaded_ = false;
  TrayIcon* tray_ = nullptr;
  void AttachTray();  // MainWindowTray.cpp
};

}  // namespace velmorin
