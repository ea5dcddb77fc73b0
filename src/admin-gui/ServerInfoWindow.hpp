#pragma once
// The server information window: address, name, status, port, persons, chatrooms, longest text,
// traffic and the three uptimes, from ServerAdmin::Figures: every second (the traffic and the
// uptimes move on their own), and at once when the server says its figures changed (Refresh).
// The server name is looked up again only when the address changes. Traffic and uptimes take the
// server's text forms (server/StatusTexts.hpp).

#include <QDialog>
#include <QLabel>
#include <QTimer>
#include <memory>
#include <string>

#include "i18n/LanguageFile.hpp"

namespace velmorin {

class AdminService;

class ServerInfoWindow : public QDialog {
  Q_OBJECT

 public:
  ServerInfoWindow(AdminService& admin, QWidget* parent);
  ~ServerInfoWindow() override;
  // Applies the [frmServerInfos] section; returns the keys it could not apply.
  std::vector<std::string> SetLanguage(const std::string& languageFile);
  void Refresh();
  QString Field(const char* name) const;

 private:
  QLabel* AddRow(const char* caption, const char* field, const QString& text);
  void RefreshUptimes();
  void LookUpName(const std::string& address);

  struct Lookup;
  AdminService& admin_;
  LanguageFile texts_;
  QTimer uptimeTimer_;
  QTimer lookupPoll_;
  std::shared_ptr<Lookup> lookup_;
  std::string lookedUp_;
};

// Opens the window, or raises the one already open; Refresh when the server changes.
void ShowServerInfos(AdminService& admin, QWidget& parent);
void RefreshServerInfosWindow(QWidget& parent);

}  // namespace velmorin
