#include "admin-gui/AdminWindows.hpp"

#include "admin-gui/frmChatroomInfos.hpp"
#include "admin-gui/frmShowIPs.hpp"
#include "admin-gui/frmUserInfos.hpp"

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

void ShowUserInfos(AdminService& admin, QWidget& owner) { ShowOne<frmUserInfos>(admin, owner, "frmUserInfos"); }
void ShowChatroomInfos(AdminService& admin, QWidget& owner) {
  ShowOne<frmChatroomInfos>(admin, owner, "frmChatroomInfos");
}
void ShowIPs(AdminService& admin, QWidget& owner) { ShowOne<frmShowIPs>(admin, owner, "frmShowIPs"); }

}  // namespace velmorin
