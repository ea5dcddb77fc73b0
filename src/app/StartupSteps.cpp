#include "app/StartupSteps.hpp"

#include <sys/stat.h>

#include <vector>

#include "codec/IniValues.hpp"
#include "config/Settings.hpp"
#include "i18n/LanguageFile.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/SecretFiles.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

void MakeDirectories(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (!prefix.empty()) ::mkdir(prefix.c_str(), 0755);
    if (slash == std::string::npos) break;
  }
}

void StoreLanguage(const std::string& file) { StoreLanguageSetting(file); }

}  // namespace

const char* const kNoLanguageMessage =
    "No Language files were found.\r\nEs wurden keine Sprachen gefunden.";

CommandLine ParseCommandLine(const std::string& line) {
  const std::string rest = line.empty() ? std::string() : Trim(line.substr(1), " ");
  const std::size_t colon = rest.find(':');
  if (colon == std::string::npos) return {LowerCase(rest), ""};
  return {LowerCase(rest.substr(0, colon)), Trim(rest.substr(colon + 1), " ")};
}

long PortOfCommandLine(const std::string& value) {
  // The leading numeric part: optional blanks and sign, digits, an optional fraction.
  std::size_t i = value.find_first_not_of(" \t");
  if (i == std::string::npos) return 0;
  std::size_t end = i;
  if (value[end] == '+' || value[end] == '-') ++end;
  while (end < value.size() && value[end] >= '0' && value[end] <= '9') ++end;
  if (end < value.size() && value[end] == '.') {
    ++end;
    while (end < value.size() && value[end] >= '0' && value[end] <= '9') ++end;
  }
  return ToLong(value.substr(i, end - i)).value_or(0);
}

int CreateProgramDirectories() {
  MakeDirectories(Paths().programDirectory);
  // config/ holds the passwords (users.cfg, chatrooms.cfg): created 0700, and an existing one
  // and those files lose what group and others may do.
  const int error = KeepSecretsPrivate();
  MakeDirectories(Paths().logDirectory);
  return error;
}

bool ChooseLanguageWithoutAsking(long systemLocaleId) {
  const std::vector<std::string> files =
      SplitLines(LanguageFile::EnumLanguages(Paths().languageDirectory));
  if (files.empty()) return false;
  if (files.size() == 1) {
    StoreLanguage(files.front());
    return true;
  }
  const std::string& configured = ServerSettings.Info.Language;
  if (!configured.empty() &&
      !LanguageFile::Info("languageIDs", Paths().languageDirectory + configured).empty()) {
    return true;
  }
  StoreLanguage(LanguageFile::FileOfLocale(Paths().languageDirectory, systemLocaleId));
  return true;
}

}  // namespace velmorin
