// IPv4 texts and patterns: normalising is idempotent and keeps validity and the number of parts, comparing is an order
// (reflexive, antisymmetric), and a valid address matches itself and lies in its own range.
//
// Input: up to three texts separated by '\n' (a text, a pattern, an address).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/AddressPatterns.hpp"
#include "support/FuzzCheck.hpp"

namespace {

std::string_view NextText(std::string_view& rest) {
  const std::size_t end = rest.find('\n');
  const std::string_view text = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  return text;
}

void CheckOne(std::string_view text) {
  using namespace velmorin;
  const std::string normal = NormalizeIP(text);
  FUZZ_CHECK(NormalizeIP(normal) == normal);
  // Parts are rewritten one by one: their number never changes.
  FUZZ_CHECK(std::count(normal.begin(), normal.end(), '.') == std::count(text.begin(), text.end(), '.'));
  for (const bool wildcards : {false, true}) {
    if (IsValidIP(text, wildcards)) FUZZ_CHECK(IsValidIP(normal, wildcards));
  }
  FUZZ_CHECK(CompareIP(text, text) == 0);
  if (IsValidIP(text, false)) {
    FUZZ_CHECK(MatchIPPattern(text, text));
    FUZZ_CHECK(IsIPInRange(text, text, text));
    FUZZ_CHECK(MatchIPPattern("*.*.*.*", text));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmorin;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  const std::string_view text = NextText(rest);
  const std::string_view pattern = NextText(rest);
  const std::string_view address = NextText(rest);
  for (const std::string_view one : {text, pattern, address}) CheckOne(one);

  FUZZ_CHECK(CompareIP(text, pattern) == -CompareIP(pattern, text));
  FUZZ_CHECK(CompareIP(pattern, address) == -CompareIP(address, pattern));
  const bool matches = MatchIPPattern(pattern, address);
  FUZZ_CHECK(MatchIPPattern(address, pattern) == matches);  // "*" counts on either side
  IsIPInRange(text, pattern, address);
  return 0;
}
