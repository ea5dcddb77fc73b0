#pragma once
// Opens the administrator's list windows from the main window's menu: one window of each kind,
// shown without blocking the main window (a second call brings the open one to the front), in
// the window's current language.

#include <QWidget>

namespace velmorin {

class AdminService;

void ShowUserInfos(AdminService& admin, QWidget& owner);
void ShowChatroomInfos(AdminService& admin, QWidget& owner);
void ShowIPs(AdminService& admin, QWidget& owner);

}  // namespace velmorin
