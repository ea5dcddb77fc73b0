#include "admin-gui/ToolbarDialog.hpp"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "admin-gui/DialogButtons.hpp"
#include "admin-gui/GuiText.hpp"
#include "admin-gui/Icons.hpp"
#include "admin-gui/Toolbar.hpp"
#include "admin-gui/WindowLanguage.hpp"
#include "config/Settings.hpp"
#include "config/TextFilters.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

constexpr int kKeyRole = Qt::UserRole;

}  // namespace

std::string ToolbarOrderOf(const std::vector<std::string>& keys) {
  std::string order;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (i > 0) order += ",";
    order += keys[i];
  }
  return order;
}

ToolbarDialog::ToolbarDialog(std::function<void()> changed, QWidget* parent)
    : QDialog(parent), changed_(std::move(changed)) {
  setObjectName("frmAdjustToolbar");
  setWindowTitle("Adjust toolbar");
  setAttribute(Qt::WA_DeleteOnClose);
  auto* grid = new QGridLayout(this);
  auto* availableCaption = new QLabel("A&vailable buttons:", this);
  availableCaption->setObjectName("lblAvailable");
  auto* currentCaption = new QLabel("C&urrent buttons:", this);
  currentCaption->setObjectName("lblCurrent");
  available_ = new QListWidget(this);
  available_->setObjectName("lstAvailable");
  current_ = new QListWidget(this);
  current_->setObjectName("lstCurrent");
  availableCaption->setBuddy(available_);
  currentCaption->setBuddy(current_);
  auto* buttons = new QVBoxLayout;
  const std::pair<const char*, const char*> commands[] = {
      {"cmdAdd", "&Add ->"}, {"cmdDelete", "<- &Delete"}, {"cmdUp", "Move u&p"}, {"cmdDown", "Move do&wn"}};
  for (const auto& [name, text] : commands) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(name);
    buttons->addWidget(button);
  }
  buttons->addStretch();
  connect(findChild<QPushButton*>("cmdAdd"), &QPushButton::clicked, this, [this] { AddSelected(); });
  connect(findChild<QPushButton*>("cmdDelete"), &QPushButton::clicked, this, [this] { DeleteSelected(); });
  connect(findChild<QPushButton*>("cmdUp"), &QPushButton::clicked, this, [this] { MoveSelected(-1); });
  connect(findChild<QPushButton*>("cmdDown"), &QPushButton::clicked, this, [this] { MoveSelected(1); });
  connect(available_, &QListWidget::itemDoubleClicked, this, [this] { AddSelected(); });
  connect(current_, &QListWidget::itemDoubleClicked, this, [this] { DeleteSelected(); });
  QDialogButtonBox* box = DialogButtons(*this);
  connect(AddDialogButton(*box, "cmdOK", "OK", QDialogButtonBox::AcceptRole), &QPushButton::clicked, this,
          &QDialog::accept);
  connect(AddDialogButton(*box, "cmdCancel", "Cancel", QDialogButtonBox::RejectRole), &QPushButton::clicked, this,
          &QDialog::reject);
  grid->addWidget(availableCaption, 0, 0);
  grid->addWidget(currentCaption, 0, 2);
  grid->addWidget(available_, 1, 0);
  grid->addLayout(buttons, 1, 1);
  grid->addWidget(current_, 1, 2);
  grid->addWidget(box, 2, 0, 1, 3);
}

std::vector<std::string> ToolbarDialog::SetLanguage(const std::string& languageFile) {
  // Fresh instances: an instance stays bound to the first file it was given.
  texts_ = LanguageFile();
  texts_.SetLanguage("frmAdjustToolbar", languageFile);
  return ApplyWindowLanguage(*this, "frmAdjustToolbar", languageFile);
}

QListWidgetItem* ToolbarDialog::Item(const std::string& key) const {
  auto* item = new QListWidgetItem;
  item->setData(kKeyRole, QtText(key));
  if (key.empty()) {
    const std::string divider = texts_.Data("divider", "frmAdjustToolbar");
    item->setText(divider.empty() ? QStringLiteral("--- divider ---") : QtText(divider));
    return item;
  }
  for (const ToolbarButton& button : ToolbarButtons()) {
    if (key != button.key) continue;
    const std::string tip = CurrentLanguage().Data(button.tooltipKey, "frmServer");
    item->setText(tip.empty() ? QtText(key) : QtText(tip));
    item->setIcon(ToolbarIcon(key));
  }
  return item;
}

void ToolbarDialog::Load(const std::string& order) {
  available_->clear();
  current_->clear();
  std::vector<std::string> used;
  const std::vector<std::string> items = order.empty() ? std::vector<std::string>{} : Split(order, ",");
  for (const std::string& raw : items) {
    const std::string key = TrimBlanks(raw);
    bool known = key.empty();
    for (const ToolbarButton& button : ToolbarButtons()) known = known || key == button.key;
    // An unknown key is dropped, as the toolbar skips it; each button stands once.
    if (!known || (!key.empty() && std::find(used.begin(), used.end(), key) != used.end())) continue;
    if (!key.empty()) used.push_back(key);
    current_->addItem(Item(key));
  }
  available_->addItem(Item(""));  // a divider can always be added again
  for (const ToolbarButton& button : ToolbarButtons()) {
    if (std::find(used.begin(), used.end(), button.key) == used.end()) available_->addItem(Item(button.key));
  }
}

std::string ToolbarDialog::Order() const {
  std::vector<std::string> keys;
  for (int row = 0; row < current_->count(); ++row) {
    keys.push_back(ServerText(current_->item(row)->data(kKeyRole).toString()));
  }
  return ToolbarOrderOf(keys);
}

void ToolbarDialog::AddSelected() {
  const int row = available_->currentRow();
  if (row < 0) return;
  const std::string key = ServerText(available_->item(row)->data(kKeyRole).toString());
  // A divider stays available; a button moves over.
  if (!key.empty()) delete available_->takeItem(row);
  const int at = current_->currentRow() < 0 ? current_->count() : current_->currentRow() + 1;
  current_->insertItem(at, Item(key));
  current_->setCurrentRow(at);
}

void ToolbarDialog::DeleteSelected() {
  const int row = current_->currentRow();
  if (row < 0) return;
  const std::string key = ServerText(current_->item(row)->data(kKeyRole).toString());
  delete current_->takeItem(row);
  if (!key.empty()) available_->addItem(Item(key));
}

void ToolbarDialog::MoveSelected(int by) {
  const int row = current_->currentRow();
  const int to = row + by;
  if (row < 0 || to < 0 || to >= current_->count()) return;
  QListWidgetItem* item = current_->takeItem(row);
  current_->insertItem(to, item);
  current_->setCurrentRow(to);
}

void ToolbarDialog::accept() {
  ServerSettings.General.ToolbarOrder = Order();
  if (changed_) changed_();
  QDialog::accept();
}

void ShowAdjustToolbar(QWidget& parent, std::function<void()> changed) {
  auto* window = new ToolbarDialog(std::move(changed), &parent);
  window->setWindowModality(Qt::ApplicationModal);
  window->SetLanguage(CurrentLanguage().CurrentFile());
  window->Load(ServerSettings.General.ToolbarOrder);
  window->show();
}

}  // namespace velmorin
