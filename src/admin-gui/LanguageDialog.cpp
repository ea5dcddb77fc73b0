#include "admin-gui/LanguageDialog.hpp"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "admin-gui/DialogButtons.hpp"
#include "admin-gui/GuiText.hpp"
#include "admin-gui/WindowLanguage.hpp"
#include "i18n/LanguageFile.hpp"
#include "platform/Text.hpp"

namespace velmorin {

LanguageDialog::LanguageDialog(const std::string& directory, const std::string& current, QWidget* parent)
    : QDialog(parent) {
  setObjectName("frmLanguage");
  setWindowTitle("Sprache / Language");
  auto* prompt = new QLabel("Bitte wählen Sie eine Sprache. / Please choose a language.", this);
  prompt->setObjectName("lblChoose");
  prompt->setWordWrap(true);
  list_ = new QListWidget(this);
  list_->setObjectName("lstLanguages");
  const std::string folder = directory.empty() || directory.back() == '/' ? directory : directory + "/";
  for (const std::string& file : SplitLines(LanguageFile::EnumLanguages(folder))) {
    if (file.empty()) continue;
    const std::string name = LanguageFile::Info("LanguageName", folder + file);
    auto* item = new QListWidgetItem(QtText(name.empty() ? file : name), list_);
    item->setToolTip(QtText(file));
    if (file == current || (list_->currentItem() == nullptr && files_.empty())) list_->setCurrentItem(item);
    files_.push_back(file);
  }
  QDialogButtonBox* buttons = DialogButtons(*this);
  QPushButton* ok = AddDialogButton(*buttons, "cmdOK", "OK", QDialogButtonBox::AcceptRole);
  ok->setEnabled(!files_.empty());
  QPushButton* cancel = AddDialogButton(*buttons, "cmdCancel", "Cancel", QDialogButtonBox::RejectRole);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(prompt);
  layout->addWidget(list_, 1);
  layout->addWidget(buttons);
}

std::string LanguageDialog::Chosen() const {
  const int row = list_->currentRow();
  return row >= 0 && static_cast<std::size_t>(row) < files_.size() ? files_[row] : std::string();
}

std::vector<std::string> LanguageDialog::SetLanguage(const std::string& languageFile) {
  return ApplyWindowLanguage(*this, "frmLanguage", languageFile);
}

std::optional<std::string> ChooseLanguageFile(const std::string& directory, const std::string& current,
                                              QWidget* parent) {
  LanguageDialog dialog(directory, current, parent);
  if (dialog.Files().empty() || dialog.exec() != QDialog::Accepted) return std::nullopt;
  const std::string chosen = dialog.Chosen();
  if (chosen.empty()) return std::nullopt;
  return chosen;
}

}  // namespace velmorin
