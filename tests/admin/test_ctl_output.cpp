// velmorin-ctl's human output: fields and tables aligned by characters (not bytes), log lines
// in their colour on a terminal only, and nothing from the server that a terminal would obey.

#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "ctl/HelpTable.hpp"
#include "ctl/Render.hpp"
#include "platform/Json.hpp"

namespace velmorin::ctl {
namespace {

TEST(CtlOutput, FieldsAndTableAreAlignedByCharacters) {
  const auto reply = ParseJson(
      R"({"status":"done","fields":{"users":"3","b\u00e9bytes in":"12"},)"
      R"("table":{"columns":["id","nick"],"rows":[["1","Ann\u00e9"],["12345","Bo"]]}})");
  ASSERT_TRUE(reply);
  std::ostringstream out;
  RenderBody(*reply, out);
  EXPECT_EQ(out.str(),
            "users:      3\n"
            "b\xC3\xA9" "bytes in: 12\n"
            "id     nick\n"
            "1      Ann\xC3\xA9\n"
            "12345  Bo\n");
}

TEST(CtlOutput, LogLinesAreColouredOnATerminalAndNeverCarryEscapes) {
  const auto line = ParseJson(R"({"type":"Connected","color":"#FF8001","text":"a\u001b[2Jb"})");
  ASSERT_TRUE(line);
  std::ostringstream plain, coloured;
  RenderLogLine(*line, false, plain);
  RenderLogLine(*line, true, coloured);
  EXPECT_EQ(plain.str(), "a[2Jb\n");
  EXPECT_EQ(coloured.str(), "\x1b[38;2;255;128;1ma[2Jb\x1b[0m\n");
  // A colour that is not #RRGGBB is left out rather than sent to the terminal.
  std::ostringstream odd;
  RenderLogLine(*ParseJson(R"({"color":"#12;31m","text":"x"})"), true, odd);
  EXPECT_EQ(odd.str(), "x\n");
}

TEST(CtlOutput, HelpOfACommandIsFoundFromItsWords) {
  const struct {
    std::vector<std::string> words;
    std::size_t entries;
    const char* first;
  } cases[] = {
      {{"account", "add", "bob"}, 1, "account add"},
      {{"account"}, 4, "account add"},
      {{"log", "follow"}, 1, "log follow"},
      {{"nosuch"}, HelpTable().size(), "status"},
  };
  for (const auto& one : cases) {
    const auto found = HelpFor(one.words);
    EXPECT_EQ(found.size(), one.entries) << one.first;
    EXPECT_STREQ(found.front().words, one.first);
  }
}

}  // namespace
}  // namespace velmorin::ctl
