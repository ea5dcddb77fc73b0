#pragma once
// The check of a text field an administrator gives (a name, password, comment, description).
// The dialogs clean such a field silently; from a command that would store something other than
// what was typed, so a field the cleaning would change is refused instead.
//
// Every text an administrator types reaches the server as Unicode (UTF-8 from velmorin-ctl,
// Qt's strings in the window) and is stored as Windows-1252. A character the code page lacks
// would be stored as '?', so a password "секрет" would become "??????"; CheckCarried refuses
// such a text instead, naming the characters.

#include <optional>
#include <string>
#include <vector>

#include "admin/AdminResult.hpp"
#include "platform/Charset.hpp"

namespace velmorin {

// Refused "invalidValue" naming `what` when the field holds control characters, blanks at its
// ends or more than maxLength characters; nothing when it is fine.
std::optional<AdminResult> CheckTextField(const std::string& what, const std::string& value, long maxLength);

// Refused "invalidValue" naming `what` and the characters when `uncarried` is not empty.
std::optional<AdminResult> CheckCarried(const std::string& what, const std::vector<UncarriedCharacter>& uncarried);

}  // namespace velmorin
