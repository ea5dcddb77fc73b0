#include "admin/SettingsForm.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <functional>
#include <limits>
#include <sstream>

#include "chat/RoomTable.hpp"
#include "i18n/LanguageFile.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

constexpr long kMaxStored = std::numeric_limits<std::int32_t>::max();  // the file's 32-bit longs
constexpr long kDefaultPort = 1000;
constexpr long kMaxUserCountLimit = 32768;
constexpr long kToolbarShown = 380;
constexpr long kMaxColor = 0xFFFFFF;
constexpr std::size_t kMaxNameLength = 64;
constexpr std::size_t kMaxDescriptionLength = 256;
constexpr std::size_t kMaxTextLength = 1024;  // any other text setting

using Record = ServerSettingsRecord;
using Getter = std::function<std::string(const Record&)>;
// False when the text does not convert; the record is changed only on success.
using Setter = std::function<bool(Record&, const std::string&)>;

struct Entry {
  std::string key;
  Getter get;
  Setter set;  // empty: read-only
};

bool HasControlCharacter(const std::string& text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
  }
  return false;
}

// Digits only, as the dialog's numeric fields accept; nothing for anything else or a value past
// the file's range. Empty gives 0 (not positive: the caller's default).
std::optional<long> Digits(const std::string& text) {
  if (text.size() > 10) return std::nullopt;
  long long value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > kMaxStored) return std::nullopt;
  return static_cast<long>(value);
}

// A numeric field of the General page: not positive gives the default.
std::optional<long> Numeric(const std::string& text, long defaultValue) {
  const std::optional<long> value = Digits(text);
  if (!value) return std::nullopt;
  return *value > 0 ? *value : defaultValue;
}

// Seconds or minutes with an optional fraction ("2.5"), times `factor`, truncated; not positive
// gives the default (in the field's unit).
std::optional<long> Scaled(const std::string& text, long factor, long defaultUnits) {
  if (text.empty() || text.size() > 16) return text.empty() ? std::optional<long>(defaultUnits * factor) : std::nullopt;
  int dots = 0;
  for (const char c : text) {
    if (c == '.') ++dots;
    else if (c < '0' || c > '9') return std::nullopt;
  }
  if (dots > 1 || text == ".") return std::nullopt;
  const double units = std::strtod(text.c_str(), nullptr);
  const double stored = std::trunc(units * static_cast<double>(factor));
  if (stored > static_cast<double>(kMaxStored)) return std::nullopt;
  if (stored < 1) return defaultUnits * factor;
  return static_cast<long>(stored);
}

std::string UnitsText(long stored, long factor) {
  if (stored % factor == 0) return std::to_string(stored / factor);
  std::ostringstream out;
  out.precision(6);
  out << static_cast<double>(stored) / static_cast<double>(factor);
  return out.str();
}

std::optional<bool> Flag(const std::string& text) {
  const std::string word = LowerCase(Trim(text));
  if (word == "1" || word == "true" || word == "yes" || word == "on") return true;
  if (word == "0" || word == "false" || word == "no" || word == "off") return false;
  return std::nullopt;
}

template <typename Group>
Entry BoolEntry(std::string key, Group Record::*group, bool Group::*field) {
  return {std::move(key), [=](const Record& r) { return std::string(BoolText(r.*group.*field)); },
          [=](Record& r, const std::string& text) {
            const std::optional<bool> value = Flag(text);
            if (!value) return false;
            r.*group.*field = *value;
            return true;
          }};
}

template <typename Group>
Entry NumberEntry(std::string key, Group Record::*group, long Group::*field, long defaultValue) {
  return {std::move(key), [=](const Record& r) { return std::to_string(r.*group.*field); },
          [=](Record& r, const std::string& text) {
            const std::optional<long> value = Numeric(Trim(text), defaultValue);
            if (!value) return false;
            r.*group.*field = *value;
            return true;
          }};
}

// A text field; longer texts are cut as the load cuts them.
template <typename Group>
Entry TextEntry(std::string key, Group Record::*group, std::string Group::*field, std::size_t maxLength) {
  return {std::move(key), [=](const Record& r) { return r.*group.*field; },
          [=](Record& r, const std::string& text) {
            if (HasControlCharacter(text) || text.size() > kMaxTextLength) return false;
            r.*group.*field = Left(text, static_cast<long>(maxLength));
            return true;
          }};
}

