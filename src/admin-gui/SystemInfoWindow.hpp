#pragma once
// The system information window: the system report (machine, program, operating system) as a
// tree under three headings, with Refresh and Save (plain text).

#include <QDialog>
#include <QTreeWidget>
#include <string>
#include <utility>
#include <vector>

#include "i18n/LanguageFile.hpp"

namespace velmorin {

class AdminService;

class SystemInfoWindow : public QDialog {
  Q_OBJECT

 public:
  SystemInfoWindow(AdminService& admin, QWidget* parent);
  std::vector<std::string> SetLanguage(const std::string& languageFile);
  void Refresh();
  // The shown report as text: a heading line, then "label: value" lines.
  std::string ReportText() const;

 private:
  void Save();

  AdminService& admin_;
  LanguageFile texts_;
  LanguageFile labels_;
  QTreeWidget* tree_;
};

void ShowSystemInfos(AdminService& admin, QWidget& parent);

}  // namespace velmorin
