#include "i18n/LanguageFile.hpp"

#include <dirent.h>

#include <algorithm>
#include <vector>

#include "codec/IniValues.hpp"
#include "i18n/LocaleIds.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

constexpr const char* kInfoSection = "VM3SLF";

std::vector<std::string> LanguageFileNames(const std::string& directory) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() > 4 && EqualsNoCase(std::string_view(name).substr(name.size() - 4), ".lng")) {
      names.push_back(name);
    }
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

std::string WithSlash(const std::string& directory) {
  return directory.empty() || directory.back() == '/' ? directory : directory + "/";
}

}  // namespace

std::string DecodeLanguageText(const std::string& value) {
  return ReplaceAll(ReplaceAll(value, "<SP>", " "), "<BR>", "\r\n");
}

std::string LanguageFile::EnumLanguages(const std::string& directory) {
  const std::string running = RunningVersion();
  std::string list;
  for (const std::string& name : LanguageFileNames(directory)) {
    const std::string path = WithSlash(directory) + name;
    if (Info("languageIDs", path).empty()) continue;
    // Versions compare as text, character by character.
    if (running < Info("VelmorinVersion", path)) continue;
    list += name + "\r\n";
  }
  return list;
}

std::string LanguageFile::FileOfLocale(const std::string& directory, long localeId) {
  std::vector<std::string> files;
  for (const std::string& file : SplitLines(EnumLanguages(directory))) {
    if (!file.empty()) files.push_back(file);
  }
  const auto listing = [&](long id) -> std::string {
    // Built by appending: "," + std::string trips a false -Wrestrict warning of GCC 12.
    std::string wanted = ",";
    wanted += std::to_string(id);
    wanted += ',';
    for (const std::string& file : files) {
      if (("," + Info("languageIDs", WithSlash(directory) + file) + ",").find(wanted) != std::string::npos) return file;
    }
    return {};
  };
  std::string file = listing(localeId);
  if (file.empty()) file = listing(LocaleIdOfName("C"));
  if (file.empty() && !files.empty()) file = files.front();
  return file;
}

std::string LanguageFile::Info(const std::string& key, const std::string& file) {
  return DecodeLanguageText(ReadIniValue(kInfoSection, key, "", file));
}

std::vector<std::string> LanguageFile::SetLanguage(const std::string& windowName, const std::string& file,
                                                  LanguageTarget* window) {
  std::vector<std::string> refused;
  const std::string ids = ReadIniValue(kInfoSection, "languageIDs", "", file);
  if (ids.empty()) return refused;
  if (!set_) {
    section_ = windowName;
    file_ = file;
    set_ = true;
    languageId_ = ids.substr(0, ids.find(','));
  }
  if (window != nullptr) {
    for (const std::string& key : SplitLines(ReadIniValue(windowName, std::nullopt, "", file_))) {
      const std::vector<std::string> parts = Split(key, ".");
      if (parts.size() < 2 || parts.size() > 4) continue;
      const std::string value = DecodeLanguageText(ReadIniValue(windowName, key, "", file_));
      if (parts.size() == 2) {
        window->SetControlProperty(parts[0], parts[1], std::nullopt, value);
        continue;
      }
      const std::optional<long> first = ToLong(parts[2]);
      const std::optional<long> last = parts.size() == 4 ? ToLong(parts[3]) : first;
      if (!first || !last) continue;
      // A range reaching past what a control array holds would mean billions of calls.
      if (*first < 0 || *last > kMaxControlIndex) {
        refused.push_back(key);
        continue;
      }
      for (long index = *first; index <= *last; ++index) {
        window->SetControlProperty(parts[0], parts[1], static_cast<int>(index), value);
      }
    }
  }
  const std::string dataSection = section_ + ".Data";
  for (const std::string& key : SplitLines(ReadIniValue(dataSection, std::nullopt, "", file_))) {
    dataTexts_[LowerCase(key)] = DecodeLanguageText(ReadIniValue(dataSection, key, "", file_));
  }
  return refused;
}

std::string LanguageFile::Data(const std::string& key, const std::string& section) const {
  if (section.empty()) {
    auto it = dataTexts_.find(LowerCase(key));
    return it == dataTexts_.end() ? std::string() : it->second;
  }
  return DecodeLanguageText(ReadIniValue(section + ".Data", key, "", file_));
}

std::string LanguageFile::LanguageName() const {
  const long id = ToLong(languageId_).value_or(0);
  if (id == 0) return Info("LanguageName", file_);
  return LocaleDisplayName(id);
}

LanguageFile& CurrentLanguage() {
  static LanguageFile language;
  return language;
}

}  // namespace velmorin
