#include "admin-gui/AddressEdit.hpp"

#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>

namespace velmorin {

AddressEdit::AddressEdit(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  for (int i = 0; i < 4; ++i) {
    auto* field = new QLineEdit(this);
    field->setObjectName(QString("txtPart_%1").arg(i));
    field->setMaxLength(3);
    field->setAlignment(Qt::AlignCenter);
    field->setMaximumWidth(field->fontMetrics().horizontalAdvance("0000") + 12);
    field->installEventFilter(this);
    connect(field, &QLineEdit::textEdited, this, [this, i] {
      Tidy(i);
      const QString text = fields_[static_cast<std::size_t>(i)]->text();
      if (text.size() == 3 && i < 3) MoveTo(i + 1);
    });
    fields_[static_cast<std::size_t>(i)] = field;
    layout->addWidget(field);
    if (i < 3) layout->addWidget(new QLabel(".", this));
  }
  layout->addStretch(1);
  setFocusProxy(fields_[0]);
}

void AddressEdit::SetWildcards(bool allowed) {
  wildcards_ = allowed;
  for (int i = 0; i < 4; ++i) Tidy(i);
}

void AddressEdit::MoveTo(int index) {
  current_ = index;
  QLineEdit* field = fields_[static_cast<std::size_t>(index)];
  field->setFocus();
  field->selectAll();
}

void AddressEdit::Tidy(int index) {
  QLineEdit* field = fields_[static_cast<std::size_t>(index)];
  const QString text = field->text();
  QString kept;
  if (text.contains('*')) {
    kept = wildcards_ ? QStringLiteral("*") : QString();
  } else {
    for (const QChar c : text) {
      if (c >= '0' && c <= '9' && kept.size() < 3) kept += c;
    }
    if (!kept.isEmpty() && kept.toInt() > 255) kept = QStringLiteral("255");
  }
  if (kept != text) field->setText(kept);
}

bool AddressEdit::eventFilter(QObject* watched, QEvent* event) {
  int index = -1;
  for (int i = 0; i < 4; ++i) {
    if (watched == fields_[static_cast<std::size_t>(i)]) index = i;
  }
  if (index < 0) return QWidget::eventFilter(watched, event);
  if (event->type() == QEvent::FocusIn) current_ = index;
  if (event->type() != QEvent::KeyPress) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  const QString typed = key->text();
  if (typed.isEmpty() || !typed[0].isPrint()) return false;  // editing and moving keys
  QLineEdit* field = fields_[static_cast<std::size_t>(index)];
  const QChar c = typed[0];
  if (c == '.') {
    if (!field->text().isEmpty() && index < 3) MoveTo(index + 1);
    return true;
  }
  if (c == '*') {
    if (wildcards_) {
      field->setText(QStringLiteral("*"));
      if (index < 3) MoveTo(index + 1);
    }
    return true;
  }
  if (c >= '0' && c <= '9') {
    if (field->text() == "*") field->clear();  // a digit replaces the wildcard
    return false;                             // typed by the field; textEdited tidies it
  }
  return true;  // nothing else belongs in an address
}

void AddressEdit::SetAddress(const std::string& address) {
  const QStringList parts = QString::fromStdString(address).trimmed().split('.');
  for (int i = 0; i < 4; ++i) {
    fields_[static_cast<std::size_t>(i)]->setText(parts.size() == 4 ? parts[i].trimmed() : QString());
    Tidy(i);
  }
}

std::string AddressEdit::Address() const {
  std::string address;
  for (int i = 0; i < 4; ++i) {
    const QString text = fields_[static_cast<std::size_t>(i)]->text();
    if (text.isEmpty()) return {};
    if (i > 0) address += '.';
    // "007" is 7: parts are numbers, and the rules compare them as such.
    address += text == "*" ? std::string("*") : std::to_string(text.toInt());
  }
  return address;
}

void AddressEdit::Clear() {
  for (QLineEdit* field : fields_) field->clear();
  current_ = 0;
}

}  // namespace velmorin
