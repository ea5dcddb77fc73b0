#pragma once
// Reading the few texts of the server's replies that are not NUL-separated fields (those are
// read with the codec's FieldCursor): CR LF separated lines and plain numbers.

#include <charconv>
#include <cstdint>
#include <string_view>

namespace velmorin::load {

// The text up to the first CR LF (all of `rest` when there is none); `rest` moves past it.
inline std::string_view TakeLine(std::string_view& rest) {
  const std::size_t end = rest.find("\r\n");
  const std::string_view taken = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 2);
  return taken;
}

// Plain decimal digits only; false on anything else, on empty text or on overflow.
inline bool ParseUnsigned(std::string_view text, std::uint64_t& value) {
  if (text.empty()) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc{} && end == text.data() + text.size();
}

}  // namespace velmorin::load
