// The control commands "settings", "welcome" and "reload".

#include "admin/SettingsControl.hpp"

#include "admin/AdminService.hpp"
#include "admin/ControlWords.hpp"
#include "admin/SettingsAdmin.hpp"

namespace velmorin {
namespace {

constexpr const char* kSettingsUsage =
    "usage: settings get [KEY] | settings set KEY VALUE [KEY VALUE...] | settings reset [--yes]";
constexpr const char* kWelcomeUsage =
    "usage: welcome get | welcome set TEXT... | welcome import PATH | welcome export PATH";

ControlReply SettingsReset(SettingsAdmin& settings, const std::vector<std::string>& words) {
  const bool confirmed = words.size() == 2 && words[1] == "--yes";
  if (words.size() != 1 && !confirmed) return ControlReply::Usage(kSettingsUsage);
  if (!confirmed) {
    return ControlReply::From(AdminResult::Refused(
        "notConfirmed", "Every setting and the welcome text go back to their standard values. Add --yes to reset them."));
  }
  return ControlReply::From(settings.Confirm(settings.Standard()));
}

ControlReply SettingsGet(SettingsAdmin& settings, const std::vector<std::string>& words) {
  const SettingsForm form = settings.Read();
  ControlReply reply;
  if (words.size() == 1) {
    reply.table.columns = {"key", "value"};
    for (const std::string& key : SettingsForm::Keys()) reply.table.rows.push_back({key, *form.Get(key)});
    return reply;
  }
  if (words.size() != 2) return ControlReply::Usage(kSettingsUsage);
  const std::optional<std::string> key = SettingsForm::CanonicalKey(words[1]);
  if (!key) {
    SettingsForm probe = form;
    return ControlReply::From(settings.Set(probe, words[1], ""));
  }
  reply.fields.emplace_back(*key, *form.Get(*key));
  return reply;
}

ControlReply SettingsSet(SettingsAdmin& settings, const std::vector<std::string>& words) {
  if (words.size() < 3 || words.size() % 2 == 0) return ControlReply::Usage(kSettingsUsage);
  SettingsForm form = settings.Read();
  // What each key holds after the dialog's conversions, so a script sees a port outside
  // 1-65535 turned into 1000 rather than finding it out later.
  std::vector<std::pair<std::string, std::string>> stored;
  std::string converted;
  for (std::size_t i = 1; i + 1 < words.size(); i += 2) {
    if (AdminResult result = settings.Set(form, words[i], words[i + 1]); !result.ok()) return ControlReply::From(result);
    const std::string key = SettingsForm::CanonicalKey(words[i]).value_or(words[i]);
    const std::string value = form.Get(key).value_or("");
    if (value != words[i + 1]) converted += " " + key + " " + words[i + 1] + " becomes " + value + ".";
    stored.emplace_back(key, value);
  }
  ControlReply reply = ControlReply::From(settings.Confirm(form));
  if (reply.status != ControlStatus::Done) return reply;
  reply.fields = std::move(stored);
  if (!converted.empty()) reply.message += (reply.message.empty() ? "Converted:" : " Converted:") + converted;
  return reply;
}

ControlReply Settings(SettingsAdmin& settings, const ControlRequest& request) {
  const std::vector<std::string>& words = request.words;
  if (words.empty()) return ControlReply::Usage(kSettingsUsage);
  if (words[0] == "get") return SettingsGet(settings, words);
  if (words[0] == "set") return SettingsSet(settings, words);
  if (words[0] == "reset") return SettingsReset(settings, words);
  return ControlReply::Usage(kSettingsUsage);
}

ControlReply Welcome(SettingsAdmin& settings, const ControlRequest& request) {
  const std::vector<std::string>& words = request.words;
  if (words.empty()) return ControlReply::Usage(kWelcomeUsage);
  if (words[0] == "get" && words.size() == 1) {
    ControlReply reply;
    reply.fields.emplace_back("text", settings.WelcomeText());
    return reply;
  }
  if (words[0] == "set" && words.size() >= 2) {
    return ControlReply::From(settings.SetWelcomeText(JoinControlWords(words, 1)));
  }
  const bool withPath = words.size() == 2 && !words[1].empty() && words[1].front() == '/';
  if (words[0] == "import" && withPath) return ControlReply::From(settings.ImportWelcomeText(words[1]));
  if (words[0] == "export" && withPath) return ControlReply::From(settings.ExportWelcomeText(words[1]));
  return ControlReply::Usage(kWelcomeUsage);
}

}  // namespace

void RegisterSettingsControl(ControlRegistry& registry, AdminService& admin) {
  SettingsAdmin& settings = admin.Settings();
  registry.Add("settings", [&settings](const ControlRequest& request) { return Settings(settings, request); });
  registry.Add("welcome", [&settings](const ControlRequest& request) { return Welcome(settings, request); });
  registry.Add("reload", [&settings](const ControlRequest& request) {
    if (!request.words.empty()) return ControlReply::Usage("usage: reload");
    return ControlReply::From(settings.ReloadFromDisk());
  });
}

}  // namespace velmorin
