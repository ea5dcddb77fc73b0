#pragma once
// Windows-1252 and UTF-8: the one table between the wire's code page and Unicode. The wire and
// the files carry Windows-1252 bytes; consoles and terminals mostly speak UTF-8.

#include <string>
#include <string_view>

namespace velmorin {

// The code point of a Windows-1252 byte; 0 for the five bytes of 0x80..0x9F the code page
// leaves undefined.
char32_t CodePointOfWindows1252(unsigned char byte);

// The Windows-1252 byte of a code point; '?' when the code page has none.
char Windows1252OfCodePoint(char32_t codePoint);

// Appends a code point of the Basic Multilingual Plane as UTF-8.
void AppendUtf8(std::string& out, char32_t codePoint);

// UTF-8 text as Windows-1252: characters the code page lacks become '?', and so does each byte
// of a broken sequence (one byte at a time, so the rest still decodes).
std::string Windows1252OfUtf8(std::string_view utf8);

// Windows-1252 text as UTF-8; the undefined bytes become U+FFFD.
std::string Utf8OfWindows1252(std::string_view text);

}  // namespace velmorin
