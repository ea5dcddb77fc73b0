#include "admin/SettingsPluginSession.hpp"

#include <algorithm>
#include <optional>
#include <utility>

#include "config/Settings.hpp"
#include "i18n/LocaleIds.hpp"
#include "platform/Text.hpp"
#include "plugins/PluginRegistry.hpp"

namespace velmorin {
namespace {

const std::string kHostWord = "settingsserver";
// Digits of the largest handle.
constexpr std::size_t kMaxHandleDigits = 10;

bool IsGeneral(const std::string& type) { return type == "general" || type == "generalserver"; }

// A handle in plain decimal digits, 1 to kMaxSettingsPageWindow.
std::optional<unsigned long> WindowHandle(const std::string& text) {
  if (text.empty() || text.size() > kMaxHandleDigits) return std::nullopt;
  unsigned long long value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value == 0 || value > kMaxSettingsPageWindow) return std::nullopt;
  return static_cast<unsigned long>(value);
}

// A title a tree entry can show on one line.
bool IsPageTitle(const std::string& title) {
  if (title.empty() || title.size() > kMaxSettingsPageTitle) return false;
  return std::none_of(title.begin(), title.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
}

}  // namespace

SettingsPluginSession::SettingsPluginSession(const PluginRegistry& plugins, PageListener listener)
    : plugins_(plugins), listener_(std::move(listener)) {}

SettingsPluginSession::~SettingsPluginSession() { Close(); }

SettingsPluginSession::Busy::~Busy() {
  if (--session_.busy_ == 0 && session_.closeWhenIdle_) session_.Close();
}

void SettingsPluginSession::StartGeneral() {
  for (long index = 0; index < plugins_.Count(); ++index) {
    if (IsGeneral(plugins_.PluginType(index))) Start(index);
  }
}

bool SettingsPluginSession::Start(long index) {
  if (closing_ || index < 0 || index >= plugins_.Count()) return false;
  const std::string ident = plugins_.PluginIdent(index);
  if (Owner(ident) != nullptr) return false;  // the first plugin with an identity wins
  {
    const Busy busy(*this);
    starting_ = Started{ident, plugins_.Component(index)};
    // A failed initialise is ignored, as for the running plugins: the instance is kept.
    StartGeneralPlugin(plugins_, index, objects_, callback_, SystemDefaultLocaleId(),
                       ServerSettings.General.AlwaysOnTop, kHostWord);
  }
  Started started = *std::exchange(starting_, std::nullopt);
  std::vector<SettingsPage> waiting = std::exchange(waiting_, {});
  if (objects_.Find(ident) == nullptr) return false;  // not created, or closed meanwhile
  started_.push_back(std::move(started));
  // The pages it added while it initialised, now that it is kept.
  for (SettingsPage& page : waiting) {
    if (closing_) break;
    pages_.push_back(std::move(page));
    const SettingsPage shown = pages_.back();  // the listener may add pages meanwhile
    listener_(shown);
  }
  return true;
}

const SettingsPluginSession::Started* SettingsPluginSession::Owner(const std::string& sender) const {
  if (starting_ && EqualsNoCase(starting_->ident, sender)) return &*starting_;
  for (const Started& started : started_) {
    if (EqualsNoCase(started.ident, sender)) return &started;
  }
  return nullptr;
}

bool SettingsPluginSession::Has(const std::string& component) const {
  return std::any_of(started_.begin(), started_.end(),
                     [&](const Started& started) { return EqualsNoCase(started.component, component); });
}

std::optional<std::string> SettingsPluginSession::ShowAbout(const std::string& component) {
  const auto found = std::find_if(started_.begin(), started_.end(),
                                  [&](const Started& started) { return EqualsNoCase(started.component, component); });
  if (closing_ || found == started_.end()) return std::nullopt;
  const std::string ident = found->ident;
  const Busy busy(*this);
  return objects_.Call(ident, "ShowAbout", "", "");
}

void SettingsPluginSession::SettingsChanged() {
  if (closing_) return;
  const Busy busy(*this);
  for (const auto& [ident, plugin] : objects_.Snapshot()) {
    if (closing_) break;
    objects_.Call(ident, "SettingsChanged", "", "");
  }
}

void SettingsPluginSession::Close() {
  closing_ = true;
  if (busy_ > 0) {
    closeWhenIdle_ = true;
    return;
  }
  closeWhenIdle_ = false;
  const Busy busy(*this);
  TerminatePlugins(objects_, callback_, kHostWord);
  started_.clear();
}

std::string SettingsPluginSession::Callback::command(const std::string& sender, const std::string& word,
                                                     const std::string& first, const std::string& second) {
  if (word != "AddSettingsPage") return {};
  return session_.AddSettingsPage(sender, first, second);
}

std::string SettingsPluginSession::AddSettingsPage(const std::string& sender, const std::string& handle,
                                                   const std::string& title) {
  if (closing_ || !listener_) return {};
  const Started* owner = Owner(sender);
  const std::optional<unsigned long> window = WindowHandle(handle);
  if (owner == nullptr || !window || !IsPageTitle(title)) return "invalid";
  const auto sameWindow = [&](const SettingsPage& page) { return page.window == *window; };
  if (std::any_of(pages_.begin(), pages_.end(), sameWindow) || std::any_of(waiting_.begin(), waiting_.end(), sameWindow)) {
    return "invalid";
  }
  const auto owned = [&](const SettingsPage& page) { return EqualsNoCase(page.ident, owner->ident); };
  const auto count = static_cast<std::size_t>(std::count_if(pages_.begin(), pages_.end(), owned) +
                                              std::count_if(waiting_.begin(), waiting_.end(), owned));
  if (count >= kSettingsPagesPerPlugin) return "full";
  SettingsPage page{owner->ident, owner->component, *window, title};
  if (starting_ && owner == &*starting_) {
    waiting_.push_back(std::move(page));  // shown once the plugin is kept
  } else {
    pages_.push_back(page);
    listener_(page);
  }
  return "done";
}

}  // namespace velmorin
