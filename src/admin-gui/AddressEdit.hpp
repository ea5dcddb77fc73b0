#pragma once
// The address entry control of the ban dialogs: four fields of an IPv4 address.
//
// Digits are typed into a field; "." moves on to the next field; "*" fills the field and moves on
// only when the control allows wildcards (SetWildcards); a value above 255 becomes 255; a field
// that holds three digits moves on by itself. Address() is the dotted text, and empty while any
// field is empty, so a dialog can tell an incomplete entry from a complete one. Pasted or set
// text passes the same rules.

#include <QLineEdit>
#include <QWidget>
#include <array>
#include <string>

namespace velmorin {

class AddressEdit : public QWidget {
  Q_OBJECT

 public:
  explicit AddressEdit(QWidget* parent = nullptr);

  void SetWildcards(bool allowed);
  bool Wildcards() const { return wildcards_; }
  // Four dotted parts; anything else empties the control. Parts are cleaned as typed ones are.
  void SetAddress(const std::string& address);
  std::string Address() const;
  void Clear();

  // The field typing goes to (the one with the focus, or the one moved to last).
  QLineEdit* CurrentField() const { return fields_[static_cast<std::size_t>(current_)]; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void MoveTo(int index);
  // Keeps what the field may hold: "*" (with wildcards) or up to three digits, at most 255.
  void Tidy(int index);

  std::array<QLineEdit*, 4> fields_{};
  int current_ = 0;
  bool wildcards_ = false;
};

}  // namespace velmorin
