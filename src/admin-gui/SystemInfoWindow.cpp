#include "admin-gui/SystemInfoWindow.hpp"

#include <QFileDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdlib>

#include "admin-gui/DialogButtons.hpp"
#include "admin-gui/GuiText.hpp"
#include "admin-gui/WindowLanguage.hpp"
#include "admin/AdminService.hpp"
#include "admin/SystemReport.hpp"
#include "platform/AtomicFile.hpp"
#include "platform/Text.hpp"
#include "server/ChatServer.hpp"
#include "server/StatusTexts.hpp"

namespace velmorin {
namespace {

// Sizes in kB as the report has them, shown in MB from 1024 kB on.
std::string Kilobytes(const std::string& value, const LanguageFile& texts) {
  long long kb = 0;
  try {
    kb = std::stoll(value);
  } catch (...) {
    return value;
  }
  if (kb < 1024) return std::to_string(kb) + texts.Data("sizekB", "frmSystemInfos");
  return FormatDecimal(static_cast<double>(kb) / 1024, 1, texts) + texts.Data("sizeMB", "frmSystemInfos");
}

}  // namespace

SystemInfoWindow::SystemInfoWindow(AdminService& admin, QWidget* parent) : QDialog(parent), admin_(admin) {
  setObjectName("frmSystemInfos");
  setWindowTitle("System information");
  setAttribute(Qt::WA_DeleteOnClose);
  resize(520, 420);
  auto* layout = new QVBoxLayout(this);
  tree_ = new QTreeWidget(this);
  tree_->setObjectName("tvwInfos");
  tree_->setColumnCount(2);
  tree_->setHeaderHidden(true);
  tree_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  layout->addWidget(tree_);
  QDialogButtonBox* box = DialogButtons(*this);
  QPushButton* refresh = AddDialogButton(*box, "cmdRefresh", "&Refresh", QDialogButtonBox::ActionRole);
  QPushButton* save = AddDialogButton(*box, "cmdSave", "&Save...", QDialogButtonBox::ActionRole);
  QPushButton* close = AddDialogButton(*box, "cmdClose", "&Close", QDialogButtonBox::RejectRole);
  connect(refresh, &QPushButton::clicked, this, [this] { Refresh(); });
  connect(save, &QPushButton::clicked, this, [this] { Save(); });
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  layout->addWidget(box);
}

std::vector<std::string> SystemInfoWindow::SetLanguage(const std::string& languageFile) {
  // Fresh instances: an instance stays bound to the first file it was given.
  texts_ = LanguageFile();
  labels_ = LanguageFile();
  texts_.SetLanguage("frmSystemInfos", languageFile);
  labels_.SetLanguage("frmSystemInfosEntries", languageFile);
  std::vector<std::string> refused = ApplyWindowLanguage(*this, "frmSystemInfos", languageFile);
  Refresh();
  return refused;
}

void SystemInfoWindow::Refresh() {
  tree_->clear();
  const SystemReport report = BuildSystemReport(admin_.Server().InstalledPlugins());
  QTreeWidgetItem* heading = nullptr;
  std::string current;
  for (const auto& [key, rawValue] : ReportEntries(report)) {
    const std::size_t dot = key.find('.');
    const std::string group = key.substr(0, dot);
    const std::string name = key.substr(dot + 1);
    if (heading == nullptr || group != current) {
      current = group;
      const std::string caption = texts_.Data("header" + group);
      heading = new QTreeWidgetItem(tree_, QStringList{QtText(caption.empty() ? group : caption)});
      heading->setFirstColumnSpanned(true);
      heading->setExpanded(true);
    }
    std::string value = rawValue;
    if (name == "memory_total_kb" || name == "memory_available_kb") value = Kilobytes(value, texts_);
    if (name == "system_uptime") value = FormatUptime(std::atoll(value.c_str()), texts_);
    // The three averages as the kernel writes them, with the language's decimal separator.
    if (name == "load_average") value = ReplaceAll(value, ".", DecimalSeparator(texts_));
    const std::string label = labels_.Data(name);
    new QTreeWidgetItem(heading, QStringList{QtText(label.empty() ? name : label), QtText(value)});
  }
}

std::string SystemInfoWindow::ReportText() const {
  std::string text;
  for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* heading = tree_->topLevelItem(i);
    text += ServerText(heading->text(0)) + "\r\n";
    for (int j = 0; j < heading->childCount(); ++j) {
      text += "  " + ServerText(heading->child(j)->text(0)) + ": " + ServerText(heading->child(j)->text(1)) + "\r\n";
    }
  }
  return text;
}

void SystemInfoWindow::Save() {
  const QString file = QFileDialog::getSaveFileName(this, windowTitle(), QString(), "Text (*.txt)");
  if (file.isEmpty()) return;
  if (WriteFileAtomically(file.toLocal8Bit().toStdString(), ReportText()) != 0) {
    QMessageBox::warning(this, QtText(texts_.Data("notice", "frmSystemInfos")), QtText(texts_.Data("errorSave", "frmSystemInfos")));
  }
}

void ShowSystemInfos(AdminService& admin, QWidget& parent) {
  auto* window = parent.findChild<SystemInfoWindow*>();
  if (window == nullptr) {
    window = new SystemInfoWindow(admin, &parent);
    window->SetLanguage(CurrentLanguage().CurrentFile());
  }
  window->show();
  window->raise();
  window->activateWindow();
}

}  // namespace velmorin
