#include "config/ReloadRefusal.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "codec/ProfileFile.hpp"
#include "i18n/LanguageFile.hpp"
#include "platform/Text.hpp"

namespace velmorin {

ReloadRefusal CheckProfileFileForReload(const std::string& file, const std::vector<std::string>& sections) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) {
    const int error = errno;
    const bool missing = error == ENOENT || error == ENOTDIR;
    return {missing ? ReloadRefusal::Why::Missing : ReloadRefusal::Why::Unreadable, error};
  }
  profile::Flush(file);  // read as it is now, not as the cache last saw it
  if (const int error = profile::ReadError(file); error != 0) return {ReloadRefusal::Why::Unreadable, error};
  if (!S_ISREG(info.st_mode)) return {ReloadRefusal::Why::Unreadable, EINVAL};
  if (info.st_size == 0) return {ReloadRefusal::Why::Empty, 0};
  for (const std::string& section : profile::SectionNames(file)) {
    for (const std::string& known : sections) {
      if (EqualsNoCase(section, known)) return {};
    }
  }
  return {ReloadRefusal::Why::NoSections, 0};
}

std::string SectionList(const std::vector<std::string>& sections) {
  std::string list;
  for (const std::string& section : sections) list += (list.empty() ? "[" : ", [") + section + "]";
  return list;
}

std::string ReloadRefusalText(const LanguageFile& language, const std::string& file, const ReloadRefusal& refusal,
                              const std::string& sections) {
  std::string reason;
  switch (refusal.why) {
    case ReloadRefusal::Why::Empty: reason = language.Data("reasonFileEmpty", "frmServer"); break;
    case ReloadRefusal::Why::NoSections:
      reason = ReplaceAll(language.Data("reasonFileHasNoSections", "frmServer"), "%sections", sections);
      break;
    default: reason = std::strerror(refusal.error); break;
  }
  return ReplaceAll(ReplaceAll(language.Data("msgReloadFailed", "frmServer"), "%file", file), "%error", reason);
}

}  // namespace velmorin
