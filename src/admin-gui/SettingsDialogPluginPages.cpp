// The settings dialog's plugin pages: encryption plugins and the other plugins, and the pages
// the dialog's own plugin instances add. Which plugins are enabled is stored by OK, like every
// other control; the about box and the configuration dialog open at once.

#include <map>

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "admin-gui/GuiText.hpp"
#include "admin-gui/PluginWindow.hpp"
#include "admin-gui/SettingsDialog.hpp"
#include "admin/AdminService.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

constexpr int kComponentRole = Qt::UserRole;
constexpr int kEnabledRole = Qt::UserRole + 1;
constexpr int kNameRole = Qt::UserRole + 2;
// How many plugin pages may share a title; the session bounds the pages per plugin as well.
constexpr int kMaxTitleNumber = 100;

QPushButton* Button(QWidget* page, const char* name, const char* text) {
  auto* button = new QPushButton(QString::fromLatin1(text), page);
  button->setObjectName(name);
  return button;
}

std::string SelectedComponent(const QListWidget* list) {
  const QListWidgetItem* item = list->currentItem();
  return item == nullptr ? std::string() : item->data(kComponentRole).toString().toStdString();
}

}  // namespace

// The service's state words and its own fixed reasons in the language of the window; a reason
// from the plugin loader (a system message) is shown as it stands.
std::string SettingsDialog::StateText(const std::string& state) const {
  static const std::map<std::string, std::string> keys = {{"loaded", "statePluginLoaded"},
                                                          {"not loaded", "statePluginNotLoaded"},
                                                          {"disabled", "statePluginDisabled"},
                                                          {"failed", "statePluginFailed"}};
  const auto key = keys.find(state);
  if (key == keys.end()) return state;
  const std::string text = Text(key->second);
  return text.empty() ? state : text;
}

std::string SettingsDialog::ReasonText(const std::string& reason) const {
  static const std::map<std::string, std::string> keys = {
      {"used from the next time the server goes online", "reasonPluginNextOnline"},
      {"initialise failed", "reasonPluginInitialiseFailed"}};
  const auto key = keys.find(reason);
  if (key == keys.end()) return reason;
  const std::string text = Text(key->second);
  return text.empty() ? reason : text;
}

QListWidget* SettingsDialog::PluginList(QWidget* page, bool encryption) {
  auto* list = new QListWidget(page);
  // An entry names the plugin on its first line and its state below; a line longer than the
  // list is wide wraps instead of being cut off.
  list->setWordWrap(true);
  list->setTextElideMode(Qt::ElideNone);
  list->setResizeMode(QListView::Adjust);
  list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  for (const PluginRow& row : admin_.Plugins().Plugins()) {
    if ((row.type == "encryption") != encryption) continue;
    std::string caption = (row.name.empty() ? row.component : row.name) + " " + row.version;
    if (!row.author.empty()) caption += " (" + row.author + ")";
    caption += "\n" + StateText(row.state);
    if (!row.reason.empty()) caption += ": " + ReasonText(row.reason);
    auto* item = new QListWidgetItem(QtText(caption), list);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(row.enabled ? Qt::Checked : Qt::Unchecked);
    item->setData(kComponentRole, QString::fromStdString(row.component));
    item->setData(kEnabledRole, row.enabled);
    item->setData(kNameRole, QtText(row.name));
  }
  pluginLists_.push_back(list);
  return list;
}

void SettingsDialog::StorePluginChoices() {
  for (QListWidget* list : pluginLists_) {
    for (int i = 0; i < list->count(); ++i) {
      QListWidgetItem* item = list->item(i);
      const bool enabled = item->checkState() == Qt::Checked;
      if (enabled == item->data(kEnabledRole).toBool()) continue;
      const std::string component = item->data(kComponentRole).toString().toStdString();
      const AdminResult result = admin_.Audit().RecordWindow((enabled ? "plugins enable " : "plugins disable ") + component,
                                                             admin_.Plugins().SetEnabled(component, enabled));
      if (result.ok()) item->setData(kEnabledRole, enabled);
    }
  }
}

void SettingsDialog::BuildEncryptionPage() {
  QWidget* page = AddPage("Encryption", "lstEncryption", "encryption");
  auto* layout = new QVBoxLayout(page);
  QListWidget* list = PluginList(page, true);
  list->setObjectName("lstEncryptionPlugins");
  auto* caption = new QLabel("Encryption plugins the server offers to its clients:", page);
  caption->setObjectName("lblEncryptionPlugins");
  caption->setBuddy(list);
  layout->addWidget(caption);
  layout->addWidget(list, 1);
  auto* note = new QLabel("A newly switched on encryption plugin is offered from the next time the server goes online.", page);
  note->setObjectName("lblEncryptionNextOnline");
  note->setWordWrap(true);
  layout->addWidget(note);
  auto* buttons = new QHBoxLayout;
  QPushButton* configure = Button(page, "cmdEncryptionConfigure", "Configure...");
  QPushButton* about = Button(page, "cmdEncryptionAbout", "About...");
  buttons->addStretch(1);
  buttons->addWidget(about);
  buttons->addWidget(configure);
  layout->addLayout(buttons);
  connect(configure, &QPushButton::clicked, this, [this, list] {
    const std::string component = SelectedComponent(list);
    if (component.empty()) return;
    if (const AdminResult result = admin_.Plugins().ShowConfiguration(component); !result.ok()) ShowNotice(result.message);
  });
  connect(about, &QPushButton::clicked, this, [this, list] {
    const std::string component = SelectedComponent(list);
    if (component.empty()) return;
    if (const AdminResult result = admin_.Plugins().ShowAbout(component); !result.ok()) ShowNotice(result.message);
  });
}

