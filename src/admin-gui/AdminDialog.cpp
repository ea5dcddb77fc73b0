#include "admin-gui/AdminDialog.hpp"

#include <QMessageBox>

#include "admin-gui/DialogButtons.hpp"
#include "admin-gui/GuiText.hpp"
#include "admin-gui/WindowLanguage.hpp"
#include "config/Settings.hpp"
#include "platform/ProgramPaths.hpp"

namespace velmorin {

AdminDialog::AdminDialog(const char* name, QWidget* parent) : QDialog(parent), name_(name) {
  setObjectName(name);
}

std::vector<std::string> AdminDialog::SetLanguage(const std::string& languageFile) {
  std::vector<std::string> refused = ApplyWindowLanguage(*this, name_, languageFile);
  // A fresh instance: an instance stays bound to the first file it was given.
  texts_ = std::make_unique<LanguageFile>();
  languageFile_ = languageFile;
  texts_->SetLanguage(name_, languageFile);
  ApplyDataTexts();
  return refused;
}

std::string AdminDialog::Text(const std::string& key) const { return texts_->Data(key); }

void AdminDialog::ShowBox(const std::string& text) {
  std::string title = Text("notice");
  if (title.empty()) title = texts_->Data("notice", "frmUserInfos");
  QMessageBox box(QMessageBox::Information, QtText(title), QtText(text), QMessageBox::Ok, this);
  box.exec();
}

void AdminDialog::Notice(const std::string& key) { ShowBox(Text(key)); }

void AdminDialog::ShowRefusal(const AdminResult& result) {
  ShowBox(result.message.empty() ? result.notice : result.message);
}

const AdminResult& AdminDialog::AcceptUnlessRefused(const AdminResult& result) {
  if (result.ok()) {
    accept();
  } else {
    ShowRefusal(result);
  }
  return result;
}

AdminResult AdminDialog::ConfirmNamed(QPushButton& button, bool nameGiven,
                                      const std::function<AdminResult()>& accept) {
  button.setEnabled(false);
  const AdminResult result =
      nameGiven ? accept() : AdminResult::Refused("noticeMissingName", Text("noticeMissingName"));
  button.setEnabled(true);
  AcceptUnlessRefused(result);
  return result;
}

bool AdminDialog::Ask(const std::string& question) {
  std::string title = Text("notice");
  if (title.empty()) title = texts_->Data("notice", "frmUserInfos");
  QMessageBox box(QMessageBox::Question, QtText(title), QtText(question), QMessageBox::Yes | QMessageBox::No, this);
  return box.exec() == QMessageBox::Yes;
}

QPushButton* AdminDialog::AddConfirmRow(QBoxLayout& layout, const char* objectName, const char* caption,
                                        std::function<void()> confirm) {
  QDialogButtonBox* buttons = DialogButtons(*this);
  QPushButton* confirmButton = AddDialogButton(*buttons, objectName, caption, QDialogButtonBox::AcceptRole);
  QPushButton* cancelButton = AddDialogButton(*buttons, "cmdCancel", "Cancel", QDialogButtonBox::RejectRole);
  layout.addWidget(buttons);
  connect(confirmButton, &QPushButton::clicked, this, [confirm = std::move(confirm)] { confirm(); });
  connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
  return confirmButton;
}

std::string CurrentLanguageFile() { return Paths().languageDirectory + ServerSettings.Info.Language; }

}  // namespace velmorin
