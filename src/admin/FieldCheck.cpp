#include "admin/FieldCheck.hpp"

#include "config/TextFilters.hpp"

namespace velmorin {

std::optional<AdminResult> CheckTextField(const std::string& what, const std::string& value, long maxLength) {
  if (CleanText(value, maxLength) == value) return std::nullopt;
  return AdminResult::Refused("invalidValue", "The " + what +
                                                  " holds control characters, blanks at its ends or more than " +
                                                  std::to_string(maxLength) + " characters.");
}

std::optional<AdminResult> CheckCarried(const std::string& what, const std::vector<UncarriedCharacter>& uncarried) {
  if (uncarried.empty()) return std::nullopt;
  std::string names;
  for (const UncarriedCharacter& character : uncarried) names += (names.empty() ? "" : ", ") + NameOf(character);
  return AdminResult::Refused("invalidValue", "The " + what + " holds characters the server's code page "
                                              "(Windows-1252) cannot carry: " + names + ". Nothing was changed.");
}

}  // namespace velmorin