void SettingsDialog::BuildPluginsPage() {
  QWidget* page = AddPage("Plugins", "lstPlugins", "plugins");
  auto* layout = new QVBoxLayout(page);
  QListWidget* list = PluginList(page, false);
  list->setObjectName("lstPluginList");
  auto* caption = new QLabel("Installed plugins:", page);
  caption->setObjectName("lblPluginList");
  caption->setBuddy(list);
  layout->addWidget(caption);
  layout->addWidget(list, 1);
  auto* note = new QLabel("Plugins are loaded or left out from the next start on.", page);
  note->setObjectName("lblPluginsNextStart");
  note->setWordWrap(true);
  layout->addWidget(note);
  auto* buttons = new QHBoxLayout;
  QPushButton* all = Button(page, "cmdLoadAll", "Load all");
  QPushButton* none = Button(page, "cmdLoadNone", "Load none");
  QPushButton* about = Button(page, "cmdPluginAbout", "About...");
  QPushButton* configure = Button(page, "cmdPluginConfigure", "Configure...");
  buttons->addWidget(all);
  buttons->addWidget(none);
  buttons->addStretch(1);
  buttons->addWidget(about);
  buttons->addWidget(configure);
  layout->addLayout(buttons);
  const auto checkAll = [list](Qt::CheckState state) {
    for (int i = 0; i < list->count(); ++i) list->item(i)->setCheckState(state);
  };
  connect(all, &QPushButton::clicked, this, [checkAll] { checkAll(Qt::Checked); });
  connect(none, &QPushButton::clicked, this, [checkAll] { checkAll(Qt::Unchecked); });
  // The dialog's own instance hears "About" when it has one.
  connect(about, &QPushButton::clicked, this, [this, list] {
    const std::string component = SelectedComponent(list);
    if (component.empty()) return;
    const AdminResult result = admin_.Plugins().ShowAbout(component, pluginSession_.get());
    if (!result.ok()) ShowNotice(result.message);
  });
  // A plugin that added a settings page shows its first page (or the page under its name);
  // otherwise the plugin's own configuration, or the service's reason why there is none.
  connect(configure, &QPushButton::clicked, this, [this, list] {
    QListWidgetItem* item = list->currentItem();
    if (item == nullptr) return;
    const auto owned = pluginPageKeys_.find(LowerCase(item->data(kComponentRole).toString().toStdString()));
    if (owned != pluginPageKeys_.end() && ShowPage(owned->second)) return;
    if (ShowPage("Plugin:" + ServerText(item->data(kNameRole).toString()))) return;
    const AdminResult result = admin_.Plugins().ShowConfiguration(item->data(kComponentRole).toString().toStdString());
    if (!result.ok()) ShowNotice(result.message);
  });
}

// --- the pages of the dialog's plugin instances ---------------------------------------------------

void SettingsDialog::OpenPluginSession() {
  pluginSession_ = admin_.Plugins().OpenSettingsSession([this](const SettingsPage& page) {
    const std::string key = AddPluginPage(page.title, page.window);
    if (!key.empty()) pluginPageKeys_.emplace(LowerCase(page.component), key);
  });
}

void SettingsDialog::ClosePluginSession() {
  // The windows belong to the plugins: each goes back to its plugin before the plugins end and
  // destroy their windows themselves.
  for (const QPointer<QWindow>& window : pluginWindows_) ReleasePluginWindow(window.data());
  pluginWindows_.clear();
  if (pluginSession_) pluginSession_->Close();
}

void SettingsDialog::done(int result) {
  ClosePluginSession();
  QDialog::done(result);
}

SettingsDialog::~SettingsDialog() {
  ClosePluginSession();
}

std::string SettingsDialog::AddPluginPage(const std::string& title, unsigned long window) {
  std::string key = "Plugin:" + title;
  for (int number = 2; items_.count(key) != 0; ++number) {
    if (number > kMaxTitleNumber) return {};
    key = "Plugin:" + title + " (" + std::to_string(number) + ")";
  }
  QWidget* page = AddPage(key, {}, "plugins", "Plugins");
  items_[key]->setText(0, QtText(title));
  auto* layout = new QVBoxLayout(page);
  auto* heading = new QLabel(QtText(title), page);
  heading->setObjectName("lblPluginPageTitle");
  heading->setTextFormat(Qt::PlainText);
  QFont bold = heading->font();
  bold.setBold(true);
  heading->setFont(bold);
  layout->addWidget(heading);
  const EmbeddedPluginWindow embedded = EmbedPluginWindow(window, page);
  if (embedded.container != nullptr) {
    embedded.container->setObjectName("ctlPluginWindow");
    pluginWindows_.push_back(embedded.window);
    layout->addWidget(embedded.container, 1);
    return key;
  }
  auto* note = new QLabel(page);
  note->setObjectName("lblPluginPage");
  note->setWordWrap(true);
  note->setText(QtText(Text("textPluginPage")));
  layout->addWidget(note);
  layout->addStretch(1);
  return key;
}

}  // namespace velmorin
