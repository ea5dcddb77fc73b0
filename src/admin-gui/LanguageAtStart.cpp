#include "admin-gui/LanguageAtStart.hpp"

#include <optional>
#include <string>
#include <vector>

#include "admin-gui/AdminDialog.hpp"
#include "admin-gui/LanguageDialog.hpp"
#include "admin-gui/MainWindow.hpp"
#include "admin-gui/ServerInfoWindow.hpp"
#include "admin-gui/SystemInfoWindow.hpp"
#include "admin-gui/ToolbarDialog.hpp"
#include "admin/AdminService.hpp"
#include "config/Settings.hpp"
#include "i18n/LanguageFile.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

// The main window, its tray menu and the windows it has open, in the language of `file`.
void ApplyToWindows(MainWindow& window, const std::string& file) {
  window.SetLanguage(file);
  for (QWidget* child : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (auto* dialog = dynamic_cast<AdminDialog*>(child)) {
      dialog->SetLanguage(file);
    } else if (auto* infos = dynamic_cast<ServerInfoWindow*>(child)) {
      infos->SetLanguage(file);
    } else if (auto* system = dynamic_cast<SystemInfoWindow*>(child)) {
      system->SetLanguage(file);
    } else if (auto* toolbar = dynamic_cast<ToolbarDialog*>(child)) {
      toolbar->SetLanguage(file);
    }
  }
}

}  // namespace

bool LanguageQuestionDue() {
  const std::string& directory = Paths().languageDirectory;
  std::size_t usable = 0;
  for (const std::string& file : SplitLines(LanguageFile::EnumLanguages(directory))) usable += !file.empty();
  const std::string& configured = ServerSettings.Info.Language;
  return usable >= 2 && (configured.empty() || LanguageFile::Info("languageIDs", directory + configured).empty());
}

void AskLanguageOverWindow(MainWindow& window, AdminService& admin) {
  const std::string directory = Paths().languageDirectory;
  // Preselected: the running language, the automatic choice by the system's locale.
  const std::string running = ServerSettings.Info.Language;
  const std::optional<std::string> chosen = ChooseLanguageFile(directory, running, &window);
  if (!chosen || *chosen == running || window.Unloaded()) return;
  const AdminResult result = admin.Audit().RecordWindow("settings set Info.Language " + *chosen,
                                                       admin.Settings().ChooseLanguage(*chosen));
  if (result.ok()) ApplyToWindows(window, directory + *chosen);
}

}  // namespace velmorin
