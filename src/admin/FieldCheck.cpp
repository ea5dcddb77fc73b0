#include "admin/FieldCheck.hpp"

#include "platform/modFilter.hpp"

namespace velmorin {

std::optional<AdminResult> CheckTextField(const std::string& what, const std::string& value, long maxLength) {
  if (CleanText(value, maxLength) == value) return std::nullopt;
  return AdminResult::Refused("invalidValue", "The " + what +
                                                  " holds control characters, blanks at its ends or more than " +
                                                  std::to_string(maxLength) + " characters.");
}

}  // namespace velmorin
