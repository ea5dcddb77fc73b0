#include "admin/SettingsAdmin.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "admin/StoreRefusal.hpp"
#include "config/Accounts.hpp"
#include "config/BanRules.hpp"
#include "config/Settings.hpp"
#include "config/WelcomeMessage.hpp"
#include "i18n/LanguageFile.hpp"
#include "platform/AtomicFile.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/Text.hpp"
#include "server/ChatServer.hpp"

namespace velmorin {
namespace {

constexpr long kRed = 255;
constexpr long kDefaultPort = 1000;

std::string WithPlaceholders(std::string text, const std::vector<std::pair<std::string, std::string>>& values) {
  for (const auto& [placeholder, value] : values) text = ReplaceAll(text, placeholder, value);
  return text;
}

// Lines as the welcome file holds them: separated by CR LF, whatever ended them before.
std::string WithCrLf(const std::string& text) {
  return ReplaceAll(ReplaceAll(ReplaceAll(text, "\r\n", "\n"), "\r", "\n"), "\n", "\r\n");
}

bool IsAbsolute(const std::string& path) { return !path.empty() && path.front() == '/'; }

long UsablePort(long port) { return port >= 1 && port <= 65535 ? port : kDefaultPort; }

}  // namespace

std::string SettingsAdmin::SettingsText(const std::string& key) const {
  return server_.Language().Data(key, "frmSettings");
}

SettingsForm SettingsAdmin::Read() const {
  SettingsForm form;
  form.settings = ServerSettings;
  form.welcomeText = velmorin::WelcomeText;
  // The dialog's pages show what they would store: each value through its field's conversion.
  for (const std::string& key : SettingsForm::Keys()) {
    if (const std::optional<std::string> shown = form.Get(key)) form.Set(key, *shown);
  }
  return form;
}

AdminResult SettingsAdmin::Set(SettingsForm& form, const std::string& key, const std::string& value) const {
  const std::optional<SettingRefusal> refusal = form.Set(key, value);
  if (!refusal) return AdminResult::Done();
  return AdminResult::Refused(
      refusal->notice, WithPlaceholders(SettingsText(refusal->notice), {{"%key", refusal->key}, {"%value", refusal->value}}));
}

AdminResult SettingsAdmin::Confirm(const SettingsForm& form) {
  if (const std::optional<std::string> field = FirstInvalidField(form)) {
    return AdminResult::Refused("noticeInvalidSetting",
                                WithPlaceholders(SettingsText("noticeInvalidSetting"), {{"%key", *field}, {"%value", ""}}));
  }
  const std::string& room = form.settings.Chatrooms.StandardChatroom;
  if (!room.empty() && server_.Chatrooms().GetChatroomID(room) < 0) {
    return AdminResult::Refused("noticeChatroomDoesNotExist",
                                server_.Language().Data("noticeChatroomDoesNotExist", "frmSendServerMsg"));
  }

  const ServerSettingsRecord before = ServerSettings;
  // A new port is taken first: one that cannot be listened on refuses the whole change.
  // Compared as used: a stored port out of range runs as 1000, as the form shows it.
  const bool portChanged = UsablePort(form.settings.General.Port) != UsablePort(before.General.Port);
  if (portChanged) {
    if (AdminResult moved = MoveListenerTo(UsablePort(form.settings.General.Port)); !moved.ok()) return moved;
  }
  const auto moveBack = [&] {
    if (portChanged) MoveListenerTo(before.General.ActivePort);
  };

  const std::string oldWelcome = velmorin::WelcomeText;
  const bool welcomeChanged = form.welcomeText != oldWelcome;
  // The welcome text goes first: if either write fails, both are as they were.
  if (welcomeChanged) {
    if (AdminResult stored = StoreWelcomeText(form.welcomeText); !stored.ok()) {
      moveBack();
      return stored;
    }
  }
  const long activePort = ServerSettings.General.ActivePort;
  ServerSettings = form.settings;
  // The version is the running program's; the language is the page's choice, used from the next start.
  ServerSettings.Info.Version = before.Info.Version;
  ServerSettings.General.ActivePort = activePort;
  if (const int error = SaveSettings(); error != 0) {
    ServerSettings = before;
    if (welcomeChanged) {
      velmorin::WelcomeText = oldWelcome;
      SaveWelcomeMessage();
    }
    moveBack();
    return RefuseStore(server_, Paths().settingsFile, error);
  }
  ApplyToServer(portChanged);
  return AdminResult::Done(SettingsText("doneSettingsApplied"));
}

AdminResult SettingsAdmin::ConfirmChanges(const SettingsForm& opened, const SettingsForm& edited) {
  SettingsForm form = Read();
  for (const std::string& key : SettingsForm::Keys()) {
    const std::optional<std::string> value = edited.Get(key);
    if (!value || *value == opened.Get(key)) continue;
    if (AdminResult set = Set(form, key, *value); !set.ok()) return set;
  }
  if (edited.welcomeText != opened.welcomeText) form.welcomeText = edited.welcomeText;
  return Confirm(form);
}

AdminResult SettingsAdmin::MoveListenerTo(long port) {
  GeneralSettings& general = ServerSettings.General;
  const long before = general.ActivePort;
  general.ActivePort = port;
  if (server_.MoveListener().ok()) return AdminResult::Done();
  // MoveListener went back to the port it had, and logged why the new one failed.
  general.ActivePort = before;
  const std::string text = WithPlaceholders(server_.Language().Data("msgPortNotMoved"),
                                            {{"%port", std::to_string(port)}, {"%active", std::to_string(before)}});
  server_.Log().WriteLogLine(text + "\r\n", kRed);
  return AdminResult::Refused("msgPortNotMoved", text);
}

SettingsForm SettingsAdmin::Standard() const {
  const ServerSettingsRecord running = ServerSettings;
  ResetSettings();
  SettingsForm form;
  form.settings = ServerSettings;
  ServerSettings = running;
  form.welcomeText = server_.Language().Data("stdWelcomeMsg", "modMain");
  return form;
}

void SettingsAdmin::ApplyToServer(bool portChanged) {
  // A plugin may leave or stop the server while it hears the event: each is called by its
  // identity from a snapshot, and everything after looks at the server again.
  for (const auto& [ident, plugin] : server_.RunningPlugins().Snapshot()) {
    server_.RunningPlugins().Call(ident, "SettingsChanged", "", "");
  }
  // A port given on the command line holds until the port setting itself changes.
  if (portChanged) MoveListenerTo(UsablePort(ServerSettings.General.Port));
  server_.RestartDiscovery();
  server_.RestartLogging();
  BuildActiveAccountList();
  server_.RestartPingCycle();
  server_.FrontEnd().RefreshServerInfos();
}

AdminResult SettingsAdmin::ReloadFromDisk() {
  const auto refuse = [&](const std::string& file, const ReloadRefusal& refusal, const std::string& sections) {
    const std::string text = ReloadRefusalText(server_.Language(), file, refusal, sections);
    server_.Log().WriteLogLine(text + "\r\n", kRed);
    return AdminResult::Refused("msgReloadFailed", text);
  };
  // Every file is looked at before any is read, so that a refusal changes nothing.
  if (const ReloadRefusal refusal = CheckSettingsFileForReload()) {
    return refuse(Paths().settingsFile, refusal, SettingsSectionList());
  }
  if (const ReloadRefusal refusal = CheckUsersFileForReload()) return refuse(Paths().usersFile, refusal, "");
  if (const ReloadRefusal refusal = CheckBanFileForReload()) return refuse(Paths().banFile, refusal, BanSectionList());
  if (const ReloadRefusal refusal = CheckWelcomeFileForReload()) return refuse(Paths().welcomeFile, refusal, "");
  const long portBefore = ServerSettings.General.Port;
  if (const int error = LoadSettings(); error != 0) {
    return refuse(Paths().settingsFile, {ReloadRefusal::Why::Unreadable, error}, "");
  }
  LoadBanList();
  LoadWelcomeMessage();
  ApplyToServer(UsablePort(ServerSettings.General.Port) != UsablePort(portBefore));
  const std::string text = server_.Language().Data("msgReloaded");
  server_.Log().WriteLogLine(text + "\r\n", 0);
  return AdminResult::Done(text);
}

std::string SettingsAdmin::WelcomeText() const { return velmorin::WelcomeText; }

AdminResult SettingsAdmin::StoreWelcomeText(const std::string& text) {
  const std::string old = velmorin::WelcomeText;
  velmorin::WelcomeText = text;
  if (const int error = SaveWelcomeMessage(); error != 0) {
    velmorin::WelcomeText = old;
    return RefuseStore(server_, Paths().welcomeFile, error);
  }
  return AdminResult::Done();
}

AdminResult SettingsAdmin::SetWelcomeText(const std::string& text) {
  const std::string stored = WithCrLf(text);
  if (stored.size() > kMaxWelcomeTextBytes || stored.find('\0') != std::string::npos) {
    return AdminResult::Refused("noticeInvalidSetting",
                                WithPlaceholders(SettingsText("noticeInvalidSetting"), {{"%key", "WelcomeText"}, {"%value", ""}}));
  }
  if (AdminResult result = StoreWelcomeText(stored); !result.ok()) return result;
  return AdminResult::Done(SettingsText("doneWelcomeStored"));
}

AdminResult SettingsAdmin::ImportWelcomeText(const std::string& path) {
  const auto refuse = [&](const std::string& why) {
    return AdminResult::Refused("errorImport", SettingsText("errorImport") + why);
  };
  if (!IsAbsolute(path)) return refuse(std::strerror(EINVAL));
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return refuse(std::strerror(errno));
  // A device or a pipe could deliver without end; a text file has a size to check.
  if (!S_ISREG(info.st_mode)) return refuse(std::strerror(EINVAL));
  if (static_cast<unsigned long long>(info.st_size) > kMaxWelcomeTextBytes) return refuse(std::strerror(EFBIG));
  std::ifstream in(path, std::ios::binary);
  if (!in) return refuse(std::strerror(errno != 0 ? errno : EACCES));
  std::string content(kMaxWelcomeTextBytes + 1, '\0');
  in.read(content.data(), static_cast<std::streamsize>(content.size()));
  if (in.bad()) return refuse(std::strerror(EIO));
  content.resize(static_cast<std::size_t>(in.gcount()));
  if (content.size() > kMaxWelcomeTextBytes) return refuse(std::strerror(EFBIG));  // it grew meanwhile
  if (content.find('\0') != std::string::npos) return refuse(std::strerror(EINVAL));
  // As the welcome file is read: lines joined by CR LF, without the last one's.
  std::string text = WithCrLf(content);
  if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) text.resize(text.size() - 2);
  if (AdminResult result = StoreWelcomeText(text); !result.ok()) return result;
  return AdminResult::Done(SettingsText("doneWelcomeStored"));
}

