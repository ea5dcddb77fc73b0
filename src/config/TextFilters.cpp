#include "config/TextFilters.hpp"

#include "platform/Text.hpp"

namespace velmorin {
namespace {

constexpr std::string_view kBlankCodes("\t\n\r \xA0", 5);
constexpr std::string_view kNicknameBlankCodes("\t\n\r \xA0@", 6);

bool IsControlCharacter(char c) {
  const auto code = static_cast<unsigned char>(c);
  return code < 32 || code == 127;
}

// Codes 0-31 and 127 have no place in a name: they are invisible or move the cursor, so a name
// holding one would look like another to users while every comparison told them apart.
std::string WithoutControlCharacters(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (const char c : text) {
    if (!IsControlCharacter(c)) result += c;
  }
  return result;
}

}  // namespace

std::string MakeFileName(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) c = '_';
  }
  return result;
}

std::string TrimBlanks(std::string_view text) { return Trim(text, kBlankCodes); }

std::string CleanNickname(std::string_view text) {
  // Control characters go before the trim, so "@\x01@Bob" loses both at signs.
  return CleanText(Trim(WithoutControlCharacters(text), kNicknameBlankCodes), kMaxNicknameLength);
}

std::string CleanText(std::string_view text, long maxLength) {
  // Control characters (CR and LF among them) go first: the blanks they hid are trimmed and
  // the cut counts only what remains.
  std::string result = Left(Trim(WithoutControlCharacters(text), " "), maxLength);
  for (char& c : result) {
    if (c == '"') c = '\'';
  }
  return result;
}

}  // namespace velmorin
