#pragma once
// Text filters applied to names, nicknames, comments and file names before they are stored,
// compared or used. None fails; each returns a new string.

#include <string>
#include <string_view>

namespace velmorin {

// Each of \ / : * ? " < > | becomes "_".
std::string MakeFileName(std::string_view text);

// Removes tab, LF, CR, space and no-break space (160) from both ends.
std::string TrimBlanks(std::string_view text);

// TrimBlanks that also removes "@" at both ends, then CleanText with 40.
std::string CleanNickname(std::string_view text);

// Trims spaces, keeps the first maxLength characters, turns '"' into "'", removes CR LF pairs.
// Because the cut comes before the CR LF removal, the result may be shorter than maxLength.
std::string CleanText(std::string_view text, long maxLength);

}  // namespace velmorin
