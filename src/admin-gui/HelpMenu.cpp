#include "admin-gui/HelpMenu.hpp"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>
#include <filesystem>

#include "admin-gui/GuiText.hpp"
#include "platform/ProgramPaths.hpp"

namespace velmorin {

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
    QMessageBox::information(&parent, "Velmorin Server",
                             path.empty() ? QStringLiteral("The user guide docs/user-guide.md is not installed.")
                                          : QString::fromStdString(path));
  }
}

QString AboutText() {
  return QStringLiteral("Velmorin Server %1\n\n").arg(QtText(RunningVersion())) +
         QStringLiteral(
             "This program uses:\n"
             "- Qt %1 (Widgets, Print Support), under the GNU Lesser General Public License version 3\n"
             "- libsodium, in the shipped encryption plugin, under the ISC licence\n"
             "- the C++ standard library of GCC, under the GPL version 3 with the GCC Runtime Library "
             "Exception\n")
             .arg(QString::fromLatin1(qVersion()));
}

void ShowAbout(QWidget& parent) { QMessageBox::about(&parent, QStringLiteral("About Velmorin Server"), AboutText()); }

}  // namespace velmorin
