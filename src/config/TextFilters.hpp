#pragma once
// Text filters applied to names, nicknames, comments and file names before they are stored,
// compared or used. None fails; each returns a new string.

#include <string>
#include <string_view>

namespace velmorin {

// What CleanNickname keeps of a nickname.
inline constexpr long kMaxNicknameLength = 40;

// Each of \ / : * ? " < > | becomes "_".
std::string MakeFileName(std::string_view text);

// Removes tab, LF, CR, space and no-break space (160) from both ends.
std::string TrimBlanks(std::string_view text);

// Removes control characters, then TrimBlanks that also removes "@" at both ends, then CleanText
// with kMaxNicknameLength. What users see of a name is what the account and ban checks compare.
std::string CleanNickname(std::string_view text);

// Removes every control character (codes 0-31 and 127, so CR and LF too), trims spaces, keeps
// the first maxLength characters and turns '"' into "'".
std::string CleanText(std::string_view text, long maxLength);

}  // namespace velmorin