bool IsWindowText(const std::string& text) {
  const std::vector<std::string> parts = Split(text, ",");
  if (parts.size() != 4) return false;
  for (const std::string& part : parts) {
    const std::string digits = !part.empty() && part.front() == '-' ? part.substr(1) : part;
    if (digits.empty() || !Digits(digits)) return false;
  }
  return true;
}

std::vector<Entry> MakeEntries() {
  std::vector<Entry> entries;
  // The language page: one of the language files the program can use, by its file name. The
  // language is loaded at start, so a new choice shows from the next start on.
  entries.push_back({"Info.Language", [](const Record& r) { return r.Info.Language; },
                     [](Record& r, const std::string& text) {
                       for (const std::string& name :
                            SplitLines(LanguageFile::EnumLanguages(Paths().languageDirectory))) {
                         if (!name.empty() && EqualsNoCase(name, text)) {
                           r.Info.Language = name;
                           return true;
                         }
                       }
                       return false;
                     }});
  entries.push_back({"Info.Version", [](const Record& r) { return r.Info.Version; }, {}});
  entries.push_back(BoolEntry("Start.ShowSplashScreen", &Record::Start, &StartSettings::ShowSplashScreen));
  entries.push_back({"Start.Window", [](const Record& r) { return r.Start.Window; },
                     [](Record& r, const std::string& text) {
                       if (!IsWindowText(text)) return false;
                       r.Start.Window = text;
                       return true;
                     }});
  entries.push_back(BoolEntry("Start.Maximized", &Record::Start, &StartSettings::Maximized));
  entries.push_back(BoolEntry("Start.RestoreWindowSize", &Record::Start, &StartSettings::RestoreWindowSize));
  entries.push_back(BoolEntry("Start.RestoreWindowPosition", &Record::Start, &StartSettings::RestoreWindowPosition));
  entries.push_back(BoolEntry("Start.AutoMinimizeAtStart", &Record::Start, &StartSettings::AutoMinimizeAtStart));
  entries.push_back(BoolEntry("General.AlwaysOnTop", &Record::General, &GeneralSettings::AlwaysOnTop));
  entries.push_back(BoolEntry("General.ScrollLog", &Record::General, &GeneralSettings::ScrollLog));
  // The dialog's "toolbar shown" box: 380 when ticked, else 0.
  entries.push_back({"General.ToolbarHeight", [](const Record& r) { return std::to_string(r.General.ToolbarHeight); },
                     [](Record& r, const std::string& text) {
                       std::optional<bool> shown = Flag(text);
                       if (!shown) {
                         const std::optional<long> height = Digits(Trim(text));
                         if (!height) return false;
                         shown = *height > 0;
                       }
                       r.General.ToolbarHeight = *shown ? kToolbarShown : 0;
                       return true;
                     }});
  entries.push_back({"General.ToolbarOrder", [](const Record& r) { return r.General.ToolbarOrder; },
                     [](Record& r, const std::string& text) {
                       if (HasControlCharacter(text) || text.size() > kMaxTextLength) return false;
                       r.General.ToolbarOrder = ReplaceAll(text, " ", "");
                       return true;
                     }});
  entries.push_back(BoolEntry("General.ResetBytes", &Record::General, &GeneralSettings::ResetBytes));
  entries.push_back({"General.Port", [](const Record& r) { return std::to_string(r.General.Port); },
                     [](Record& r, const std::string& text) {
                       const std::optional<long> port = Numeric(Trim(text), kDefaultPort);
                       if (!port) return false;
                       r.General.Port = *port <= 65535 ? *port : kDefaultPort;
                       return true;
                     }});
  entries.push_back(TextEntry("General.AdministratorName", &Record::General, &GeneralSettings::AdministratorName,
                              kMaxNameLength));
  entries.push_back(TextEntry("General.AdministratorEMail", &Record::General, &GeneralSettings::AdministratorEMail,
                              kMaxNameLength));
  // Shown with line breaks; stored with "<br>" in their place.
  entries.push_back({"General.Description",
                     [](const Record& r) { return ReplaceAll(r.General.Description, "<br>", "\n"); },
                     [](Record& r, const std::string& text) {
                       std::string stored = ReplaceAll(ReplaceAll(ReplaceAll(text, "\r\n", "<br>"), "\n", "<br>"), "\r", "<br>");
                       if (HasControlCharacter(stored) || stored.size() > kMaxTextLength) return false;
                       r.General.Description = Left(stored, static_cast<long>(kMaxDescriptionLength));
                       return true;
                     }});
  entries.push_back(NumberEntry("General.MaxTextLength", &Record::General, &GeneralSettings::MaxTextLength, 256));
  entries.push_back({"General.MaxUserCount", [](const Record& r) { return std::to_string(r.General.MaxUserCount); },
                     [](Record& r, const std::string& text) {
                       const std::optional<long> count = Numeric(Trim(text), 256);
                       if (!count) return false;
                       r.General.MaxUserCount = std::min(*count, kMaxUserCountLimit);
                       return true;
                     }});
  entries.push_back({"General.PingTimeout", [](const Record& r) { return UnitsText(r.General.PingTimeout, 1000); },
                     [](Record& r, const std::string& text) {
                       const std::optional<long> ms = Scaled(Trim(text), 1000, 15);
                       if (!ms) return false;
                       r.General.PingTimeout = *ms;
                       return true;
                     }});
  entries.push_back({"General.PingDelay", [](const Record& r) { return UnitsText(r.General.PingDelay, 60000); },
                     [](Record& r, const std::string& text) {
                       const std::optional<long> ms = Scaled(Trim(text), 60000, 5);
                       if (!ms) return false;
                       r.General.PingDelay = *ms;
                       return true;
                     }});
  entries.push_back(BoolEntry("General.AllowGuests", &Record::General, &GeneralSettings::AllowGuests));
  // 0 turns the limit off, so only an empty field is the default.
  entries.push_back({"General.MaxConnectionRate", [](const Record& r) { return std::to_string(r.General.MaxConnectionRate); },
                     [](Record& r, const std::string& text) {
                       const std::optional<long> rate = Digits(Trim(text));
                       if (!rate) return false;
                       r.General.MaxConnectionRate = Trim(text).empty() ? 100 : *rate;
                       return true;
                     }});
  entries.push_back(BoolEntry("Chatrooms.AllowCreateChatroom", &Record::Chatrooms, &ChatroomSettings::AllowCreateChatroom));
  entries.push_back({"Chatrooms.StandardChatroom", [](const Record& r) { return r.Chatrooms.StandardChatroom; },
                     [](Record& r, const std::string& text) {
                       if (HasControlCharacter(text) || text.size() > kMaxTextLength) return false;
                       r.Chatrooms.StandardChatroom = Left(Trim(text), kMaxChatroomNameLength);
                       return true;
                     }});
  entries.push_back(BoolEntry("Log.ClearLogAtStart", &Record::Log, &LogSettings::ClearLogAtStart));
  entries.push_back(BoolEntry("Log.ClearLogAtSize", &Record::Log, &LogSettings::ClearLogAtSize));
  entries.push_back(NumberEntry("Log.ClearLogSize", &Record::Log, &LogSettings::ClearLogSize, 1000));
  entries.push_back(TextEntry("Log.FontName", &Record::Log, &LogSettings::FontName, kMaxNameLength));
  entries.push_back(NumberEntry("Log.FontSize", &Record::Log, &LogSettings::FontSize, 8));
  entries.push_back(BoolEntry("Log.FontBold", &Record::Log, &LogSettings::FontBold));
  entries.push_back(BoolEntry("Log.FontItalic", &Record::Log, &LogSettings::FontItalic));
  entries.push_back({"Log.Pattern", [](const Record& r) { return PatternToText(r.Log.Pattern); },
                     [](Record& r, const std::string& text) {
                       if (HasControlCharacter(text) || text.size() > kMaxTextLength) return false;
                       r.Log.Pattern = PatternToInternal(text);
                       return true;
                     }});
  for (std::size_t type = 0; type < kLogMessageTypeCount; ++type) {
    const std::string name(kLogMessageTypeNames[type]);
    entries.push_back({"LogMessages." + name + "_Color",
                       [type](const Record& r) { return std::to_string(r.LogMessages[type].Color); },
                       [type](Record& r, const std::string& text) {
                         const std::optional<long> color = Digits(Trim(text));
                         if (!color || Trim(text).empty() || *color > kMaxColor) return false;
                         r.LogMessages[type].Color = *color;
                         return true;
                       }});
    const bool bare = type == static_cast<std::size_t>(LogMessageType::ClientJoinedChatroom) ||
                      type == static_cast<std::size_t>(LogMessageType::SendingUserlist);
    entries.push_back({"LogMessages." + (bare ? name : name + "_Show"),
                       [type](const Record& r) { return std::string(BoolText(r.LogMessages[type].Show)); },
                       [type](Record& r, const std::string& text) {
                         const std::optional<bool> show = Flag(text);
                         if (!show) return false;
                         r.LogMessages[type].Show = *show;
                         return true;
                       }});
  }
  entries.push_back(BoolEntry("Logging.Enabled", &Record::Logging, &LoggingSettings::Enabled));
  entries.push_back(BoolEntry("Logging.LogNamingByDate", &Record::Logging, &LoggingSettings::LogNamingByDate));
  // A directory: absolute, and ending with "/" as the folder browser gives it.
  entries.push_back({"Logging.LogPath", [](const Record& r) { return r.Logging.LogPath; },
                     [](Record& r, const std::string& text) {
                       if (HasControlCharacter(text) || text.size() > kMaxTextLength || text.empty() ||
                           text.front() != '/') {
                         return false;
                       }
                       r.Logging.LogPath = text.back() == '/' ? text : text + "/";
                       return true;
                     }});
  entries.push_back(
      BoolEntry("WelcomeMessage.SendWelcomeMessage", &Record::WelcomeMessage, &WelcomeMessageSettings::SendWelcomeMessage));
  return entries;
}

