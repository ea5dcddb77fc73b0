#include "chat/Charset.hpp"

#include <langinfo.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace velmorin::chat {
namespace {

// Windows-1252 0x80..0x9F; 0 marks the five codes it leaves undefined.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void AppendEscape(std::string& out, unsigned char byte) {
  switch (byte) {
    case '\0': out += "\\0"; return;
    case '\t': out += "\\t"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    default: break;
  }
  char text[8];
  std::snprintf(text, sizeof text, "\\x%02X", byte);
  out += text;
}

// The 1252 byte for a code point; '?' when the code page has none.
char WireByte(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (int i = 0; i < 32; ++i) {
    if (kHighControls[i] != 0 && kHighControls[i] == cp) return static_cast<char>(0x80 + i);
  }
  return '?';
}

}  // namespace

Charset Charset::FromLocale() {
  const char* codeset = ::nl_langinfo(CODESET);
  return Charset(codeset != nullptr && std::strcmp(codeset, "UTF-8") == 0);
}

std::string Charset::ToWire(std::string_view typed) const {
  if (!utf8_) return std::string(typed);
  std::string out;
  out.reserve(typed.size());
  for (std::size_t i = 0; i < typed.size();) {
    const auto lead = static_cast<unsigned char>(typed[i]);
    std::size_t length = 0;
    char32_t cp = 0;
    if (lead < 0x80) {
      length = 1;
      cp = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      cp = lead & 0x07;
    }
    bool valid = length > 0 && i + length <= typed.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(typed[i + k]);
      if ((next & 0xC0) != 0x80) valid = false;
      cp = (cp << 6) | (next & 0x3F);
    }
    if (!valid) {
      out.push_back('?');  // a broken sequence: one byte at a time, so the rest still decodes
      ++i;
      continue;
    }
    out.push_back(WireByte(cp));
    i += length;
  }
  return out;
}

std::string Charset::ToTerminal(std::string_view wire) const {
  std::string out;
  out.reserve(wire.size());
  for (const char c : wire) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      AppendEscape(out, byte);
    } else if (byte < 0x80) {
      out.push_back(c);
    } else if (byte < 0xA0) {
      const char32_t cp = kHighControls[byte - 0x80];
      if (utf8_ && cp != 0) AppendUtf8(out, cp);
      else AppendEscape(out, byte);
    } else if (utf8_) {
      AppendUtf8(out, byte);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::size_t DisplayWidth(std::string_view terminalText, bool utf8) {
  if (!utf8) return terminalText.size();
  std::size_t width = 0;
  for (const char c : terminalText) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++width;
  }
  return width;
}

}  // namespace velmorin::chat
