#include "store/modWelcomeMsg.hpp"

#include <cstdio>
#include <fstream>

#include "i18n/clsLanguage.hpp"
#include "platform/AtomicFile.hpp"
#include "platform/Text.hpp"
#include "store/modPaths.hpp"
#include "store/modSettings.hpp"

namespace velmorin {

std::string WelcomeText;

namespace {

std::string TwoDigits(long long value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%02lld", value);
  return buffer;
}

std::string Join(const std::vector<std::string>& parts, std::string_view separator) {
  std::string joined;
  for (const std::string& part : parts) {
    if (!joined.empty()) joined += separator;
    joined += part;
  }
  return joined;
}

}  // namespace

void LoadWelcomeMessage() {
  std::ifstream in(Paths().welcomeFile, std::ios::binary);
  if (!in) {
    WelcomeText = CurrentLanguage().data("stdWelcomeMsg");
    return;
  }
  std::string text;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    text += line;
    text += "\r\n";
  }
  if (text.size() >= 2) text.resize(text.size() - 2);
  WelcomeText = std::move(text);
}

int SaveWelcomeMessage() { return WriteFileAtomically(Paths().welcomeFile, WelcomeText + "\r\n"); }

std::string BuildWelcomeText(const WelcomeFigures& figures, const WelcomeMessageEvent& event) {
  std::string text = event ? event(WelcomeText) : WelcomeText;
  const long long seconds = figures.onlineSeconds > 0 ? figures.onlineSeconds : 0;
  const GeneralSettings& general = ServerSettings.General;
  text = ReplaceAll(text, "%version", ServerSettings.Info.Version);
  text = ReplaceAll(text, "%users", std::to_string(figures.users));
  text = ReplaceAll(text, "%port", std::to_string(figures.port));
  text = ReplaceAll(text, "%maxusers", std::to_string(general.MaxUserCount));
  text = ReplaceAll(text, "%maxtextlen", std::to_string(general.MaxTextLength));
  text = ReplaceAll(text, "%ip", Join(figures.addresses, ", "));
  text = ReplaceAll(text, "%adminname", general.AdministratorName);
  text = ReplaceAll(text, "%adminmail", general.AdministratorEMail);
  text = ReplaceAll(text, "%ondays", std::to_string(seconds / 86400));
  text = ReplaceAll(text, "%onhours", TwoDigits(seconds % 86400 / 3600));
  return ReplaceAll(text, "%onminutes", TwoDigits(seconds % 3600 / 60));
}

}  // namespace velmorin
