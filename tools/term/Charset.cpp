#include "term/Charset.hpp"

#include <langinfo.h>

#include <cstdio>
#include <cstring>

#include "platform/Charset.hpp"

namespace velmorin::term {
namespace {

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

}  // namespace

Charset Charset::FromLocale() {
  const char* codeset = ::nl_langinfo(CODESET);
  return Charset(codeset != nullptr && std::strcmp(codeset, "UTF-8") == 0);
}

std::string Charset::ToWire(std::string_view typed) const {
  if (!utf8_) return std::string(typed);
  return Windows1252OfUtf8(typed);
}

std::vector<std::string> Charset::Unrepresentable(std::string_view typed) const {
  std::vector<std::string> lost;
  if (!utf8_) return lost;
  // The one conversion decides, so the warning names exactly what becomes "?".
  for (const UncarriedCharacter& character : ConvertUtf8ToWindows1252(typed).uncarried) lost.push_back(NameOf(character));
  return lost;
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
      const char32_t cp = CodePointOfWindows1252(byte);
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

}  // namespace velmorin::term