const std::vector<Entry>& Entries() {
  static const std::vector<Entry> entries = MakeEntries();
  return entries;
}

const Entry* FindEntry(const std::string& key) {
  for (const Entry& entry : Entries()) {
    if (EqualsNoCase(entry.key, key)) return &entry;
  }
  return nullptr;
}

}  // namespace

const std::vector<std::string>& SettingsForm::Keys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> names;
    for (const Entry& entry : Entries()) names.push_back(entry.key);
    return names;
  }();
  return keys;
}

std::optional<std::string> SettingsForm::CanonicalKey(const std::string& key) {
  const Entry* entry = FindEntry(key);
  if (entry == nullptr) return std::nullopt;
  return entry->key;
}

std::optional<std::string> SettingsForm::Get(const std::string& key) const {
  const Entry* entry = FindEntry(key);
  if (entry == nullptr) return std::nullopt;
  return entry->get(settings);
}

std::optional<SettingRefusal> SettingsForm::Set(const std::string& key, const std::string& text) {
  const Entry* entry = FindEntry(key);
  if (entry == nullptr) return SettingRefusal{"noticeUnknownSetting", key, text};
  if (!entry->set) return SettingRefusal{"noticeReadOnlySetting", entry->key, text};
  Record changed = settings;
  if (!entry->set(changed, text)) return SettingRefusal{"noticeInvalidSetting", entry->key, text};
  settings = std::move(changed);
  return std::nullopt;
}

