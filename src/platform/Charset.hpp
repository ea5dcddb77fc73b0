#pragma once
// Windows-1252 and UTF-8: the one table between the wire's code page and Unicode. The wire and
// the files carry Windows-1252 bytes; consoles and terminals mostly speak UTF-8.

#include <string>
#include <string_view>
#include <vector>

namespace velmorin {

// The code point of a Windows-1252 byte; 0 for the five bytes of 0x80..0x9F the code page
// leaves undefined.
char32_t CodePointOfWindows1252(unsigned char byte);

// Appends a code point of the Basic Multilingual Plane as UTF-8.
void AppendUtf8(std::string& out, char32_t codePoint);

// A character of UTF-8 text that Windows-1252 cannot carry: a code point the code page lacks, or
// a byte that starts no valid UTF-8 sequence.
struct UncarriedCharacter {
  char32_t codePoint = 0;  // the byte's value when brokenByte
  bool brokenByte = false;
  bool operator==(const UncarriedCharacter&) const = default;
};

inline constexpr std::size_t kMaxUncarriedReported = 16;

// Adds the character to the list unless it is there or the list is full.
void RememberUncarried(std::vector<UncarriedCharacter>& list, const UncarriedCharacter& character);

// "U+03A9" for a code point, "\xFF" for a broken byte: plain ASCII, printable anywhere.
std::string NameOf(const UncarriedCharacter& character);

// UTF-8 text as Windows-1252, and what it could not carry (in order of appearance, each once,
// the first kMaxUncarriedReported of them: enough to name, and a bound on the work).
// Each such character becomes '?' in the text, and so does each byte of a broken sequence (one
// byte at a time, so the rest still decodes). A caller that must not store something other
// than what was given refuses the text when `uncarried` is not empty.
struct Windows1252Conversion {
  std::string text;
  std::vector<UncarriedCharacter> uncarried;
};
Windows1252Conversion ConvertUtf8ToWindows1252(std::string_view utf8);

// The text of ConvertUtf8ToWindows1252, for output where a '?' loses nothing that matters.
std::string Windows1252OfUtf8(std::string_view utf8);

// Windows-1252 text as UTF-8; the undefined bytes become U+FFFD.
std::string Utf8OfWindows1252(std::string_view text);

}  // namespace velmorin
