#include "store/modFilter.hpp"

#include "platform/Text.hpp"

namespace velmorin {
namespace {

constexpr std::string_view kBlankCodes("\t\n\r \xA0", 5);
constexpr std::string_view kNicknameBlankCodes("\t\n\r \xA0@", 6);

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
  return CleanText(Trim(text, kNicknameBlankCodes), 40);
}

std::string CleanText(std::string_view text, long maxLength) {
  std::string result = Left(Trim(text, " "), maxLength);
  for (char& c : result) {
    if (c == '"') c = '\'';
  }
  return ReplaceAll(result, "\r\n", "");
}

}  // namespace velmorin
