// The main window's tray icon, plugin menu, plugin shortcuts and information-window refresh.

#include <QMenuBar>

#include "admin-gui/GuiText.hpp"
#include "admin-gui/MainWindow.hpp"
#include "admin-gui/PluginMenuView.hpp"
#include "admin-gui/ServerInfoWindow.hpp"
#include "admin-gui/TrayIcon.hpp"
#include "admin/AdminService.hpp"

namespace velmorin {
namespace {

QMenu& PluginsMenu(MainWindow& window) { return *window.menuBar()->findChild<QMenu*>("mnuPlugins"); }

}  // namespace

void MainWindow::AttachTray() {
  tray_ = new TrayIcon(*this, [this](const std::string& name) { return Action(name); });
  // Keys released in the window or its log view are offered to plugins.
  auto* shortcuts = new PluginShortcuts(*this, [this](long shiftState, long keyCode) {
    if (admin_ != nullptr) admin_->Plugins().ShortcutPressed(shiftState, keyCode);
  });
  installEventFilter(shortcuts);
  LogView().installEventFilter(shortcuts);
}

void MainWindow::ShowTrayBalloon(long icon, const std::string& title, const std::string& text) {
  tray_->ShowBalloonTooltip(QtText(title), QtText(text), icon);
}

void MainWindow::RebuildPluginMenu() {
  if (admin_ == nullptr) return;
  BuildPluginMenu(PluginsMenu(*this), admin_->Plugins().Menu(), [this](const std::string& owner, const std::string& name) {
    if (admin_ != nullptr) admin_->Plugins().MenuClick(owner, name);
  });
}

void MainWindow::UpdatePluginMenuItem(const std::string& plugin, const std::string& entry) {
  if (admin_ != nullptr) velmorin::UpdatePluginMenuItem(PluginsMenu(*this), admin_->Plugins().Menu(), plugin, entry);
}

void MainWindow::RefreshServerInfos() { RefreshServerInfosWindow(*this); }

}  // namespace velmorin
