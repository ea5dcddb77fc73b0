#pragma once
// The settings of the running server and its welcome text: read them into a form, confirm a
// changed form (checked first, stored, then applied to the running server), reset a form to the
// standard values, and re-read every configuration file from disk (what SIGHUP asks for).
//
// Applying settings, after they are stored or re-read: every running plugin hears
// "SettingsChanged"; when the port setting itself changed, the configured port becomes the
// active port (an online server moves its listener there, keeping its clients) — otherwise the
// active port stays, so a port given on the command line holds; the discovery socket opens again
// on the active port; the log file is closed and opened again; the active account list is
// rebuilt; the ping cycle starts again with its delay; the status is refreshed.
//
// A store is refused, and nothing changes, when its file changed on disk since the server last
// read or wrote it (a hand edit): the notice "msgChangedOnDisk" names the file and asks for a
// reload first, and the log says the same.

#include <string>

#include "admin/AdminResult.hpp"
#include "admin/SettingsForm.hpp"

namespace velmorin {

class ChatServer;

class SettingsAdmin {
 public:
  explicit SettingsAdmin(ChatServer& server) : server_(server) {}

  // The running settings and welcome text as the dialog fills its pages: numeric fields that are
  // not positive show their defaults, a port out of range shows 1000.
  SettingsForm Read() const;
  // A form's value by key, with the refusal named; for the key view of the command line.
  AdminResult Set(SettingsForm& form, const std::string& key, const std::string& value) const;
  // Checks every field, moves an online server's listener when the port changed, stores the
  // welcome text and the settings, then applies them. A refusal (a bad field, a standard
  // chatroom that does not exist, a port that cannot be listened on, a file changed on disk, a
  // failed write) changes neither memory, files nor the listener.
  AdminResult Confirm(const SettingsForm& form);
  // The settings dialog's OK: only the keys and the welcome text that differ between the form
  // as the dialog was opened and as it is confirmed go onto the running settings, so that what
  // changed meanwhile elsewhere (velmorin-ctl, a reload) stays. Then as Confirm.
  AdminResult ConfirmChanges(const SettingsForm& opened, const SettingsForm& edited);
  // The standard values: every setting but the language at its default, and the language's
  // standard welcome text. Nothing is stored until the form is confirmed.
  SettingsForm Standard() const;
  // server.cfg, users.cfg, ban.cfg and welcome.msg read again and applied; rooms and
  // connections stay. Logged; refused (and nothing changed) when a file would put defaults over
  // the running configuration: server.cfg missing, unreadable, empty or without any of its
  // sections; users.cfg unreadable; ban.cfg and welcome.msg as CheckBanFileForReload and
  // CheckWelcomeFileForReload say.
  AdminResult ReloadFromDisk();

  // A usable file of language/ by its name, stored in Info/Language and applied to the running
  // process at once: its language (CurrentLanguage) and the server's log lines, title and status
  // (ChatServer::ApplyLanguage). The windows take it from their own SetLanguage. Refused for a
  // file the program cannot use, and when the setting cannot be written.
  AdminResult ChooseLanguage(const std::string& file);

  // The welcome text (lines separated by CR LF).
  std::string WelcomeText() const;
  // Stores a new welcome text; line feeds become CR LF.
  AdminResult SetWelcomeText(const std::string& text);
  // Reads a text file (absolute path, at most kMaxWelcomeTextBytes) and stores it as the text.
  AdminResult ImportWelcomeText(const std::string& path);
  // Writes the text to a file (absolute path), each line ending with CR LF.
  AdminResult ExportWelcomeText(const std::string& path) const;

 private:
  // `portChanged`: the port setting itself changed, so the listener follows it.
  void ApplyToServer(bool portChanged);
  // ActivePort set to `port` and an online server's listener moved there; refused (logged, and
  // the listener and ActivePort as they were) when the port cannot be listened on.
  AdminResult MoveListenerTo(long port);
  std::string SettingsText(const std::string& key) const;
  // WelcomeText set and saved; put back when the save fails.
  AdminResult StoreWelcomeText(const std::string& text);

  ChatServer& server_;
};

}  // namespace velmorin
