#include "codec/modINI.hpp"

#include "codec/ProfileFile.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

std::string JoinLines(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& name : names) {
    list += name;
    list += "\r\n";
  }
  return list;
}

}  // namespace

std::string ReadIniValue(const IniName& section, const IniName& key, const std::string& defaultValue,
                         const std::string& file) {
  // Enumerations are returned whole: cutting a list would silently hide accounts, rooms or
  // rules from the server.
  if (!section) return JoinLines(profile::SectionNames(file));
  const std::string escaped = section->empty() ? *section : EscapeSectionName(*section, 0);
  if (!key) return JoinLines(profile::KeyNames(file, escaped));
  std::string value = profile::ReadValue(file, escaped, *key).value_or(defaultValue);
  if (value.size() > kMaxIniValueLength) value.resize(kMaxIniValueLength);
  return ReplaceAll(value, std::string_view("\0", 1), "\r\n");
}

long WriteIniValue(const IniName& section, const IniName& key, const IniName& value,
                   const std::string& file) {
  if (!section) {
    profile::Flush(file);
    return 0;
  }
  const std::string escaped = section->empty() ? *section : EscapeSectionName(*section, 0);
  if (!key) return profile::DeleteSection(file, escaped);
  if (!value) return profile::DeleteKey(file, escaped, *key);
  return profile::WriteValue(file, escaped, *key, *value);
}

std::string EscapeSectionName(const std::string& text, int direction) {
  switch (direction) {
    case 0: return ReplaceAll(ReplaceAll(text, "[", "<(>"), "]", "<)>");
    case 1: return ReplaceAll(ReplaceAll(text, "<(>", "["), "<)>", "]");
    default: return {};
  }
}

}  // namespace velmorin
