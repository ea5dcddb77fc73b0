#include "admin-gui/frmSendServerMsg.hpp"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "admin-gui/FormFields.hpp"
#include "admin-gui/GuiText.hpp"
#include "admin/AdminService.hpp"
#include "platform/Text.hpp"
#include "platform/modFilter.hpp"

namespace velmorin {
namespace {

// The refusals that mean the message has nobody to go to: the editor has done its work.
bool TargetGone(const std::string& notice) {
  return notice == "noticePersonDoesNotExist" || notice == "noticeChatroomDoesNotExist" ||
         notice == "noticeChatroomEmpty" || notice == "nobodyLoggedIn";
}

}  // namespace

frmSendServerMsg::frmSendServerMsg(AdminService& admin, Mode mode, std::string target, QWidget* parent)
    : AdminDialog("frmSendServerMsg", parent), admin_(admin), mode_(mode), target_(std::move(target)) {
  // The receiver is named inside the window as well: a window manager may cut or hide the title.
  lblTarget_ = new QLabel(this);
  lblTarget_->setObjectName("lblTarget");
  lblTarget_->setTextFormat(Qt::PlainText);
  lblTarget_->setWordWrap(true);
  txtMessage_ = new QPlainTextEdit(this);
  txtMessage_->setObjectName("txtMessage");
  lblTarget_->setBuddy(txtMessage_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblTarget_);
  layout->addWidget(txtMessage_);
  cmdSend_ = AddConfirmRow(*layout, "cmdSend", "&Send", [this] { Send(); });
  resize(420, 220);
}

void frmSendServerMsg::ApplyDataTexts() {
  switch (mode_) {
    case Mode::User:
      setWindowTitle(QtText(ReplaceAll(Text("titleSendMsgToPerson"), "%name", target_)));
      lblTarget_->setText(QtText(ReplaceAll(Text("textSendMsgToPerson"), "%name", target_)));
      break;
    case Mode::Chatroom:
      setWindowTitle(QtText(Text("titleSendMsgToChatroom")) + " - " + QtText(target_));
      lblTarget_->setText(QtText(ReplaceAll(Text("textSendMsgToChatroom"), "%name", target_)));
      break;
    case Mode::AllUsers:
      setWindowTitle(QtText(Text("titleSendMsgToAllPersons")));
      lblTarget_->setText(QtText(Text("textSendMsgToAllPersons")));
      break;
  }
}

AdminResult frmSendServerMsg::Send() {
  if (const auto refused = RefuseUncarried(*this)) {
    ShowRefusal(*refused);
    return *refused;
  }
  // Lines end in CR LF on the wire, as the clients write them.
  const std::string text = TrimBlanks(ReplaceAll(ServerText(txtMessage_->toPlainText()), "\n", "\r\n"));
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
  if (!result) {
    ShowRefusal(result);
    if (!TargetGone(result.notice)) return result;
  }
  accept();
  return result;
}

}  // namespace velmorin
