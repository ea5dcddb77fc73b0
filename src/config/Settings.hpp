#pragma once
// The server's settings record and its file config/server.cfg.

#include <array>
#include <string>

#include "config/LogMessageType.hpp"
#include "config/ReloadRefusal.hpp"
#include "config/StoreSnapshot.hpp"

namespace velmorin {

struct InfoSettings {
  std::string Version;
  std::string Language;
};

struct StartSettings {
  bool ShowSplashScreen{};
  std::string Window;  // left,top,width,height; "0,0,0,0" means never saved
  bool Maximized{};
  bool RestoreWindowSize{};
  bool RestoreWindowPosition{};
  bool AutoMinimizeAtStart{};
};

struct GeneralSettings {
  bool AlwaysOnTop{};
  bool ScrollLog{};
  long ToolbarHeight{};
  std::string ToolbarOrder;  // held without spaces
  bool ResetBytes{};
  long Port{};
  std::string AdministratorName;
  std::string AdministratorEMail;
  std::string Description;  // line breaks held as "<br>"
  long MaxTextLength{};
  long MaxUserCount{};
  long PingTimeout{};  // milliseconds
  long PingDelay{};   // milliseconds
  bool AllowGuests{};
  long MaxConnectionRate{};  // new connections per second from one address; 0: no limit
  long ActivePort{};  // the port in use; never stored
};

struct ChatroomSettings {
  bool AllowCreateChatroom{};
  std::string StandardChatroom;
};

// Pattern placeholders in their internal form.
inline constexpr char kPatternMessage = '\x02';
inline constexpr char kPatternDate = '\x03';
inline constexpr char kPatternTime = '\x04';
inline constexpr char kPatternLongTime = '\x05';
inline constexpr char kPatternBreak = '\x06';

struct LogSettings {
  bool ClearLogAtStart{};
  bool ClearLogAtSize{};
  long ClearLogSize{};
  std::string FontName;
  long FontSize{};
  bool FontBold{};
  bool FontItalic{};
  std::string Pattern;  // internal form: placeholders as the codes above
};

struct LogMessageSetting {
  long Color{};  // 0x00BBGGRR
  bool Show{};
};

struct LoggingSettings {
  bool Enabled{};
  bool LogNamingByDate{};
  std::string LogPath;
};

struct WelcomeMessageSettings {
  bool SendWelcomeMessage{};
};

// Fields start at zero, false and empty; ResetSettings and LoadSettings give them their values.
struct ServerSettingsRecord {
  InfoSettings Info;
  StartSettings Start;
  GeneralSettings General;
  ChatroomSettings Chatrooms;
  LogSettings Log;
  std::array<LogMessageSetting, kLogMessageTypeCount> LogMessages;
  LoggingSettings Logging;
  WelcomeMessageSettings WelcomeMessage;
};

// The process-wide settings.
extern ServerSettingsRecord ServerSettings;

// Fills ServerSettings from the settings file; a missing file is created with every default.
// A file that exists but cannot be read is left as it is and nothing is loaded: returns its
// errno (0 on success), and the program must not start, or it would later write over it.
int LoadSettings();

// Writes every key (all but the plugin sections) in one atomic write; 0, the errno of the
// failed write, or kFileChangedOnDisk (nothing written) when the file changed on disk since it
// was last loaded or saved.
int SaveSettings();

// Whether a reload may read the settings file over the running settings: refused when it is
// missing, unreadable, empty, or holds none of the settings' sections.
ReloadRefusal CheckSettingsFileForReload();
// The sections the settings file holds, for the refusal's text: "[Info], [Start], ...".
std::string SettingsSectionList();

// Sets Info/Language in memory and in the file (only that key); 0 or the errno.
int StoreLanguageSetting(const std::string& languageFile);

// The save at program close: writes only when the settings changed in memory since they were
// loaded or saved; when the file changed on disk too, the file stays and the server's settings
// go beside it (see StoreSnapshot.hpp).
ShutdownSave SaveSettingsAtShutdown();

// Every field to its default and Version to the running version; Language and the plugin
// sections stay. Does not write the file.
void ResetSettings();

std::string PatternToInternal(const std::string& pattern);
std::string PatternToText(const std::string& pattern);

}  // namespace velmorin
