#pragma once
// Taking payloads apart and putting them together: fields are separated by NUL.

#include <string>
#include <string_view>
#include <vector>

#include "platform/Text.hpp"

namespace velmorin {

inline constexpr char kFieldSeparator = '\0';
inline constexpr std::string_view kFieldSeparatorText(&kFieldSeparator, 1);

// The NUL-separated fields, at least `atLeast` of them: missing ones are empty.
inline std::vector<std::string> PayloadFields(const std::string& payload, std::size_t atLeast) {
  std::vector<std::string> fields = Split(payload, kFieldSeparatorText);
  if (fields.size() < atLeast) fields.resize(atLeast);
  return fields;
}

// The payload up to its first NUL.
inline std::string FirstField(const std::string& payload) { return payload.substr(0, payload.find(kFieldSeparator)); }

inline std::string JoinFields(const std::vector<std::string>& parts, std::string_view separator = kFieldSeparatorText) {
  std::string joined;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) joined += separator;
    joined += parts[i];
  }
  return joined;
}

}  // namespace velmorin
