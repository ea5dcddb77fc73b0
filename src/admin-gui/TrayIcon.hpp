#pragma once
// The notification-area icon: the server status as an image and a tooltip, a click to minimise
// or restore the main window, a menu of the window's main actions, flashing, and balloons.
//
//   TrayIcon tray(window, actionOf);   actionOf(name): the window's action of that object name
//   tray.SetStatus(icon, tip);        0 ready, 1 full, 2 stopped, 3 used; the status text
//   tray.Flash(true, 3);              alternates the image with a blank one, three times
//   tray.ShowBalloonTooltip(title, text, kind)   kind 0 none, 1 info, 2 warning, 3 error
//
// The state (image, tooltip, flash phase, last balloon) is kept here whether or not the desktop
// has a notification area; the system icon is only its display. Without a notification area a
// balloon's text goes to the window's status line instead, so a plugin's message is not lost.

#include <QMainWindow>
#include <QMenu>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>
#include <string>

namespace velmorin {

class TrayIcon : public QObject {
  Q_OBJECT

 public:
  // Balloons are bounded as the notification area shows them.
  static constexpr int kMaxBalloonTitle = 63;
  static constexpr int kMaxBalloonText = 255;
  static constexpr int kFlashIntervalMs = 500;

  TrayIcon(QMainWindow& window, const std::function<QAction*(const std::string& name)>& actionOf);
  ~TrayIcon() override;

  // The `icon` and `ToolTipText` properties.
  void SetStatus(long icon, const QString& toolTip);
  long Icon() const { return icon_; }
  QString ToolTipText() const { return toolTip_; }
  void SetVisible(bool visible);
  bool Visible() const { return visible_; }
  // Whether the desktop shows the icon (it has a notification area).
  bool Shown() const { return system_ != nullptr && system_->isVisible(); }

  // With on, alternates the image with a blank one; a positive count stops after count x 2
  // ticks. Flash(false) stops at once and shows the status image again.
  void Flash(bool on, long count);
  bool Flashing() const { return flashTimer_.isActive(); }
  // Whether the blank image is shown now (a flash phase).
  bool Blank() const { return blank_; }
  // One flash tick (the timer's).
  void FlashTick();

  void ShowBalloonTooltip(const QString& title, const QString& text, long kind);
  QString LastBalloonTitle() const { return balloonTitle_; }
  QString LastBalloonText() const { return balloonText_; }

  // Left click: minimises the window unless it is minimised, else restores it.
  void LeftClick();
  QMenu& Menu() { return *menu_; }
  // Applies the [ctlTray] section of a language file to the tray menu's own entries.
  std::vector<std::string> SetLanguage(const std::string& languageFile);

 private:
  void ShowImage();
  void Restore();

  QMainWindow& window_;
  QMenu* menu_;
  QSystemTrayIcon* system_ = nullptr;  // none without a notification area
  QTimer flashTimer_;
  long icon_ = 2;
  bool imageShown_ = false;
  QString toolTip_;
  bool visible_ = true;
  bool blank_ = false;
  long flashTicksLeft_ = 0;  // negative: no end
  QString balloonTitle_;
  QString balloonText_;
};

}  // namespace velmorin
