#include "platform/Charset.hpp"

#include <algorithm>
#include <array>
#include <cstdio>

namespace velmorin {
namespace {

// Code points of Windows-1252 bytes 0x80 to 0x9F; 0 where the code page defines none.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

}  // namespace

char32_t CodePointOfWindows1252(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kHighControls[byte - 0x80];
  return byte;
}

namespace {

// The byte of a code point, or -1 when the code page has none.
int ByteOfCodePoint(char32_t codePoint) {
  if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) return static_cast<int>(codePoint);
  for (std::size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] != 0 && kHighControls[i] == codePoint) return static_cast<int>(0x80 + i);
  }
  return -1;
}

}  // namespace

void RememberUncarried(std::vector<UncarriedCharacter>& list, const UncarriedCharacter& character) {
  if (list.size() < kMaxUncarriedReported && std::find(list.begin(), list.end(), character) == list.end()) {
    list.push_back(character);
  }
}

std::string NameOf(const UncarriedCharacter& character) {
  char name[16];
  if (character.brokenByte) {
    std::snprintf(name, sizeof name, "\\x%02X", static_cast<unsigned>(character.codePoint));
  } else {
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(character.codePoint));
  }
  return name;
}

void AppendUtf8(std::string& out, char32_t codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

Windows1252Conversion ConvertUtf8ToWindows1252(std::string_view utf8) {
  Windows1252Conversion result;
  std::string& out = result.text;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    std::size_t length = 0;
    char32_t codePoint = 0;
    if (lead < 0x80) {
      length = 1;
      codePoint = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      codePoint = lead & 0x07;
    }
    bool valid = length > 0 && i + length <= utf8.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + k]);
      if ((next & 0xC0) != 0x80) valid = false;
      codePoint = (codePoint << 6) | (next & 0x3F);
    }
    // An overlong form ("\xC0\x80" for NUL), a surrogate or a value past U+10FFFF is no
    // character: it would slip a NUL or a control past checks made on the UTF-8 text.
    static constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (valid && length > 1 &&
        (codePoint < kShortest[length] || (codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF)) {
      valid = false;
    }
    if (!valid) {
      RememberUncarried(result.uncarried, {lead, true});
      out.push_back('?');
      ++i;
      continue;
    }
    const int byte = ByteOfCodePoint(codePoint);
    if (byte < 0) RememberUncarried(result.uncarried, {codePoint, false});
    out.push_back(byte < 0 ? '?' : static_cast<char>(byte));
    i += length;
  }
  return result;
}

std::string Windows1252OfUtf8(std::string_view utf8) { return ConvertUtf8ToWindows1252(utf8).text; }

std::string Utf8OfWindows1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out += c;
      continue;
    }
    const char32_t code = CodePointOfWindows1252(byte);
    AppendUtf8(out, code == 0 ? U'\uFFFD' : code);
  }
  return out;
}

}  // namespace velmorin