AdminResult SettingsAdmin::ExportWelcomeText(const std::string& path) const {
  const int error = IsAbsolute(path) ? WriteFileAtomically(path, velmorin::WelcomeText + "\r\n") : EINVAL;
  if (error != 0) return AdminResult::Refused("errorExport", SettingsText("errorExport") + std::strerror(error));
  return AdminResult::Done(path);
}

AdminResult SettingsAdmin::ChooseLanguage(const std::string& file) {
  const std::vector<std::string> usable = SplitLines(LanguageFile::EnumLanguages(Paths().languageDirectory));
  if (file.empty() || std::find(usable.begin(), usable.end(), file) == usable.end()) {
    return AdminResult::Refused("invalidValue", "No usable language file " + file + " in " +
                                                    Paths().languageDirectory + ".");
  }
  const std::string before = ServerSettings.Info.Language;
  if (const int error = StoreLanguageSetting(file); error != 0) {
    ServerSettings.Info.Language = before;
    return RefuseStore(server_, Paths().settingsFile, error);
  }
  const std::string path = Paths().languageDirectory + file;
  // A fresh instance: an instance stays bound to the first file it was given.
  CurrentLanguage() = LanguageFile();
  CurrentLanguage().SetLanguage("modMain", path);
  server_.ApplyLanguage(path);
  return AdminResult::Done("The language is now " + file + ".");
}

}  // namespace velmorin
