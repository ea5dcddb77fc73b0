#include "admin-gui/TrayIcon.hpp"

#include <QPixmap>
#include <QStatusBar>

#include "admin-gui/Icons.hpp"
#include "admin-gui/WindowLanguage.hpp"

namespace velmorin {
namespace {

// The longest flash a caller can ask for: an hour of ticks.
constexpr long kMaxFlashTicks = 2L * 3600 * 1000 / TrayIcon::kFlashIntervalMs;

QIcon BlankIcon() {
  QPixmap blank(32, 32);
  blank.fill(Qt::transparent);
  return QIcon(blank);
}

QSystemTrayIcon::MessageIcon BalloonIcon(long kind) {
  switch (kind) {
    case 1: return QSystemTrayIcon::Information;
    case 2: return QSystemTrayIcon::Warning;
    case 3: return QSystemTrayIcon::Critical;
    default: return QSystemTrayIcon::NoIcon;
  }
}

}  // namespace

TrayIcon::TrayIcon(QMainWindow& window, const std::function<QAction*(const std::string& name)>& actionOf)
    : QObject(&window), window_(window), menu_(new QMenu(&window)) {
  setObjectName("ctlTray");
  menu_->setObjectName("ctlTray");
  QAction* restore = menu_->addAction("&Restore");
  restore->setObjectName("mnuTrayRestore");
  connect(restore, &QAction::triggered, this, [this] { Restore(); });
  QAction* minimise = menu_->addAction("&Minimise");
  minimise->setObjectName("mnuTrayMinimize");
  connect(minimise, &QAction::triggered, this, [this] { window_.showMinimized(); });
  menu_->addSeparator();
  for (const char* name : {"mnuOnline", "", "mnuUserInfos", "mnuChatroomInfos", "mnuShowIPs", "mnuServerInfos",
                           "mnuSettings", "", "mnuExit"}) {
    if (*name == '\0') {
      menu_->addSeparator();
    } else if (QAction* action = actionOf(name)) {
      menu_->addAction(action);
    }
  }
  flashTimer_.setInterval(kFlashIntervalMs);
  connect(&flashTimer_, &QTimer::timeout, this, [this] { FlashTick(); });

  if (QSystemTrayIcon::isSystemTrayAvailable()) {
    system_ = new QSystemTrayIcon(this);
    system_->setContextMenu(menu_);
    connect(system_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
      if (reason == QSystemTrayIcon::Trigger) LeftClick();
      if (reason == QSystemTrayIcon::Context) window_.activateWindow();  // the menu opens itself
    });
  }
  ShowImage();
  if (system_ != nullptr) system_->show();
}

TrayIcon::~TrayIcon() {
  if (system_ != nullptr) system_->hide();
}

void TrayIcon::SetStatus(long icon, const QString& toolTip) {
  // Shown again at every login and logout: only what changed goes to the system tray.
  const long shown = icon >= 0 && icon <= 3 ? icon : 2;
  if (toolTip != toolTip_) {
    toolTip_ = toolTip;
    if (system_ != nullptr) system_->setToolTip(toolTip);
  }
  if (shown != icon_ || !imageShown_) {
    icon_ = shown;
    imageShown_ = true;
    ShowImage();
  }
}

void TrayIcon::SetVisible(bool visible) {
  visible_ = visible;
  if (system_ != nullptr) system_->setVisible(visible);
}

void TrayIcon::ShowImage() {
  if (system_ != nullptr) system_->setIcon(blank_ ? BlankIcon() : StatusIcon(icon_));
}

void TrayIcon::Flash(bool on, long count) {
  blank_ = false;
  if (!on) {
    flashTimer_.stop();
    ShowImage();
    return;
  }
  flashTicksLeft_ = count > 0 ? std::min(count, kMaxFlashTicks / 2) * 2 : -1;
  flashTimer_.start();
}

void TrayIcon::FlashTick() {
  if (flashTicksLeft_ == 0) {
    Flash(false, 0);
    return;
  }
  if (flashTicksLeft_ > 0) --flashTicksLeft_;
  blank_ = !blank_;
  ShowImage();
  if (flashTicksLeft_ == 0) {
    flashTimer_.stop();
    blank_ = false;
    ShowImage();
  }
}

void TrayIcon::ShowBalloonTooltip(const QString& title, const QString& text, long kind) {
  balloonTitle_ = title.left(kMaxBalloonTitle);
  balloonText_ = text.left(kMaxBalloonText);
  if (Shown() && QSystemTrayIcon::supportsMessages()) {
    system_->showMessage(balloonTitle_, balloonText_, BalloonIcon(kind));
    return;
  }
  const QString line = balloonTitle_.isEmpty() ? balloonText_ : balloonTitle_ + ": " + balloonText_;
  window_.statusBar()->showMessage(QString(line).replace('\n', ' '), 10000);
}

void TrayIcon::LeftClick() {
  if (window_.isMinimized()) {
    Restore();
  } else {
    window_.showMinimized();
  }
}

void TrayIcon::Restore() {
  window_.showNormal();
  window_.raise();
  window_.activateWindow();
}

std::vector<std::string> TrayIcon::SetLanguage(const std::string& languageFile) {
  return ApplyWindowLanguage(*menu_, "ctlTray", languageFile);
}

}  // namespace velmorin
