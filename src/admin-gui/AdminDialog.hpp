#pragma once
// What the administrator's dialogs share: their language section, and the boxes they show.
//
//   AdminDialog dialog("frmUserInfos", parent);   the object name is the language file's section
//   dialog.SetLanguage(file)      applies [name] to the controls, loads [name.Data] for Text();
//                                 returns the keys it could not apply
//   Text(key)                     a text of [name.Data]
//   Notice(key)                   an information box with that text, titled "notice"
//   ShowRefusal(result)           the notice the administration named, with its text
//   Ask(text)                     a yes/no question titled "notice"
//   AcceptUnlessRefused(result)   a refusal shown with the dialog left open, else accepted
//   ConfirmNamed(button, ...)     an editor's confirm: a missing name refused, else its own part
//   AddConfirmRow(layout, ...)    the foot row: the default button that confirms, and Cancel
//
// Every box is a child of the dialog, so a test can find and answer it.

#include <QBoxLayout>
#include <QDialog>
#include <QPushButton>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "admin/AdminResult.hpp"
#include "i18n/LanguageFile.hpp"

namespace velmorin {

class AdminDialog : public QDialog {
  Q_OBJECT

 public:
  AdminDialog(const char* name, QWidget* parent);

  virtual std::vector<std::string> SetLanguage(const std::string& languageFile);
  std::string Text(const std::string& key) const;
  // The file SetLanguage was given last; the dialogs this one opens take it too.
  const std::string& LanguageFilePath() const { return languageFile_; }

  void Notice(const std::string& key);
  void ShowRefusal(const AdminResult& result);
  bool Ask(const std::string& question);
  // Shows a refusal and leaves the dialog open, or closes it accepted; returns `result`.
  const AdminResult& AcceptUnlessRefused(const AdminResult& result);
  // The confirm of an editor whose entry needs a name: without one it is refused with
  // "noticeMissingName", else `accept` decides; then as AcceptUnlessRefused. The button is off
  // meanwhile, so that a second click cannot confirm twice.
  AdminResult ConfirmNamed(QPushButton& button, bool nameGiven, const std::function<AdminResult()>& accept);

 protected:
  // Adds the row of the confirming button (the default one, named `objectName`, which runs
  // `confirm`) and Cancel (which rejects) at the foot of `layout`; returns the confirming button.
  QPushButton* AddConfirmRow(QBoxLayout& layout, const char* objectName, const char* caption,
                             std::function<void()> confirm);

  // Called after the language changed, for texts the code builds (titles, column heads).
  virtual void ApplyDataTexts() {}

 private:
  void ShowBox(const std::string& text);

  std::string name_;
  std::string languageFile_;
  std::unique_ptr<LanguageFile> texts_ = std::make_unique<LanguageFile>();
};

// The language file the window uses now.
std::string CurrentLanguageFile();

}  // namespace velmorin
