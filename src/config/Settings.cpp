#include "config/Settings.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "codec/IniValues.hpp"
#include "codec/ProfileFile.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/Text.hpp"

namespace velmorin {

ServerSettingsRecord ServerSettings{};

namespace {

constexpr const char* kDefaultToolbarOrder =
    "online,,clear,save,font,,alwaysontop,scroll,,userinfos,chatroomsinfos,showips,serverinfos,"
    "settings,,exit";
constexpr const char* kDefaultAdministratorEMail = "administrator@example.org";
constexpr const char* kDefaultPattern = "%date/%longtime: %message";
constexpr long kMaxUserCountLimit = 32768;
// New connections per second from one address. A client connects once per session and waits
// at least a second before it connects again: a hundred users behind one address who all
// reconnect in the same second still get in at once, while a client that connects without end
// is held to this rate.
constexpr const char* kDefaultMaxConnectionRate = "100";
// The default log directory, relative to the program directory: stored so, a copied program
// directory logs into its own logs/ rather than the original's.
constexpr const char* kDefaultLogPath = "logs/";

// The log directory as the server uses it: a relative one (the stored default among them) lies
// in the program directory, an empty one is the default; an absolute one stays as it is.
std::string ResolvedLogPath(const std::string& path) {
  if (path.empty()) return Paths().logDirectory;
  return path.front() == '/' ? path : Paths().programDirectory + path;
}

// The log directory as it is stored: the program directory's own is written relative.
std::string StoredLogPath(const std::string& path) {
  return path == Paths().logDirectory ? std::string(kDefaultLogPath) : path;
}

// The log message types whose visibility key is the bare entry name.
bool HasBareVisibilityKey(std::size_t type) {
  return type == static_cast<std::size_t>(LogMessageType::ClientJoinedChatroom) ||
         type == static_cast<std::size_t>(LogMessageType::SendingUserlist);
}

bool DefaultColorIsRed(std::size_t type) {
  return type >= static_cast<std::size_t>(LogMessageType::ErrorRaised);
}

bool DefaultVisibility(std::size_t type) {
  return type != static_cast<std::size_t>(LogMessageType::SendingWelcome) &&
         type != static_cast<std::size_t>(LogMessageType::SendingUserlist) &&
         type != static_cast<std::size_t>(LogMessageType::UnknownCommand);
}

// Calls visit(section, key, field, default text) for every stored key, in file order.
template <typename Visitor>
void VisitSettings(ServerSettingsRecord& s, Visitor&& visit) {
  visit("Info", "Language", s.Info.Language, "");
  visit("Info", "Version", s.Info.Version, RunningVersion());

  visit("Start", "ShowSplashScreen", s.Start.ShowSplashScreen, "1");
  visit("Start", "Window", s.Start.Window, "0,0,0,0");
  visit("Start", "Maximized", s.Start.Maximized, "0");
  visit("Start", "RestoreWindowSize", s.Start.RestoreWindowSize, "1");
  visit("Start", "RestoreWindowPosition", s.Start.RestoreWindowPosition, "1");
  visit("Start", "AutoMinimizeAtStart", s.Start.AutoMinimizeAtStart, "1");

  visit("General", "AlwaysOnTop", s.General.AlwaysOnTop, "0");
  visit("General", "ScrollLog", s.General.ScrollLog, "1");
  visit("General", "ToolbarHeight", s.General.ToolbarHeight, "380");
  visit("General", "ToolbarOrder", s.General.ToolbarOrder, kDefaultToolbarOrder);
  visit("General", "ResetBytes", s.General.ResetBytes, "1");
  visit("General", "Port", s.General.Port, "1000");
  visit("General", "AdministratorName", s.General.AdministratorName, "Unknown");
  visit("General", "AdministratorEMail", s.General.AdministratorEMail, kDefaultAdministratorEMail);
  visit("General", "Description", s.General.Description, "");
  visit("General", "MaxTextLength", s.General.MaxTextLength, "256");
  visit("General", "MaxUserCount", s.General.MaxUserCount, "256");
  visit("General", "PingTimeout", s.General.PingTimeout, "15000");
  visit("General", "PingDelay", s.General.PingDelay, "300000");
  visit("General", "AllowGuests", s.General.AllowGuests, "1");
  visit("General", "MaxConnectionRate", s.General.MaxConnectionRate, kDefaultMaxConnectionRate);

  visit("Chatrooms", "AllowCreateChatroom", s.Chatrooms.AllowCreateChatroom, "1");
  visit("Chatrooms", "StandardChatroom", s.Chatrooms.StandardChatroom, "");

  visit("Log", "ClearLogAtStart", s.Log.ClearLogAtStart, "1");
  visit("Log", "ClearLogAtSize", s.Log.ClearLogAtSize, "1");
  visit("Log", "ClearLogSize", s.Log.ClearLogSize, "1000");
  visit("Log", "FontName", s.Log.FontName, "Tahoma");
  visit("Log", "FontSize", s.Log.FontSize, "8");
  visit("Log", "FontBold", s.Log.FontBold, "0");
  visit("Log", "FontItalic", s.Log.FontItalic, "0");
  visit("Log", "Pattern", s.Log.Pattern, kDefaultPattern);

  for (std::size_t type = 0; type < kLogMessageTypeCount; ++type) {
    const std::string name(kLogMessageTypeNames[type]);
    visit("LogMessages", name + "_Color", s.LogMessages[type].Color,
          DefaultColorIsRed(type) ? "255" : "0");
    visit("LogMessages", HasBareVisibilityKey(type) ? name : name + "_Show",
          s.LogMessages[type].Show, DefaultVisibility(type) ? "1" : "0");
  }

  visit("Logging", "Enabled", s.Logging.Enabled, "0");
  visit("Logging", "LogNamingByDate", s.Logging.LogNamingByDate, "1");
  visit("Logging", "LogPath", s.Logging.LogPath, kDefaultLogPath);

  visit("WelcomeMessage", "SendWelcomeMessage", s.WelcomeMessage.SendWelcomeMessage, "1");
}

// Converts a text to a field; a value that does not convert leaves zero, false or empty.
void Assign(std::string& field, const std::string& text) { field = text; }
void Assign(long& field, const std::string& text) { field = ToLong(text).value_or(0); }
void Assign(bool& field, const std::string& text) { field = ToBool(text).value_or(false); }

std::string TextOf(const std::string& field) { return field; }
std::string TextOf(long field) { return std::to_string(field); }
std::string TextOf(bool field) { return BoolText(field); }

// The cuts and clamps applied to values read from the file.
void ApplyReadRules(ServerSettingsRecord& s) {
  s.General.ToolbarOrder = ReplaceAll(s.General.ToolbarOrder, " ", "");
  s.General.AdministratorName = Left(s.General.AdministratorName, 64);
  s.General.AdministratorEMail = Left(s.General.AdministratorEMail, 64);
  s.General.Description = Left(s.General.Description, 256);
  if (s.General.MaxUserCount > kMaxUserCountLimit) s.General.MaxUserCount = kMaxUserCountLimit;
  s.Chatrooms.StandardChatroom = Left(Trim(s.Chatrooms.StandardChatroom, " "), 40);
  s.Log.Pattern = PatternToInternal(s.Log.Pattern);
  s.Logging.LogPath = ResolvedLogPath(s.Logging.LogPath);
}

// The record as the file holds it: the pattern in its text form, the program directory's own log
// directory relative.
ServerSettingsRecord StoredForm(const ServerSettingsRecord& record) {
  ServerSettingsRecord stored = record;
  stored.Log.Pattern = PatternToText(stored.Log.Pattern);
  stored.Logging.LogPath = StoredLogPath(stored.Logging.LogPath);
  return stored;
}

// Every stored key as "section/key=value" lines: the settings' text form, for comparing the
// record in memory with the file.
std::string SettingsText(const ServerSettingsRecord& record) {
  ServerSettingsRecord stored = StoredForm(record);
  std::string text;
  VisitSettings(stored, [&](const char* section, const std::string& key, auto& field, const std::string&) {
    text.append(section).append("/").append(key).append("=").append(TextOf(field)).append("\n");
  });
  return text;
}

// The record the file gives, with the read rules applied.
ServerSettingsRecord ReadSettingsFile(const std::string& file) {
  ServerSettingsRecord record{};
  VisitSettings(record, [&](const char* section, const std::string& key, auto& field,
                            const std::string& defaultText) {
    Assign(field, ReadIniValue(section, key, defaultText, file));
  });
  ApplyReadRules(record);
  return record;
}

FileContent SettingsOnDisk(const std::string& file) {
  return ProfileStoreOnDisk(file, [&] { return SettingsText(ReadSettingsFile(file)); });
}

StoreSnapshot snapshot;

void TakeSnapshot() {
  snapshot = {SettingsText(ServerSettings), SettingsOnDisk(Paths().settingsFile), Paths().settingsFile};
}

int SaveSettingsTo(const std::string& file) {
  ServerSettingsRecord stored = StoredForm(ServerSettings);
  profile::ProfileBatch batch;
  long error = 0;
  VisitSettings(stored, [&](const char* section, const std::string& key, auto& field, const std::string&) {
    const long result = WriteIniValue(section, key, TextOf(field), file);
    if (error == 0) error = result;
  });
  const int committed = batch.Commit();
  return committed != 0 ? committed : static_cast<int>(error);
}

// The sections the settings live in, in file order.
const std::vector<std::string>& SettingsSections() {
  static const std::vector<std::string> sections = [] {
    std::vector<std::string> names;
    ServerSettingsRecord record{};
    VisitSettings(record, [&](const char* section, const std::string&, auto&, const std::string&) {
      if (std::find(names.begin(), names.end(), section) == names.end()) names.emplace_back(section);
    });
    return names;
  }();
  return sections;
}

}  // namespace

std::string PatternToInternal(const std::string& pattern) {
  std::string internal = ReplaceAll(pattern, "%message", std::string(1, kPatternMessage));
  internal = ReplaceAll(internal, "%date", std::string(1, kPatternDate));
  internal = ReplaceAll(internal, "%time", std::string(1, kPatternTime));
  internal = ReplaceAll(internal, "%longtime", std::string(1, kPatternLongTime));
  return ReplaceAll(internal, "%br", std::string(1, kPatternBreak));
}

std::string PatternToText(const std::string& pattern) {
  std::string text = ReplaceAll(pattern, std::string(1, kPatternMessage), "%message");
  text = ReplaceAll(text, std::string(1, kPatternDate), "%date");
  text = ReplaceAll(text, std::string(1, kPatternTime), "%time");
  text = ReplaceAll(text, std::string(1, kPatternLongTime), "%longtime");
  return ReplaceAll(text, std::string(1, kPatternBreak), "%br");
}

void ResetSettings() {
  const std::string language = ServerSettings.Info.Language;
  const long activePort = ServerSettings.General.ActivePort;
  VisitSettings(ServerSettings, [](const char*, const std::string&, auto& field,
                                   const std::string& defaultText) { Assign(field, defaultText); });
  ServerSettings.Info.Language = language;
  ServerSettings.General.ActivePort = activePort;
  ServerSettings.Log.Pattern = PatternToInternal(ServerSettings.Log.Pattern);
  ServerSettings.Logging.LogPath = ResolvedLogPath(ServerSettings.Logging.LogPath);
}

ReloadRefusal CheckSettingsFileForReload() {
  return CheckProfileFileForReload(Paths().settingsFile, SettingsSections());
}

std::string SettingsSectionList() { return SectionList(SettingsSections()); }

int LoadSettings() {
  const std::string& file = Paths().settingsFile;
  WriteIniValue(std::nullopt, std::nullopt, std::nullopt, file);
  // A file that is there but cannot be read must not be taken for a missing one: the defaults
  // would be written over the administrator's settings.
  if (const int error = profile::ReadError(file); error != 0) return error;
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) {
    // Created with every default; a failed write leaves the server on its defaults all the same.
    ResetSettings();
    SaveSettingsTo(file);
    TakeSnapshot();
    return 0;
  }
  const long activePort = ServerSettings.General.ActivePort;  // the command line's, never stored
  ServerSettings = ReadSettingsFile(file);
  ServerSettings.General.ActivePort = activePort;

