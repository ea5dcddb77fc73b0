#pragma once
// The check of a text field an administrator gives (a name, password, comment, description).
// The dialogs clean such a field silently; from a command that would store something other than
// what was typed, so a field the cleaning would change is refused instead.

#include <optional>
#include <string>

#include "admin/AdminResult.hpp"

namespace velmorin {

// Refused "invalidValue" naming `what` when the field holds control characters, blanks at its
// ends or more than maxLength characters; nothing when it is fine.
std::optional<AdminResult> CheckTextField(const std::string& what, const std::string& value, long maxLength);

}  // namespace velmorin
