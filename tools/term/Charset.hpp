#pragma once
// Between the wire and the terminal. The wire carries Windows-1252 bytes; a terminal usually
// speaks UTF-8. Everything inside the client is wire text; it becomes terminal text only at
// the moment it is written, and typed text becomes wire text as soon as it is read.
//
//   Charset::FromLocale  — UTF-8 conversion on when the C library's locale says UTF-8.
//   ToWire               — typed text for the server; characters 1252 lacks become "?".
//   Unrepresentable      — those characters, each once, so the user can be told before they
//                          go out as "?".
//   ToTerminal           — wire text that is safe to print: control characters (and, without
//                          UTF-8, the C1 range that some terminals obey) come out as escapes
//                          such as \r, \n, \x1B, so nothing from the network can move the
//                          cursor, change colours or retitle the window.

#include <string>
#include <string_view>
#include <vector>

namespace velmorin::term {

class Charset {
 public:
  explicit Charset(bool utf8) : utf8_(utf8) {}
  static Charset FromLocale();  // after setlocale(LC_ALL, "")

  bool Utf8() const { return utf8_; }
  std::string ToWire(std::string_view typed) const;
  // The typed characters (in typed order, each once) that ToWire turns into "?", named as
  // U+XXXX (plain ASCII, printable whatever the terminal); a byte that is no UTF-8 as \xNN.
  std::vector<std::string> Unrepresentable(std::string_view typed) const;
  std::string ToTerminal(std::string_view wire) const;

 private:
  bool utf8_;
};

// Display columns of terminal text, counting one per character (wide characters aside).
std::size_t DisplayWidth(std::string_view terminalText, bool utf8);

}  // namespace velmorin::term
