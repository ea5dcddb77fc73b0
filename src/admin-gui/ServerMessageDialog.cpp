#include "admin-gui/ServerMessageDialog.hpp"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "admin-gui/FormFields.hpp"
#include "admin-gui/GuiText.hpp"
#include "admin/AdminService.hpp"
#include "config/TextFilters.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

// The refusals that mean the message has nobody to go to: the editor has done its work.
bool TargetGone(const std::string& notice) {
  return notice == "noticePersonDoesNotExist" || notice == "noticeChatroomDoesNotExist" ||
         notice == "noticeChatroomEmpty" || notice == "nobodyLoggedIn";
}

}  // namespace

ServerMessageDialog::ServerMessageDialog(AdminService& admin, Mode mode, std::string target, QWidget* parent)
    : AdminDialog("frmSendServerMsg", parent), admin_(admin), mode_(mode), target_(std::move(target)) {
  // The receiver is named inside the window as well: a window manager may cut or hide the title.
  targetLabel_ = new QLabel(this);
  targetLabel_->setObjectName("lblTarget");
  targetLabel_->setTextFormat(Qt::PlainText);
  targetLabel_->setWordWrap(true);
  messageEdit_ = new QPlainTextEdit(this);
  messageEdit_->setObjectName("txtMessage");
  targetLabel_->setBuddy(messageEdit_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(targetLabel_);
  layout->addWidget(messageEdit_);
  sendButton_ = AddConfirmRow(*layout, "cmdSend", "&Send", [this] { Send(); });
  resize(420, 220);
}

void ServerMessageDialog::ApplyDataTexts() {
  switch (mode_) {
    case Mode::User:
      setWindowTitle(QtText(ReplaceAll(Text("titleSendMsgToPerson"), "%name", target_)));
      targetLabel_->setText(QtText(ReplaceAll(Text("textSendMsgToPerson"), "%name", target_)));
      break;
    case Mode::Chatroom:
      setWindowTitle(QtText(Text("titleSendMsgToChatroom")) + " - " + QtText(target_));
      targetLabel_->setText(QtText(ReplaceAll(Text("textSendMsgToChatroom"), "%name", target_)));
      break;
    case Mode::AllUsers:
      setWindowTitle(QtText(Text("titleSendMsgToAllPersons")));
      targetLabel_->setText(QtText(Text("textSendMsgToAllPersons")));
      break;
  }
}

AdminResult ServerMessageDialog::Send() {
  if (const auto refused = RefuseUncarried(*this)) {
    ShowRefusal(*refused);
    return *refused;
  }
  // Lines end in CR LF on the wire, as the clients write them.
  const std::string text = TrimBlanks(ReplaceAll(ServerText(messageEdit_->toPlainText()), "\n", "\r\n"));
  if (text.empty()) return AdminResult::Done();  // nothing to send
  UserAdmin& users = admin_.Users();
  AdminResult result;
  std::string action = "say ";
  switch (mode_) {
    case Mode::User:
      result = users.SendToUser(target_, text);
      action += "--user " + target_ + " ";
      break;
    case Mode::Chatroom:
      result = users.SendToRoom(target_, text);
      action += "--room " + target_ + " ";
      break;
    case Mode::AllUsers:
      result = users.SendToAll(text);
      break;
  }
  admin_.Audit().RecordWindow(action + text, result);
  if (!result.ok()) {
    ShowRefusal(result);
    if (!TargetGone(result.notice)) return result;
  }
  accept();
  return result;
}

}  // namespace velmorin
