#include "codec/PayloadFields.hpp"

namespace velmorin {

std::vector<std::string> PayloadFields(std::string_view payload, std::size_t atLeast) {
  std::vector<std::string> fields;
  FieldCursor cursor(payload);
  while (!cursor.AtEnd()) fields.emplace_back(cursor.Next());
  if (fields.size() < atLeast) fields.resize(atLeast);
  return fields;
}

std::string JoinFields(const std::vector<std::string>& parts, std::string_view separator) {
  std::string joined;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) joined += separator;
    joined += parts[i];
  }
  return joined;
}

}  // namespace velmorin
