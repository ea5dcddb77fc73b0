#pragma once
// Text colours as the protocol carries them: a long in 0x00BBGGRR layout, sent as decimal.

#include <optional>
#include <string>
#include <string_view>

namespace velmorin::term {

// "255" (decimal, as on the wire), "#FF0000" (as people write colours) or a colour name such as
// "purple" (any case); nothing otherwise.
std::optional<long> ParseColor(std::string_view text);

// The colour names ParseColor knows, in a fixed order, for help texts.
std::string ColorNames();

// The server ignores a colour whose average of red, green and blue is 171 or more: it would be
// unreadable on the white background of the usual chat window.
bool IsTooLight(long color);

// "#RRGGBB".
std::string ColorHex(long color);

// The nearest of the six bright ANSI foreground colours (91..96) by hue, or 0 for greys and
// black, which are shown in the terminal's own colour. Hue only: the protocol's colours are
// chosen for a white background, and their darkness would make them unreadable on a dark one.
int AnsiColor(long color);

}  // namespace velmorin::term