  const std::string running = RunningVersion();
  if (ServerSettings.Info.Version != running) {
    ServerSettings.Info.Version = running;
    WriteIniValue("Info", "Version", running, file);
  }
  TakeSnapshot();
  return 0;
}

int SaveSettings() {
  const std::string& file = Paths().settingsFile;
  if (const int error = profile::ReadError(file); error != 0) return error;
  if (!MayOverwrite(snapshot, file, SettingsOnDisk(file))) return kFileChangedOnDisk;
  const int error = SaveSettingsTo(file);
  if (error == 0) TakeSnapshot();
  return error;
}

int StoreLanguageSetting(const std::string& languageFile) {
  ServerSettings.Info.Language = languageFile;
  const bool unchangedOnDisk = MayOverwrite(snapshot, Paths().settingsFile, SettingsOnDisk(Paths().settingsFile));
  const long error = WriteIniValue("Info", "Language", languageFile, Paths().settingsFile);
  // The same change on both sides is no change: the shutdown save need not write for it. A
  // hand edit made before stays unseen by the snapshot, so that no save overwrites it.
  if (error == 0 && unchangedOnDisk) TakeSnapshot();
  return static_cast<int>(error);
}

ShutdownSave SaveSettingsAtShutdown() {
  const std::string& file = Paths().settingsFile;
  return SaveStoreAtShutdown(snapshot, SettingsText(ServerSettings), file, SettingsOnDisk(file),
                             {SaveSettings, SaveSettingsTo});
}

}  // namespace velmorin
