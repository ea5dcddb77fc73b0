#include "term/Colors.hpp"

#include <algorithm>
#include <cstdio>

#include "platform/Text.hpp"

namespace velmorin::term {
namespace {

int Red(long color) { return static_cast<int>(color & 0xFF); }
int Green(long color) { return static_cast<int>((color >> 8) & 0xFF); }
int Blue(long color) { return static_cast<int>((color >> 16) & 0xFF); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

long FromRgb(long rgb) { return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16); }

struct NamedColor {
  const char* name;
  long rgb;  // 0xRRGGBB, as people write it
};

// The sixteen basic web colours and a few more everyday names. White and silver are too light
// for the server, which is said when they are chosen, not hidden here.
constexpr NamedColor kNamedColors[] = {
    {"black", 0x000000},  {"gray", 0x808080},   {"grey", 0x808080},    {"silver", 0xC0C0C0},
    {"white", 0xFFFFFF},  {"maroon", 0x800000}, {"red", 0xFF0000},     {"orange", 0xFF8000},
    {"brown", 0xA52A2A},  {"olive", 0x808000},  {"yellow", 0xFFFF00},  {"green", 0x008000},
    {"lime", 0x00FF00},   {"teal", 0x008080},   {"aqua", 0x00FFFF},    {"cyan", 0x00FFFF},
    {"navy", 0x000080},   {"blue", 0x0000FF},   {"purple", 0x800080},  {"fuchsia", 0xFF00FF},
    {"magenta", 0xFF00FF}, {"pink", 0xFF1493},
};

}  // namespace

std::string ColorNames() {
  std::string names;
  for (const NamedColor& color : kNamedColors) {
    if (!names.empty()) names += ", ";
    names += color.name;
  }
  return names;
}

std::optional<long> ParseColor(std::string_view text) {
  for (const NamedColor& color : kNamedColors) {
    if (EqualsNoCase(text, color.name)) return FromRgb(color.rgb);
  }
  if (text.size() == 7 && text[0] == '#') {
    long rgb = 0;
    for (const char c : text.substr(1)) {
      const int digit = HexDigit(c);
      if (digit < 0) return std::nullopt;
      rgb = rgb * 16 + digit;
    }
    return FromRgb(rgb);
  }
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  const auto value = ToLong(text);
  if (!value || *value > 0xFFFFFF) return std::nullopt;
  return value;
}

bool IsTooLight(long color) { return (Red(color) + Green(color) + Blue(color)) / 3 >= 171; }

std::string ColorHex(long color) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", Red(color), Green(color), Blue(color));
  return text;
}

int AnsiColor(long color) {
  const int r = Red(color), g = Green(color), b = Blue(color);
  const int high = std::max({r, g, b}), low = std::min({r, g, b});
  if (high - low < 48) return 0;
  // Hue in sixths of the colour circle: red, yellow, green, cyan, blue, magenta.
  const double span = high - low;
  double hue = 0;
  if (high == r) hue = (g - b) / span;
  else if (high == g) hue = 2 + (b - r) / span;
  else hue = 4 + (r - g) / span;
  if (hue < 0) hue += 6;
  static constexpr int kBySextant[6] = {91, 93, 92, 96, 94, 95};
  return kBySextant[static_cast<int>(hue + 0.5) % 6];
}

}  // namespace velmorin::term
