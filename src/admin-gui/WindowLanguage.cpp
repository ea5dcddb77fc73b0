#include "admin-gui/WindowLanguage.hpp"

#include <QMetaProperty>
#include <QVariant>
#include <optional>

#include "admin-gui/GuiText.hpp"
#include "i18n/LanguageFile.hpp"

namespace velmorin {
namespace {

class QtLanguageTarget : public LanguageTarget {
 public:
  QtLanguageTarget(QObject& window, const std::string& windowName) : window_(window), windowName_(windowName) {}

  bool SetControlProperty(const std::string& control, const std::string& property, std::optional<int> index,
                          const std::string& value) override {
    std::string key = control + "." + property;
    std::string name = control;
    if (index) {
      name += "_" + std::to_string(*index);
      key += "." + std::to_string(*index);
    }
    QObject* target = name == windowName_ ? &window_ : window_.findChild<QObject*>(QString::fromStdString(name));
    if (target == nullptr) return Refuse(key + " (no control " + name + ")");
    const QMetaObject* meta = target->metaObject();
    const int found = meta->indexOfProperty(property.c_str());
    if (found < 0) return Refuse(key + " (" + name + " has no property " + property + ")");
    // Only texts: Qt would turn any text into a number or a flag, and a typo into a setting.
    QMetaProperty declared = meta->property(found);
    if (declared.metaType().id() != QMetaType::QString || !declared.isWritable() ||
        !declared.write(target, QVariant(QtText(value)))) {
      return Refuse(key + " (" + property + " is no text property)");
    }
    return true;
  }

  std::vector<std::string> refused;

 private:
  bool Refuse(std::string why) {
    refused.push_back(std::move(why));
    return false;
  }

  QObject& window_;
  std::string windowName_;
};

}  // namespace

std::vector<std::string> ApplyWindowLanguage(QObject& window, const std::string& windowName, const std::string& file) {
  QtLanguageTarget target(window, windowName);
  // A fresh instance: it binds to this file and section, whatever the process's language holds.
  LanguageFile texts;
  for (std::string& key : texts.SetLanguage(windowName, file, &target)) {
    target.refused.push_back(key + " (index out of range)");
  }
  return std::move(target.refused);
}

}  // namespace velmorin
