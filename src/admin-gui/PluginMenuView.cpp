#include "admin-gui/PluginMenuView.hpp"

#include <QKeyEvent>

#include "admin-gui/GuiText.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

QString Tag(const std::string& owner, const std::string& name) { return QtText(owner) + "\r\n" + QtText(name); }

void ApplyEntry(QAction& item, const PluginMenuEntry& entry) {
  item.setText(QtText(entry.caption));
  item.setCheckable(entry.checked);
  item.setChecked(entry.checked);
  item.setEnabled(entry.enabled);
}

}  // namespace

void BuildPluginMenu(QMenu& menu, const PluginMenu& entries, const PluginMenuClick& click) {
  menu.clear();
  for (const PluginMenuEntry& entry : entries.Entries()) {
    QAction* item = menu.addAction(QString());
    item->setData(Tag(entry.owner, entry.name));
    ApplyEntry(*item, entry);
    QObject::connect(item, &QAction::triggered, &menu, [click, owner = entry.owner, name = entry.name] {
      if (click) click(owner, name);
    });
  }
  menu.setEnabled(!entries.Entries().empty());
}

void UpdatePluginMenuItem(QMenu& menu, const PluginMenu& entries, const std::string& owner, const std::string& name) {
  const PluginMenuEntry* entry = entries.Find(owner, name);
  if (entry == nullptr) return;
  // The stored names are compared without regard to case, as the registry keys them.
  const QString tag = Tag(entry->owner, entry->name);
  for (QAction* item : menu.actions()) {
    if (item->data().toString() == tag) ApplyEntry(*item, *entry);
  }
}

std::optional<OfferedKey> OfferedShortcut(int qtKey, Qt::KeyboardModifiers modifiers, bool everyKey) {
  long code = 0;
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12) {
    code = 112 + (qtKey - Qt::Key_F1);
  } else if (qtKey == Qt::Key_Insert) {
    code = 45;
  } else if (qtKey == Qt::Key_Delete) {
    code = 46;
  } else if (qtKey == Qt::Key_PageUp) {
    code = 33;
  } else if (qtKey == Qt::Key_PageDown) {
    code = 34;
  }
  const bool held = everyKey || (modifiers & (Qt::ControlModifier | Qt::AltModifier)) != 0;
  if (code == 0 && held) {
    // Letters and digits share their codes; a few more keys by their classic numbers.
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)) {
      code = qtKey;
    } else {
      switch (qtKey) {
        case Qt::Key_Backspace: code = 8; break;
        case Qt::Key_Tab: code = 9; break;
        case Qt::Key_Return: case Qt::Key_Enter: code = 13; break;
        case Qt::Key_Escape: code = 27; break;
        case Qt::Key_Space: code = 32; break;
        case Qt::Key_End: code = 35; break;
        case Qt::Key_Home: code = 36; break;
        case Qt::Key_Left: code = 37; break;
        case Qt::Key_Up: code = 38; break;
        case Qt::Key_Right: code = 39; break;
        case Qt::Key_Down: code = 40; break;
        default: return std::nullopt;  // a modifier alone, or a key without a classic number
      }
    }
  }
  if (code == 0) return std::nullopt;
  long shift = 0;
  if (modifiers & Qt::ShiftModifier) shift += 1;
  if (modifiers & Qt::ControlModifier) shift += 2;
  if (modifiers & Qt::AltModifier) shift += 4;
  return OfferedKey{code, shift};
}

bool PluginShortcuts::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyRelease) {
    auto* key = static_cast<QKeyEvent*>(event);
    const bool again = event == lastEvent_ && key->timestamp() == lastStamp_ && key->key() == lastKey_;
    if (!key->isAutoRepeat() && !again) {
      lastEvent_ = event;
      lastStamp_ = key->timestamp();
      lastKey_ = key->key();
      if (const auto offered = OfferedShortcut(key->key(), key->modifiers(), everyKey_); offered && offer_) {
        offer_(offered->shiftState, offered->keyCode);
      }
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace velmorin
