#pragma once
// One value at a time from and to the INI configuration files.
//
// A null section, key or value (std::nullopt) is not the same as an empty one:
//   ReadIniValue(nullopt, ...)          lists every section name of the file
//   ReadIniValue(section, nullopt, ...) lists every key of the section
//   WriteIniValue(section, key, nullopt)     deletes the key
//   WriteIniValue(section, nullopt, ...)     deletes the section with all its keys
//   WriteIniValue(nullopt, nullopt, nullopt) drops the cached copy of the file
// Lists come as one string in which every name is followed by CR LF (SplitLines takes them
// apart). Section names are stored escaped ("[" as "<(>", "]" as "<)>"); names in lists are
// returned escaped and are unescaped by the caller with EscapeSectionName(name, 1).

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmorin {

using IniName = std::optional<std::string>;

// Longest value a read returns; longer values are cut.
inline constexpr std::size_t kMaxIniValueLength = 8190;

std::string ReadIniValue(const IniName& section, const IniName& key, const std::string& defaultValue,
                         const std::string& file);

// Several keys of one section (a section name, not a list request) from one look at the file:
// each as ReadIniValue would give it.
std::vector<std::string> ReadIniValues(const std::string& section, std::initializer_list<std::string_view> keys,
                                       const std::string& defaultValue, const std::string& file);

// 0 on success, else the errno of the failed write.
long WriteIniValue(const IniName& section, const IniName& key, const IniName& value,
                   const std::string& file);

// Direction 0 escapes brackets, direction 1 restores them; any other direction gives "".
std::string EscapeSectionName(const std::string& text, int direction);

}  // namespace velmorin
