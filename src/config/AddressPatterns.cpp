#include "config/AddressPatterns.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "platform/Text.hpp"

namespace velmorin {
namespace {

constexpr std::size_t kPartCount = 4;

struct Part {
  std::string_view text;
  std::optional<double> value;  // set when the text passes the numeric test
};

// The first four parts as views into the text; missing parts stay empty. Matching runs for every
// new connection, so this takes nothing from the heap.
std::array<Part, kPartCount> SplitParts(std::string_view text) {
  std::array<Part, kPartCount> parts{};
  std::size_t start = 0;
  for (Part& part : parts) {
    const std::size_t dot = text.find('.', start);
    part.text = text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
    part.value = NumericValue(part.text);
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return parts;
}

int Sign(int value) { return (value > 0) - (value < 0); }

// Numbers by value; anything else below every number and by text among itself, so the order
// stays total and a malformed part never equals a number.
int ComparePart(const Part& a, const Part& b) {
  if (a.value && b.value) return (*a.value > *b.value) - (*a.value < *b.value);
  if (a.value) return 1;
  if (b.value) return -1;
  return Sign(a.text.compare(b.text));
}

// The plain decimal form of a numeric part: whole values below 10^15 as their digits. Any other
// part (a fraction such as "15e-1", a huge value) stays as typed: written out it could hold a "."
// and so add a part, and normalising a second time must change nothing.
std::string NormalizedPart(std::string_view part) {
  const std::optional<double> value = NumericValue(part);
  if (!value || std::nearbyint(*value) != *value || std::fabs(*value) >= 1e15) return std::string(part);
  return std::to_string(static_cast<long long>(*value));
}

}  // namespace

bool IsValidIP(std::string_view text, bool wildcardsAllowed) {
  if (text.empty()) return false;
  if (std::count(text.begin(), text.end(), '.') != static_cast<std::ptrdiff_t>(kPartCount - 1)) return false;
  for (const Part& part : SplitParts(text)) {
    if (part.text == "*") {
      if (!wildcardsAllowed) return false;
      continue;
    }
    // A part must be a whole number: "5e-1" passes the numeric test but names no address.
    if (!part.value || *part.value < 0 || *part.value > 255) return false;
    if (std::nearbyint(*part.value) != *part.value) return false;
  }
  return true;
}

std::string NormalizeIP(std::string_view text) {
  const std::string trimmed = Trim(text, " ");
  if (trimmed.empty()) return {};
  std::string result;
  result.reserve(trimmed.size());
  bool first = true;
  for (const std::string& part : Split(trimmed, ".")) {
    if (!first) result += '.';
    first = false;
    result += NormalizedPart(part);
  }
  return result;
}

long CompareIP(std::string_view a, std::string_view b) {
  const auto left = SplitParts(a);
  const auto right = SplitParts(b);
  for (std::size_t i = 0; i < kPartCount; ++i) {
    if (const int order = ComparePart(left[i], right[i]); order != 0) return order;
  }
  return 0;
}

bool MatchIPPattern(std::string_view pattern, std::string_view address) {
  const auto wanted = SplitParts(pattern);
  const auto given = SplitParts(address);
  for (std::size_t i = 0; i < kPartCount; ++i) {
    if (wanted[i].text == "*" || given[i].text == "*") continue;
    if (ComparePart(wanted[i], given[i]) != 0) return false;
  }
  return true;
}

bool IsIPInRange(std::string_view from, std::string_view to, std::string_view address) {
  return CompareIP(address, to) != 1 && CompareIP(from, address) != 1;
}

}  // namespace velmorin
