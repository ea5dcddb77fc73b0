#pragma once
// Byte-string helpers shared by every subsystem. A text is a std::string of bytes in
// Windows-1252: one byte is one character, as on the wire and in the files.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmorin {

// Lower-cases ASCII and the Latin-1 capitals of Windows-1252 (plus its three extra capitals).
char LowerChar(char c);
std::string LowerCase(std::string_view text);

// Equality without regard to case, as LowerCase defines it.
bool EqualsNoCase(std::string_view a, std::string_view b);

// Every occurrence of `from` replaced by `to`, scanning left to right. An empty `from` changes nothing.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// Splits at every separator; "a,,b" gives three pieces and "" gives one empty piece.
std::vector<std::string> Split(std::string_view text, std::string_view separator);

// Splits a CR LF terminated list (as the INI enumerations return) into its names,
// ignoring the empty piece after the last terminator.
std::vector<std::string> SplitLines(std::string_view list);

// The first `count` characters (all of them when the text is shorter; none for count <= 0).
std::string Left(std::string_view text, long count);

// Removes leading and trailing characters found in `blanks`.
std::string Trim(std::string_view text, std::string_view blanks = " ");

// The platform's numeric-text test: optional blanks, sign, decimal digits with an optional
// fraction and exponent, optional blanks. Returns the value, or nothing when not numeric.
std::optional<double> NumericValue(std::string_view text);

// String-to-long conversion: a numeric text rounded to the nearest whole number (halves to
// even); nothing when the text is not numeric or outside the 32-bit range.
std::optional<long> ToLong(std::string_view text);

// String-to-Boolean conversion: "true"/"false" in any case, or a number (non-zero is true);
// nothing when the text is neither.
std::optional<bool> ToBool(std::string_view text);

// Booleans as the files and the wire carry them.
inline const char* BoolText(bool value) { return value ? "1" : "0"; }

}  // namespace velmorin
