#pragma once
// IPv4 address texts and patterns for the address ban rules: four parts joined by ".", each a
// decimal number 0 to 255, or "*" in a pattern. Everything works on the text; parts are compared
// by numeric value, so "010" and "10" are the same part. No input is rejected by failing: empty,
// short, overlong or garbage texts give a defined result.
//
// Ordering of parts, used by CompareIP, MatchIPPattern and IsIPInRange: a part that is not
// numeric ("", "*", garbage; a missing part counts as "") sorts below every number, and two such
// parts compare by their text. A malformed rule therefore never matches a real address by
// accident, and a range whose upper end is malformed is empty rather than open-ended.

#include <string>
#include <string_view>

namespace velmorin {

// Exactly four parts, each 0..255 by the platform's numeric test ("*" only when allowed).
bool IsValidIP(std::string_view text, bool wildcardsAllowed);

// Spaces trimmed; every part holding a whole number rewritten as its plain decimal digits
// ("010" -> "10", "1e2" -> "100"); other parts (fractions such as "15e-1", garbage) as typed, so
// the number of parts never changes and normalising again changes nothing. Empty stays empty.
std::string NormalizeIP(std::string_view text);

// 1, -1 or 0; the first of the four parts that differs decides.
long CompareIP(std::string_view a, std::string_view b);

// True when each of the four parts is equal or "*" on either side.
bool MatchIPPattern(std::string_view pattern, std::string_view address);

// from <= address <= to, both ends included.
bool IsIPInRange(std::string_view from, std::string_view to, std::string_view address);

}  // namespace velmorin
