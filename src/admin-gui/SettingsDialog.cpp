#include "admin-gui/SettingsDialog.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <cstring>

#include "admin-gui/AutostartEntry.hpp"
#include "admin-gui/DialogButtons.hpp"
#include "admin-gui/FormFields.hpp"
#include "admin-gui/GuiText.hpp"
#include "admin-gui/Icons.hpp"
#include "admin-gui/WindowLanguage.hpp"
#include "admin/AdminService.hpp"
#include "platform/Text.hpp"

namespace velmorin {

SettingsDialog::SettingsDialog(AdminService& admin, const std::string& languageFile, QWidget* parent)
    : QDialog(parent), admin_(admin), languageFile_(languageFile), form_(admin.Settings().Read()) {
  setObjectName("frmSettings");
  setWindowTitle("Settings");
  texts_.SetLanguage("frmSettings", languageFile);

  tree_ = new QTreeWidget(this);
  tree_->setObjectName("tvwSettings");
  tree_->setHeaderHidden(true);
  tree_->setMinimumWidth(160);
  tree_->setMaximumWidth(220);
  pages_ = new QStackedWidget(this);
  connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (item != nullptr) pages_->setCurrentIndex(item->data(0, Qt::UserRole).toInt());
  });

  QDialogButtonBox* buttons = DialogButtons(*this);
  QPushButton* ok = AddDialogButton(*buttons, "cmdOK", "OK", QDialogButtonBox::AcceptRole);
  QPushButton* standard = AddDialogButton(*buttons, "cmdStandard", "Standard", QDialogButtonBox::ResetRole);
  QPushButton* cancel = AddDialogButton(*buttons, "cmdCancel", "Cancel", QDialogButtonBox::RejectRole);
  connect(ok, &QPushButton::clicked, this, [this] { OnOk(); });
  connect(standard, &QPushButton::clicked, this, [this] { OnStandard(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* body = new QHBoxLayout;
  body->addWidget(tree_);
  body->addWidget(pages_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(body, 1);
  layout->addWidget(buttons);

  BuildStartPage();
  BuildGeneralPage();
  BuildUsersPage();
  BuildBanPage();
  BuildChatroomsPage();
  BuildLogPage();
  BuildLogPatternPage();
  BuildLoggingPage();
  BuildEncryptionPage();
  BuildWelcomeMessagePage();
  BuildIconsPage();
  BuildPluginsPage();
  BuildLanguagePage();
  OpenPluginSession();
  tree_->expandAll();
  tree_->setCurrentItem(items_.at("Start"));

  Fill(form_);
  opened_ = form_;
  // The boxes that enable their pages show their state once at the start.
  for (const char* name : {"chkLogging", "chkSendWelcomeMessage"}) {
    if (auto* box = findChild<QCheckBox*>(name)) emit box->toggled(box->isChecked());
  }
  languageRefusals_ = ApplyWindowLanguage(*this, "frmSettings", languageFile);
  resize(720, 520);
}

std::string SettingsDialog::Text(const std::string& key) const { return texts_.Data(key); }

QWidget* SettingsDialog::AddPage(const std::string& treeKey, const std::string& captionKey, const char* icon,
                              const std::string& parentKey) {
  auto* page = new QWidget;
  page->setObjectName(QString::fromStdString("fra" + treeKey));
  const int index = pages_->addWidget(page);
  const QString caption = QtText(Text(captionKey));
  auto* item = parentKey.empty() ? new QTreeWidgetItem(tree_) : new QTreeWidgetItem(items_.at(parentKey));
  item->setText(0, caption.isEmpty() ? QString::fromStdString(treeKey) : caption);
  item->setIcon(0, SettingsPageIcon(icon));
  item->setData(0, Qt::UserRole, index);
  items_[treeKey] = item;
  return page;
}

bool SettingsDialog::ShowPage(const std::string& treeKey) {
  auto it = items_.find(treeKey);
  if (it == items_.end()) return false;
  tree_->setCurrentItem(it->second);
  return true;
}

// --- bindings ----------------------------------------------------------------------------------

void SettingsDialog::Bind(const std::string& key, QCheckBox* box) {
  bindings_.push_back({key, [box](const std::string& text) { box->setChecked(text != "0" && !text.empty()); },
                       [box] { return std::string(box->isChecked() ? "1" : "0"); }});
}

void SettingsDialog::Bind(const std::string& key, QLineEdit* field) {
  bindings_.push_back({key, [field](const std::string& text) { field->setText(QtText(text)); },
                       [field] { return ServerText(field->text()); }});
}

void SettingsDialog::BindNumber(const std::string& key, QLineEdit* field, const char* defaultValue) {
  // Digits only; a field left empty or at zero shows its default again.
  field->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,10}"), field));
  connect(field, &QLineEdit::editingFinished, field, [field, defaultValue] {
    bool numeric = false;
    if (field->text().toLongLong(&numeric) <= 0 || !numeric) field->setText(defaultValue);
  });
  Bind(key, field);
}

void SettingsDialog::Bind(const std::string& key, QPlainTextEdit* field) {
  bindings_.push_back({key, [field](const std::string& text) { field->setPlainText(QtText(text)); },
                       [field] { return ServerText(field->toPlainText()); }});
}

void SettingsDialog::Bind(const std::string& key, QComboBox* box) {
  // An editable box holds any text; a fixed one shows the value when it is one of its entries.
  bindings_.push_back({key,
                       [box](const std::string& text) {
                         const int found = box->findData(QtText(text));
                         if (found >= 0) {
                           box->setCurrentIndex(found);
                         } else if (box->isEditable()) {
                           box->setEditText(QtText(text));
                         } else {
                           box->setCurrentIndex(0);
                         }
                       },
                       [box] {
                         if (box->isEditable()) return ServerText(box->currentText());
                         return ServerText(box->currentData().toString());
                       }});
}

void SettingsDialog::Fill(const SettingsForm& form) {
  form_ = form;
  for (const Binding& binding : bindings_) {
    if (const std::optional<std::string> value = form_.Get(binding.key)) binding.show(*value);
  }
  if (welcome_ != nullptr) welcome_->setPlainText(QtText(form_.welcomeText));
}

// --- OK, Standard, Cancel ----------------------------------------------------------------------

AdminResult SettingsDialog::Store() {
  if (auto refused = RefuseUncarried(*this)) return *refused;
  SettingsForm form = form_;
  // What changed, for the audit line: "settings set KEY VALUE ...".
  std::vector<std::string> changed{"settings", "set"};
  for (const Binding& binding : bindings_) {
    const std::string value = binding.value();
    if (opened_.Get(binding.key) != value) changed.insert(changed.end(), {binding.key, value});
    if (AdminResult set = admin_.Settings().Set(form, binding.key, value); !set.ok()) {
      return admin_.Audit().RecordWindow(AuditedWords({"settings", "set", binding.key, value}), set);
    }
  }
  if (welcome_ != nullptr) form.welcomeText = ReplaceAll(ServerText(welcome_->toPlainText()), "\n", "\r\n");
  if (form.welcomeText != opened_.welcomeText) changed.push_back("welcome");
  const std::string addedStandard = DeferAddedStandardRoom(form);
  AdminResult result = admin_.Settings().ConfirmChanges(opened_, form);
  if (changed.size() > 2) admin_.Audit().RecordWindow(AuditedWords(changed), result);
  if (!result.ok()) return result;
  form_ = form;
  opened_ = form;
  if (AdminResult lists = StoreListChanges(); !lists.ok()) return lists;
  if (!addedStandard.empty()) {
    if (AdminResult standard = admin_.Audit().RecordWindow("room standard " + addedStandard, admin_.Rooms().SetStandard(addedStandard));
        !standard.ok()) {
      return standard;
    }
    form_.settings.Chatrooms.StandardChatroom = addedStandard;
  }
  if (autostart_ != nullptr && autostart_->isChecked() != AutostartEnabled()) {
    const int error = autostart_->isChecked()
                          ? WriteAutostartEntry(ServerText(QCoreApplication::applicationFilePath()))
                          : RemoveAutostartEntry();
    if (error != 0) {
      return AdminResult::Refused("errorAutostart", Text("errorAutostart") + std::strerror(error));
    }
  }
  if (pluginSession_) pluginSession_->SettingsChanged();
  StorePluginChoices();
  return result;
}

void SettingsDialog::ShowNotice(const std::string& text) {
  const std::string title = Text("notice");
  QMessageBox::information(this, QtText(title.empty() ? "Notice" : title), QtText(text));
}

void SettingsDialog::OnOk() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const AdminResult result = Store();
  QApplication::restoreOverrideCursor();
  if (!result.ok()) {
    ShowNotice(result.message.empty() ? Text(result.notice) : result.message);
    return;
  }
  accept();
}

void SettingsDialog::OnStandard() {
  const auto answer = QMessageBox::question(this, windowTitle(), QtText(Text("questionResetSettings")),
                                            QMessageBox::Yes | QMessageBox::No);
  if (answer != QMessageBox::Yes) return;
  Fill(admin_.Settings().Standard());
}

bool ShowSettingsDialog(QWidget* parent, AdminService& admin, const std::string& languageFile) {
  SettingsDialog dialog(admin, languageFile, parent);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace velmorin
