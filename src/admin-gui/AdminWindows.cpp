#include "admin-gui/AdminWindows.hpp"

#include "admin-gui/AddressListWindow.hpp"
#include "admin-gui/RoomListWindow.hpp"
#include "admin-gui/UserListWindow.hpp"

namespace velmorin {
namespace {

template <typename Window>
void ShowOne(AdminService& admin, QWidget& owner, const char* name) {
  auto* window = owner.findChild<Window*>(name, Qt::FindDirectChildrenOnly);
  if (window == nullptr) {
    window = new Window(admin, &owner);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->SetLanguage(CurrentLanguageFile());
  }
  window->show();
  window->raise();
  window->activateWindow();
}

}  // namespace

void ShowUserInfos(AdminService& admin, QWidget& owner) { ShowOne<UserListWindow>(admin, owner, "frmUserInfos"); }
void ShowChatroomInfos(AdminService& admin, QWidget& owner) {
  ShowOne<RoomListWindow>(admin, owner, "frmChatroomInfos");
}
void ShowIPs(AdminService& admin, QWidget& owner) { ShowOne<AddressListWindow>(admin, owner, "frmShowIPs"); }

}  // namespace velmorin
