#pragma once
// The settings of the running server and its welcome text: read them into a form, confirm a
// changed form (checked first, stored, then applied to the running server), reset a form to the
// standard values, and re-read every configuration file from disk (what SIGHUP asks for).
//
// Applying settings, after they are stored or re-read: every running plugin hears
// "SettingsChanged"; the configured port becomes the active port (an online server moves its
// listener there, keeping its clients); the discovery socket opens again on it; the log file is
// closed and opened again; the active account list is rebuilt; the ping cycle starts again with
// its delay; the status is refreshed.

#include <string>

#include "admin/AdminResult.hpp"
#include "admin/SettingsForm.hpp"

namespace velmorin {

class clsServer;

class SettingsAdmin {
 public:
  explicit SettingsAdmin(clsServer& server) : server_(server) {}

  // The running settings and welcome text as the dialog fills its pages: numeric fields that are
  // not positive show their defaults, a port out of range shows 1000.
  SettingsForm Read() const;
  // A form's value by key, with the refusal named; for the key view of the command line.
  AdminResult Set(SettingsForm& form, const std::string& key, const std::string& value) const;
  // Checks every field, stores the welcome text and the settings, then applies them. A refusal
  // (a bad field, a standard chatroom that does not exist, a failed write) changes neither
  // memory nor files.
  AdminResult Confirm(const SettingsForm& form);
  // The standard values: every setting but the language at its default, and the language's
  // standard welcome text. Nothing is stored until the form is confirmed.
  SettingsForm Standard() const;
  // server.cfg, users.cfg, ban.cfg and welcome.msg read again and applied; rooms and
  // connections stay. Logged; refused (and nothing changed) when server.cfg cannot be read.
  AdminResult ReloadFromDisk();

  // The welcome text (lines separated by CR LF).
  std::string WelcomeText() const;
  // Stores a new welcome text; line feeds become CR LF.
  AdminResult SetWelcomeText(const std::string& text);
  // Reads a text file (absolute path, at most kMaxWelcomeTextBytes) and stores it as the text.
  AdminResult ImportWelcomeText(const std::string& path);
  // Writes the text to a file (absolute path), each line ending with CR LF.
  AdminResult ExportWelcomeText(const std::string& path) const;

 private:
  void ApplyToServer();
  std::string SettingsText(const std::string& key) const;
  // WelcomeText set and saved; put back when the save fails.
  AdminResult StoreWelcomeText(const std::string& text);

  clsServer& server_;
};

}  // namespace velmorin
