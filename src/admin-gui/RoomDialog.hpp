#pragma once
// The chatroom editor: name, description and password of a room, for the settings dialog's
// room list (add, edit) and for a live room of the chatroom information window.
//
// OK refuses a field holding characters Windows-1252 cannot carry ("invalidValue"), then
// cleans the fields as the store does and shows them cleaned; an empty name is refused with
// "noticeMissingName". The entry then goes to `accept`, the owner's part: the settings dialog
// checks its list ("noticeExist"), the chatroom information window asks the administration to
// change the live room. A refusal is shown and the dialog stays open; on done it closes.
// In the edit modes the name cannot be changed; the password changes only when it was typed.
// The password shows as dots.

#include <QLineEdit>
#include <QPushButton>
#include <functional>
#include <string>

#include "admin-gui/AdminDialog.hpp"
#include "admin-gui/RoomFields.hpp"

namespace velmorin {

struct RoomEntry {
  std::string name;
  std::string description;
  std::string password;
  bool passwordTyped = false;
};

class RoomDialog : public AdminDialog {
  Q_OBJECT

 public:
  enum class Mode { AddSettings, EditSettings, EditLive };
  using Accept = std::function<AdminResult(const RoomEntry&)>;

  RoomDialog(Mode mode, Accept accept, QWidget* parent = nullptr);

  // Fills the fields (the room being edited); the password field starts empty unless given.
  void SetEntry(const RoomEntry& entry);
  RoomFields& Fields() { return fields_; }
  AdminResult Confirm();

 private:
  Mode mode_;
  Accept accept_;
  RoomFields fields_{};
  QPushButton* okButton_;
  bool passwordTyped_ = false;
};

}  // namespace velmorin