std::optional<std::string> FirstInvalidField(const SettingsForm& form) {
  const Record& r = form.settings;
  const GeneralSettings& g = r.General;
  if (g.Port < 1 || g.Port > 65535) return "General.Port";
  if (g.MaxUserCount < 1 || g.MaxUserCount > kMaxUserCountLimit) return "General.MaxUserCount";
  if (g.MaxTextLength < 1 || g.MaxTextLength > kMaxStored) return "General.MaxTextLength";
  if (g.PingTimeout < 1 || g.PingTimeout > kMaxStored) return "General.PingTimeout";
  if (g.PingDelay < 1 || g.PingDelay > kMaxStored) return "General.PingDelay";
  if (g.ToolbarHeight != 0 && g.ToolbarHeight != kToolbarShown) return "General.ToolbarHeight";
  if (g.AdministratorName.size() > kMaxNameLength || HasControlCharacter(g.AdministratorName)) {
    return "General.AdministratorName";
  }
  if (g.AdministratorEMail.size() > kMaxNameLength || HasControlCharacter(g.AdministratorEMail)) {
    return "General.AdministratorEMail";
  }
  if (g.Description.size() > kMaxDescriptionLength || HasControlCharacter(g.Description)) return "General.Description";
  if (r.Chatrooms.StandardChatroom.size() > static_cast<std::size_t>(kMaxChatroomNameLength)) return "Chatrooms.StandardChatroom";
  if (r.Log.ClearLogSize < 1 || r.Log.ClearLogSize > kMaxStored) return "Log.ClearLogSize";
  if (r.Log.FontSize < 1 || r.Log.FontSize > kMaxStored) return "Log.FontSize";
  if (HasControlCharacter(r.Logging.LogPath)) return "Logging.LogPath";
  if (form.welcomeText.size() > kMaxWelcomeTextBytes || form.welcomeText.find('\0') != std::string::npos) {
    return "WelcomeText";
  }
  return std::nullopt;
}

}  // namespace velmorin
