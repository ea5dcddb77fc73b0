#pragma once
// The language chooser: the usable language files of a directory, each by the language's own
// name, one of them chosen. The first start's question shows its built-in texts, in both
// shipped languages, since the administrator may not read the automatic one; elsewhere the
// [frmLanguage] section of the current file applies.
//
//   LanguageDialog dialog(directory, current);   current: the file name chosen at the start
//   dialog.Files()                             the file names offered, in list order
//   dialog.Chosen()                            the file name selected now; empty for none
//   ChooseLanguageFile(directory, current, parent)
//                                              modal; the chosen file name, or nothing when
//                                              cancelled or when no file is usable

#include <QDialog>
#include <QListWidget>
#include <optional>
#include <string>
#include <vector>

namespace velmorin {

class LanguageDialog : public QDialog {
  Q_OBJECT

 public:
  LanguageDialog(const std::string& directory, const std::string& current, QWidget* parent = nullptr);

  const std::vector<std::string>& Files() const { return files_; }
  std::string Chosen() const;
  // Applies the [frmLanguage] section of a language file; the keys it could not apply.
  std::vector<std::string> SetLanguage(const std::string& languageFile);

 private:
  QListWidget* list_;
  std::vector<std::string> files_;
};

std::optional<std::string> ChooseLanguageFile(const std::string& directory, const std::string& current,
                                              QWidget* parent = nullptr);

}  // namespace velmorin
