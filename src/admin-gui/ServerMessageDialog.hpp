#pragma once
// The server-message editor: a text sent as a server message to one user, to the members of one
// chatroom, or to every logged-in user, through the administration's user part.
//
// Send trims the text; an empty text sends nothing and the editor stays open. A refusal that
// says the target is gone ("noticePersonDoesNotExist", "noticeChatroomDoesNotExist",
// "noticeChatroomEmpty") is shown and the editor closes, as it does after sending; any other
// refusal (a text too long) is shown and the editor stays open with the text.

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <string>

#include "admin-gui/AdminDialog.hpp"

namespace velmorin {

class AdminService;

class ServerMessageDialog : public AdminDialog {
  Q_OBJECT

 public:
  enum class Mode { User, Chatroom, AllUsers };

  // `target` is the user's nickname or the room's name; unused for AllUsers.
  ServerMessageDialog(AdminService& admin, Mode mode, std::string target, QWidget* parent = nullptr);

  QPlainTextEdit& Editor() { return *messageEdit_; }
  // What the send button does; the result of the administration (done when nothing was sent).
  AdminResult Send();

 protected:
  void ApplyDataTexts() override;

 private:
  AdminService& admin_;
  Mode mode_;
  std::string target_;
  QLabel* targetLabel_;
  QPlainTextEdit* messageEdit_;
  QPushButton* sendButton_;
};

}  // namespace velmorin
