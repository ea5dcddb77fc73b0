#include "admin-gui/HelpMenu.hpp"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>
#include <filesystem>

#include "admin-gui/GuiText.hpp"
#include "i18n/LanguageFile.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

// A text of the [HelpMenu.Data] section of the language file, or the English one.
QString HelpText(const char* key, const char* english) {
  const std::string text = CurrentLanguage().Data(key, "HelpMenu");
  return text.empty() ? QString::fromUtf8(english) : QtText(text);
}

}  // namespace

std::string UserGuidePath() {
  std::vector<std::string> candidates{Paths().programDirectory + "docs/user-guide.md"};
#ifdef VELMORIN_SOURCE_DOCS
  candidates.push_back(std::string(VELMORIN_SOURCE_DOCS) + "/user-guide.md");
#endif
  for (const std::string& path : candidates) {
    std::error_code ignored;
    if (std::filesystem::is_regular_file(path, ignored)) return path;
  }
  return {};
}

void ShowUserGuide(QWidget& parent) {
  const std::string path = UserGuidePath();
  if (path.empty() || !QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)))) {
    const QString text = path.empty() ? HelpText("errorNoGuide", "The user guide docs/user-guide.md is not installed.")
                                      : HelpText("errorOpenGuide", "The user guide could not be opened:") + "\n" +
                                            QString::fromStdString(path);
    QMessageBox::information(&parent, HelpText("titleGuide", "User guide"), text);
  }
}

QString AboutText() {
  // The licence names stay as their authors wrote them, in every language.
  return QStringLiteral("Velmorin Server %1\n\n").arg(QtText(RunningVersion())) +
         HelpText("textUses", "This program uses:") + "\n" +
         QStringLiteral("- Qt %1 (Widgets, Print Support): GNU Lesser General Public License version 3\n")
             .arg(QString::fromLatin1(qVersion())) +
         HelpText("textSodium", "- libsodium, in the shipped encryption plugin") + ": ISC License\n" +
         HelpText("textRuntime", "- the C++ standard library of GCC") +
         ": GNU General Public License version 3 with the GCC Runtime Library Exception\n";
}

void ShowAbout(QWidget& parent) { QMessageBox::about(&parent, HelpText("titleAbout", "About Velmorin Server"), AboutText()); }

}  // namespace velmorin
