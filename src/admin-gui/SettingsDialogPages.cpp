// The settings dialog's pages of the program and the server.

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "admin-gui/AutostartEntry.hpp"
#include "admin-gui/GuiText.hpp"
#include "admin-gui/Icons.hpp"
#include "admin-gui/SettingsDialog.hpp"
#include "admin-gui/Toolbar.hpp"
#include "admin/AdminService.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

QCheckBox* CheckBox(QWidget* page, const char* name, const char* text) {
  auto* box = new QCheckBox(QString::fromLatin1(text), page);
  box->setObjectName(name);
  return box;
}

QLabel* Label(QWidget* page, const char* name, const char* text) {
  auto* label = new QLabel(QString::fromLatin1(text), page);
  label->setObjectName(name);
  return label;
}

QLineEdit* LineEdit(QWidget* page, const char* name) {
  auto* field = new QLineEdit(page);
  field->setObjectName(name);
  return field;
}

}  // namespace

void SettingsDialog::BuildStartPage() {
  QWidget* page = AddPage("Start", "lstStart", "start");
  auto* layout = new QVBoxLayout(page);
  const std::pair<const char*, const char*> boxes[] = {
      {"chkShowSplashScreen", "Start.ShowSplashScreen"},
      {"chkRestoreWindowSize", "Start.RestoreWindowSize"},
      {"chkRestoreWindowPosition", "Start.RestoreWindowPosition"},
      {"chkAutoMinimizeAtStart", "Start.AutoMinimizeAtStart"},
  };
  for (const auto& [name, key] : boxes) {
    QCheckBox* box = CheckBox(page, name, name + 3);
    layout->addWidget(box);
    Bind(key, box);
  }
  // Not a setting: the autostart entry itself says whether the program starts with the session.
  autostart_ = CheckBox(page, "chkAutostart", "Start with the desktop session");
  autostart_->setChecked(AutostartEnabled());
  layout->addWidget(autostart_);
  layout->addStretch(1);
}

void SettingsDialog::BuildGeneralPage() {
  QWidget* page = AddPage("General", "lstGeneral", "general");
  auto* form = new QFormLayout(page);
  const struct {
    const char* label;
    const char* field;
    const char* key;
    const char* defaultValue;
  } numbers[] = {
      {"lblPort", "txtPort", "General.Port", "1000"},
      {"lblMaxTextLength", "txtMaxTextLength", "General.MaxTextLength", "256"},
      {"lblMaxUserCount", "txtMaxUserCount", "General.MaxUserCount", "256"},
      {"lblPingTimeout", "txtPingTimeout", "General.PingTimeout", "15"},
      {"lblPingDelay", "txtPingDelay", "General.PingDelay", "5"},
  };
  for (const auto& number : numbers) {
    QLineEdit* field = LineEdit(page, number.field);
    form->addRow(Label(page, number.label, number.label + 3), field);
    BindNumber(number.key, field, number.defaultValue);
  }
  QLineEdit* name = LineEdit(page, "txtAdministratorName");
  form->addRow(Label(page, "lblAdministratorName", "Administrator"), name);
  Bind("General.AdministratorName", name);
  QLineEdit* mail = LineEdit(page, "txtAdministratorEMail");
  form->addRow(Label(page, "lblAdministratorEMail", "E-mail"), mail);
  Bind("General.AdministratorEMail", mail);
  auto* description = new QPlainTextEdit(page);
  description->setObjectName("txtDescription");
  description->setMaximumHeight(80);
  form->addRow(Label(page, "lblDescription", "Description"), description);
  Bind("General.Description", description);
  const std::pair<const char*, const char*> boxes[] = {
      {"chkAllowGuests", "General.AllowGuests"},
      {"chkResetBytes", "General.ResetBytes"},
      {"chkShowToolbar", "General.ToolbarHeight"},
  };
  for (const auto& [boxName, key] : boxes) {
    QCheckBox* box = CheckBox(page, boxName, boxName + 3);
    form->addRow(box);
    Bind(key, box);
  }
}

void SettingsDialog::BuildIconsPage() {
  QWidget* page = AddPage("Icons", "lstIcons", "icons");
  auto* grid = new QGridLayout(page);
  // Two columns: the buttons' names are long in some languages and the page is narrow.
  constexpr int kColumns = 2;
  int row = 0;
  for (const ToolbarButton& button : ToolbarButtons()) {
    auto* image = new QLabel(page);
    image->setPixmap(ToolbarIcon(button.key).pixmap(24, 24));
    grid->addWidget(image, row / kColumns, (row % kColumns) * 2);
    const std::string tip = texts_.Data(button.tooltipKey, "frmServer");  // the button's own name
    grid->addWidget(new QLabel(tip.empty() ? QString::fromLatin1(button.key) : QtText(tip), page), row / kColumns,
                    (row % kColumns) * 2 + 1);
    ++row;
  }
  // The server status images, in the order of their numbers: ready, full, stopped, in use.
  static const char* const kStatusKeys[] = {"statusIconReady", "statusIconFull", "statusIconStopped", "statusIconUsed"};
  static const char* const kStatusNames[] = {"Online", "Full", "Offline", "Users online"};
  for (long icon = 0; icon < 4; ++icon, ++row) {
    auto* image = new QLabel(page);
    image->setPixmap(StatusIcon(icon).pixmap(24, 24));
    grid->addWidget(image, row / kColumns, (row % kColumns) * 2);
    const std::string name = Text(kStatusKeys[icon]);
    auto* label = new QLabel(name.empty() ? QString::fromLatin1(kStatusNames[icon]) : QtText(name), page);
    label->setObjectName(QString::fromLatin1(kStatusKeys[icon]));
    grid->addWidget(label, row / kColumns, (row % kColumns) * 2 + 1);
  }
  grid->setRowStretch(row / kColumns + 1, 1);
}

void SettingsDialog::BuildLanguagePage() {
  QWidget* page = AddPage("Language", "lstLanguage", "language");
  auto* layout = new QVBoxLayout(page);
  auto* box = new QComboBox(page);
  box->setObjectName("cboLanguage");
  const std::string directory = Paths().languageDirectory;
  for (const std::string& file : SplitLines(LanguageFile::EnumLanguages(directory))) {
    if (file.empty()) continue;
    const std::string name = LanguageFile::Info("LanguageName", directory + file);
    box->addItem(QtText(name.empty() ? file : name + " (" + file + ")"), QtText(file));
  }
  layout->addWidget(Label(page, "lblLanguage", "Language"));
  layout->addWidget(box);
  layout->addWidget(Label(page, "lblLanguageNextStart", "The language changes at the next start."));
  layout->addStretch(1);
  Bind("Info.Language", box);
}

}  // namespace velmorin
