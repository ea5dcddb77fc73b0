#pragma once
// A copy of every stored setting as the settings dialog holds it, and the welcome text. Nothing
// here touches the running server: SettingsAdmin reads a form from it and confirms a form into it.
//
// The key view is for the command line. A key is the setting's section and its key in
// server.cfg joined by a dot ("General.Port", "LogMessages.Connected_Color"), matched without
// regard to case. Values are shown and taken as the dialog shows them: the ping timeout in
// seconds, the ping delay in minutes, the description with line breaks, Booleans as 1 or 0. Set
// applies the dialog's conversions: a port outside 1 to 65535 becomes 1000, a user limit above
// 32768 becomes 32768, a numeric field that is not a positive number becomes its default, the
// toolbar height becomes 0 or 380.

#include <optional>
#include <string>
#include <vector>

#include "config/Settings.hpp"

namespace velmorin {

// Why Set refused a value; `notice` is the language key of the refusal's text.
struct SettingRefusal {
  std::string notice;  // "noticeUnknownSetting", "noticeInvalidSetting" or "noticeReadOnlySetting"
  std::string key;
  std::string value;
};

// The longest welcome text a form, an import or a control request may hold.
inline constexpr std::size_t kMaxWelcomeTextBytes = 64 * 1024;

struct SettingsForm {
  ServerSettingsRecord settings;  // ActivePort is not part of the form
  std::string welcomeText;        // lines separated by CR LF

  // Every key of the key view, in file order.
  static const std::vector<std::string>& Keys();
  // The key as Keys() spells it; nothing for an unknown key.
  static std::optional<std::string> CanonicalKey(const std::string& key);
  // The value as the dialog shows it; nothing for an unknown key.
  std::optional<std::string> Get(const std::string& key) const;
  // Converts and stores the value; a refusal leaves the form as it was.
  std::optional<SettingRefusal> Set(const std::string& key, const std::string& text);
};

// The checks a form must pass before it is confirmed: what Set guarantees, tested again for a
// form filled in field by field. The name of the first field that fails, or nothing.
std::optional<std::string> FirstInvalidField(const SettingsForm& form);

}  // namespace velmorin
