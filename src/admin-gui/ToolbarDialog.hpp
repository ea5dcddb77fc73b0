#pragma once
// Adjusting the toolbar: the available buttons on the left, the current ones on the right (a
// "divider" entry for each separator); add, delete, move up and down. OK writes the current list
// into ToolbarOrder and calls `changed` (the main window rebuilds its toolbar).
//
//   ToolbarOrderOf(keys)   the order string of a list of keys, "" standing for a divider

#include <QDialog>
#include <QListWidget>
#include <functional>
#include <string>
#include <vector>

#include "i18n/LanguageFile.hpp"

namespace velmorin {

std::string ToolbarOrderOf(const std::vector<std::string>& keys);

class ToolbarDialog : public QDialog {
  Q_OBJECT

 public:
  ToolbarDialog(std::function<void()> changed, QWidget* parent);
  std::vector<std::string> SetLanguage(const std::string& languageFile);
  // Fills both lists from an order string.
  void Load(const std::string& order);
  // The current list as an order string.
  std::string Order() const;

  QListWidget& Available() { return *available_; }
  QListWidget& Current() { return *current_; }
  void AddSelected();
  void DeleteSelected();
  void MoveSelected(int by);
  void accept() override;

 private:
  QListWidgetItem* Item(const std::string& key) const;

  std::function<void()> changed_;
  LanguageFile texts_;
  QListWidget* available_;
  QListWidget* current_;
};

void ShowAdjustToolbar(QWidget& parent, std::function<void()> changed);

}  // namespace velmorin
