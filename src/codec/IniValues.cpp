#include "codec/IniValues.hpp"

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

// A value as a read hands it out: cut to the longest value, NUL shown as a line break.
std::string AsRead(std::string value) {
  if (value.size() > kMaxIniValueLength) value.resize(kMaxIniValueLength);
  return ReplaceAll(value, std::string_view("\0", 1), "\r\n");
}

std::string EscapedSection(const std::string& section) {
  return section.empty() ? section : EscapeSectionName(section, 0);
}

}  // namespace

std::string ReadIniValue(const IniName& section, const IniName& key, const std::string& defaultValue,
                         const std::string& file) {
  // Enumerations are returned whole: cutting a list would silently hide accounts, rooms or
  // rules from the server.
  if (!section) return JoinLines(profile::SectionNames(file));
  const std::string escaped = EscapedSection(*section);
  if (!key) return JoinLines(profile::KeyNames(file, escaped));
  return AsRead(profile::ReadValue(file, escaped, *key).value_or(defaultValue));
}

std::vector<std::string> ReadIniValues(const std::string& section, std::initializer_list<std::string_view> keys,
                                       const std::string& defaultValue, const std::string& file) {
  std::vector<std::string> values;
  values.reserve(keys.size());
  for (std::optional<std::string>& value : profile::ReadValues(file, EscapedSection(section), keys)) {
    values.push_back(AsRead(std::move(value).value_or(defaultValue)));
  }
  return values;
}

long WriteIniValue(const IniName& section, const IniName& key, const IniName& value,
                   const std::string& file) {
  if (!section) {
    profile::Flush(file);
    return 0;
  }
  const std::string escaped = EscapedSection(*section);
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
