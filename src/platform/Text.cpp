#include "platform/Text.hpp"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cmath>
#include <cstdlib>

namespace velmorin {

char LowerChar(char c) {
  const auto code = static_cast<unsigned char>(c);
  if (code >= 'A' && code <= 'Z') return static_cast<char>(code + 32);
  // Latin-1 capitals À..Þ except the multiplication sign map 32 places down.
  if (code >= 0xC0 && code <= 0xDE && code != 0xD7) return static_cast<char>(code + 32);
  switch (code) {
    case 0x8A: return static_cast<char>(0x9A);  // Š
    case 0x8C: return static_cast<char>(0x9C);  // Œ
    case 0x8E: return static_cast<char>(0x9E);  // Ž
    case 0x9F: return static_cast<char>(0xFF);  // Ÿ
    default: return c;
  }
}

std::string LowerCase(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = LowerChar(c);
  return result;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerChar(a[i]) != LowerChar(b[i])) return false;
  }
  return true;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string result;
  result.reserve(text.size());
  std::size_t start = 0;
  for (std::size_t hit = text.find(from); hit != std::string_view::npos; hit = text.find(from, start)) {
    result.append(text.substr(start, hit - start));
    result.append(to);
    start = hit + from.size();
  }
  result.append(text.substr(start));
  return result;
}

std::vector<std::string> Split(std::string_view text, std::string_view separator) {
  std::vector<std::string> pieces;
  if (separator.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  std::size_t start = 0;
  for (std::size_t hit = text.find(separator); hit != std::string_view::npos;
       hit = text.find(separator, start)) {
    pieces.emplace_back(text.substr(start, hit - start));
    start = hit + separator.size();
  }
  pieces.emplace_back(text.substr(start));
  return pieces;
}

std::vector<std::string> SplitLines(std::string_view list) {
  std::vector<std::string> lines = Split(list, "\r\n");
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

std::string Left(std::string_view text, long count) {
  if (count <= 0) return {};
  return std::string(text.substr(0, static_cast<std::size_t>(count)));
}

std::string Trim(std::string_view text, std::string_view blanks) {
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(blanks);
  return std::string(text.substr(first, last - first + 1));
}

std::optional<double> NumericValue(std::string_view text) {
  const std::string trimmed = Trim(text, " \t");
  if (trimmed.empty()) return std::nullopt;
  std::size_t i = 0;
  if (trimmed[i] == '+' || trimmed[i] == '-') ++i;
  std::size_t digits = 0;
  while (i < trimmed.size() && trimmed[i] >= '0' && trimmed[i] <= '9') ++i, ++digits;
  if (i < trimmed.size() && trimmed[i] == '.') {
    ++i;
    while (i < trimmed.size() && trimmed[i] >= '0' && trimmed[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (i < trimmed.size() && (trimmed[i] == 'e' || trimmed[i] == 'E')) {
    ++i;
    if (i < trimmed.size() && (trimmed[i] == '+' || trimmed[i] == '-')) ++i;
    std::size_t exponentDigits = 0;
    while (i < trimmed.size() && trimmed[i] >= '0' && trimmed[i] <= '9') ++i, ++exponentDigits;
    if (exponentDigits == 0) return std::nullopt;
  }
  if (i != trimmed.size()) return std::nullopt;
  // from_chars reads "." as the decimal point whatever the process locale says (strtod would
  // stop at it under a comma-decimal locale); it takes no leading "+".
  const char* begin = trimmed.data() + (trimmed.front() == '+' ? 1 : 0);
  const char* end = trimmed.data() + trimmed.size();
  double value = 0;
  const auto [stop, error] = std::from_chars(begin, end, value, std::chars_format::general);
  if (error != std::errc() || stop != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<long> ToLong(std::string_view text) {
  const std::optional<double> value = NumericValue(text);
  if (!value) return std::nullopt;
  const double rounded = std::nearbyint(*value);  // default rounding mode: halves to even
  // Stored numbers are 32-bit: anything outside that range does not convert.
  if (rounded < static_cast<double>(INT32_MIN) || rounded > static_cast<double>(INT32_MAX)) {
    return std::nullopt;
  }
  return static_cast<long>(rounded);
}

std::optional<bool> ToBool(std::string_view text) {
  const std::string trimmed = Trim(text, " \t");
  if (EqualsNoCase(trimmed, "true")) return true;
  if (EqualsNoCase(trimmed, "false")) return false;
  const std::optional<double> value = NumericValue(trimmed);
  if (!value) return std::nullopt;
  return *value != 0.0;
}

}  // namespace velmorin
