#pragma once
// The settings dialog: a tree of pages on the left, the chosen page on the right, OK, Standard
// and Cancel below. It edits a copy (a SettingsForm read from the administration service);
// nothing reaches the running server before OK.
//
//   OK        every control goes into the copy through the service's key view (its conversions:
//             a field that is not a positive number becomes its default, seconds and minutes to
//             milliseconds, line breaks of the description to "<br>"), then the service confirms
//             the copy: checked, stored and applied to the running server. A refusal is shown as
//             the notice the service names and the dialog stays open with nothing stored. Only
//             after the settings are stored: the lists' changes in their order, the autostart
//             entry and the plugins' choice. A standard chatroom added on the Chatrooms page
//             becomes the standard one after it is added.
//   Standard  asks "questionResetSettings"; on yes the pages show the standard values.
//   Cancel    closes; nothing is stored.
//
// While it is open the dialog holds its own instances of the general plugins, disabled ones too
// (SettingsPluginSession): their pages appear under "plugins", "About" goes to them, OK tells
// them "SettingsChanged", and closing the dialog gives their windows back and ends them.
//
// Every control is named as the language file's [frmSettings] section addresses it; the page
// captions and notices come from [frmSettings.Data].

#include <QDialog>
#include <QPointer>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QWindow>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "admin/AdminResult.hpp"
#include "admin/SettingsForm.hpp"
#include "admin/SettingsPluginSession.hpp"
#include "i18n/LanguageFile.hpp"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QComboBox;
class QListWidget;
class QPushButton;

namespace velmorin {

class AdminService;

class SettingsDialog : public QDialog {
  Q_OBJECT

 public:
  SettingsDialog(AdminService& admin, const std::string& languageFile, QWidget* parent = nullptr);
  ~SettingsDialog() override;

  // The keys of the language file the dialog could not apply to its controls.
  const std::vector<std::string>& LanguageRefusals() const { return languageRefusals_; }
  // Shows the page of that tree key ("General", "Log", ...); false for an unknown key.
  bool ShowPage(const std::string& treeKey);
  // A page a plugin adds, under "plugins" with its title. On X11 the plugin's window (by its
  // handle) is shown inside the page; elsewhere, or for a window that cannot be found, the page
  // says that it cannot be. Its tree key: "Plugin:" + title, numbered when the title is taken.
  std::string AddPluginPage(const std::string& title, unsigned long window = 0);

  void done(int result) override;

  // What OK does without closing; the refusal, or done. The dialog's OK shows a refusal.
  AdminResult Store();
  // The pages filled again from a form.
  void Fill(const SettingsForm& form);

 private:
  // A control bound to a setting of the key view: how it shows the dialog's text of the value,
  // and what text it holds now.
  struct Binding {
    std::string key;
    std::function<void(const std::string&)> show;
    std::function<std::string()> value;
  };
  struct PluginChoice {
    std::string component;
    QListWidget* list;
  };

  QWidget* AddPage(const std::string& treeKey, const std::string& captionKey, const char* icon,
                   const std::string& parentKey = {});
  std::string Text(const std::string& key) const;
  std::string StateText(const std::string& state) const;
  std::string ReasonText(const std::string& reason) const;
  void ShowNotice(const std::string& text);

  void Bind(const std::string& key, QCheckBox* box);
  void Bind(const std::string& key, QLineEdit* field);
  void BindNumber(const std::string& key, QLineEdit* field, const char* defaultValue);
  void Bind(const std::string& key, QPlainTextEdit* field);
  void Bind(const std::string& key, QComboBox* box);

  // The pages, one function each (SettingsDialogPages.cpp, SettingsDialogLogPages.cpp,
  // SettingsDialogPluginPages.cpp).
  void BuildStartPage();
  void BuildGeneralPage();
  void BuildUsersPage();
  void BuildBanPage();
  void BuildChatroomsPage();
  void BuildLogPage();
  void BuildLogPatternPage();
  void BuildLoggingPage();
  void BuildEncryptionPage();
  void BuildWelcomeMessagePage();
  void BuildIconsPage();
  void BuildPluginsPage();
  void BuildLanguagePage();

  QListWidget* PluginList(QWidget* page, bool encryption);
  // The session of the dialog's plugin instances (SettingsDialogPluginPages.cpp); closing gives
  // the embedded windows back to their plugins first, then ends the plugins.
  void OpenPluginSession();
  void ClosePluginSession();
  void StorePluginChoices();
  void ShowPlaceholders(const std::string& titleKey, const std::string& textKey, const std::vector<std::string>& keys);
  void ImportWelcomeText();
  // The lists' changes (SettingsDialogListPages.cpp): kept until OK, then made in their order.
  bool AskRemove(const std::string& questionKey, QListWidget* list);
  void EditAccount(QListWidget* list, bool add);
  void EditAddressBan(QListWidget* list, bool add);
  void EditNicknameBan(QListWidget* list, bool add);
  void EditChatroom(QListWidget* list, bool add);
  void OfferKeysToPlugins(QListWidget* list);
  AdminResult StoreListChanges();
  // Takes a standard room that is added only by the list changes out of `form`; returns it.
  std::string DeferAddedStandardRoom(SettingsForm& form);
  void ExportWelcomeText();

  void OnOk();
  void OnStandard();

  AdminService& admin_;
  std::string languageFile_;
  LanguageFile texts_;
  SettingsForm form_;
  // The settings as the dialog was opened (or last stored): OK applies only what differs from
  // them, so a change made elsewhere meanwhile stays.
  SettingsForm opened_;
  std::vector<Binding> bindings_;
  QTreeWidget* tree_;
  QStackedWidget* pages_;
  std::map<std::string, QTreeWidgetItem*> items_;
  QCheckBox* autostart_ = nullptr;
  QPlainTextEdit* welcome_ = nullptr;
  std::vector<QListWidget*> pluginLists_;
  std::unique_ptr<SettingsPluginSession> pluginSession_;
  std::map<std::string, std::string> pluginPageKeys_;  // component in lower case: its first page
  std::vector<QPointer<QWindow>> pluginWindows_;       // the plugins' windows shown in pages
  QComboBox* standardRoom_ = nullptr;
  std::vector<std::function<AdminResult()>> listChanges_;
  std::vector<std::string> addedRooms_;
  std::vector<std::string> languageRefusals_;
};

// Opens the dialog modally over `parent`; true when OK stored the settings.
bool ShowSettingsDialog(QWidget* parent, AdminService& admin, const std::string& languageFile);

}  // namespace velmorin
