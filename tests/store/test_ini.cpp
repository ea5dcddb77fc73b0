#include <gtest/gtest.h>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "codec/IniValues.hpp"
#include "codec/ProfileFile.hpp"
#include "config/TextFilters.hpp"
#include "platform/AtomicFile.hpp"
#include "platform/Text.hpp"
#include "support/TempProgramDir.hpp"

namespace velmorin {
namespace {

class IniFile : public ::testing::Test {
 protected:
  testing::TempProgramDir dir;
  std::string file = dir.path("config/test.cfg");
};

TEST_F(IniFile, ReadsWithoutRegardToCaseAndFallsBackToTheDefault) {
  dir.write("config/test.cfg", "[General]\r\nPort = 2000 \r\nEmpty=\r\n");
  EXPECT_EQ(ReadIniValue("general", "PORT", "1", file), "2000");
  EXPECT_EQ(ReadIniValue("General", "Empty", "", file), "");
  EXPECT_EQ(ReadIniValue("General", "Missing", "dflt", file), "dflt");
  EXPECT_EQ(ReadIniValue("Nowhere", "Port", "dflt", file), "dflt");
  EXPECT_EQ(ReadIniValue("General", "Port", "dflt", dir.path("config/none.cfg")), "dflt");
}

TEST_F(IniFile, SectionNamesWithBracketsAreEscapedOnDiskAndRestoredByCallers) {
  ASSERT_EQ(WriteIniValue("a[1]", "Active", "1", file), 0);
  EXPECT_NE(dir.read("config/test.cfg").find("[a<(>1<)>]\r\nActive=1\r\n"), std::string::npos);
  EXPECT_EQ(ReadIniValue("a[1]", "Active", "", file), "1");
  const std::vector<std::string> sections = SplitLines(ReadIniValue(std::nullopt, std::nullopt, "", file));
  ASSERT_EQ(sections.size(), 1u);
  EXPECT_EQ(EscapeSectionName(sections[0], 1), "a[1]");
  // A name typed with the escape sequence itself comes back with brackets.
  EXPECT_EQ(EscapeSectionName(EscapeSectionName("x<(>y", 0), 1), "x[y");
  EXPECT_EQ(EscapeSectionName("a", 2), "");
}

TEST_F(IniFile, EnumeratesSectionsAndKeysAsCrLfTerminatedLists) {
  dir.write("config/test.cfg", "[One]\r\nb=1\r\na=2\r\n[Two]\r\n[one]\r\nc=3\r\n");
  EXPECT_EQ(ReadIniValue(std::nullopt, std::nullopt, "", file), "One\r\nTwo\r\n");
  EXPECT_EQ(ReadIniValue("one", std::nullopt, "", file), "b\r\na\r\n");
  EXPECT_EQ(ReadIniValue("Two", std::nullopt, "", file), "");
}

TEST_F(IniFile, LongValuesAreCutTo8190Characters) {
  const std::string longValue(9000, 'x');
  ASSERT_EQ(WriteIniValue("S", "K", longValue, file), 0);
  EXPECT_EQ(ReadIniValue("S", "K", "", file), std::string(kMaxIniValueLength, 'x'));
}

TEST_F(IniFile, WritesKeepForeignLinesOrderAndCase) {
  const std::string original =
      "; a comment before any section\r\n"
      "garbage without equals\r\n"
      "[General]\r\n"
      "Port=1000\r\n"
      "not a key\r\n"
      "Name=Old\r\n"
      "\r\n"
      "[Other]\r\n"
      "x=1\r\n";
  dir.write("config/test.cfg", original);
  ASSERT_EQ(WriteIniValue("GENERAL", "name", "New", file), 0);
  ASSERT_EQ(WriteIniValue("General", "Added", "yes", file), 0);
  ASSERT_EQ(WriteIniValue("Third", "k", "v", file), 0);
  EXPECT_EQ(dir.read("config/test.cfg"),
            "; a comment before any section\r\n"
            "garbage without equals\r\n"
            "[General]\r\n"
            "Port=1000\r\n"
            "not a key\r\n"
            "name=New\r\n"
            "Added=yes\r\n"
            "\r\n"
            "[Other]\r\n"
            "x=1\r\n"
            "[Third]\r\n"
            "k=v\r\n");
}

TEST_F(IniFile, NullValueDeletesKeyAndNullKeyDeletesEverySectionOfThatName) {
  dir.write("config/test.cfg", "[A]\r\nk=1\r\nj=2\r\n[B]\r\nk=1\r\n[a]\r\nz=9\r\n");
  ASSERT_EQ(WriteIniValue("A", "K", std::nullopt, file), 0);
  EXPECT_EQ(ReadIniValue("A", "k", "gone", file), "gone");
  ASSERT_EQ(WriteIniValue("a", std::nullopt, std::nullopt, file), 0);
  EXPECT_EQ(dir.read("config/test.cfg"), "[B]\r\nk=1\r\n");
}

TEST_F(IniFile, ValuesCannotBreakTheFileStructure) {
  ASSERT_EQ(WriteIniValue("S", "K", "line1\r\n[Evil]\nk=v", file), 0);
  EXPECT_EQ(ReadIniValue(std::nullopt, std::nullopt, "", file), "S\r\n");
  EXPECT_EQ(ReadIniValue("S", "K", "", file), "line1  [Evil] k=v");
}

// A name the file would give back as something else is refused; every caller (accounts,
// rooms, plugin fields) is protected by the layer under it.
TEST_F(IniFile, NamesTheFileCannotGiveBackAreRefused) {
  using namespace std::string_literals;
  struct Case {
    std::string section;
    std::string key;
  };
  const std::vector<Case> refused = {
      {"alice", "[root]"},   {"alice", " [root]"},   {"alice", ";Active"},  {"alice", "Pass=word"},
      {"alice", "a\r\nb"},   {"alice", "a\nb"},      {"alice", ""},         {"alice", " \t"},
      {"alice", "key\0x"s},  {"alice\0x"s, "Active"}, {"a\rb", "Active"},  {"a\nb", "Active"},
      {"", "Active"},        {" \t ", "Active"},      {"a]b", "Active"},
  };
  dir.write("config/test.cfg", "[alice]\r\nActive=1\r\n");
  for (const Case& c : refused) {
    SCOPED_TRACE(::testing::PrintToString(c.section) + " / " + ::testing::PrintToString(c.key));
    EXPECT_EQ(profile::WriteValue(file, c.section, c.key, "0"), EINVAL);
    EXPECT_EQ(profile::ReadValue(file, c.section, c.key), std::nullopt);
    EXPECT_EQ(profile::DeleteKey(file, c.section, c.key), EINVAL);
  }
  EXPECT_EQ(profile::DeleteSection(file, "alice\0x"s), EINVAL);
  EXPECT_EQ(dir.read("config/test.cfg"), "[alice]\r\nActive=1\r\n");
  EXPECT_EQ(profile::SectionNames(file), std::vector<std::string>{"alice"});

  // A header line is read as a header first: these section names come back whole.
  for (const char* section : {"a=b", ";x", "[x", " k "}) {
    ASSERT_EQ(profile::WriteValue(file, section, "k]", "v"), 0) << section;
    EXPECT_EQ(profile::ReadValue(file, section, "k]"), "v") << section;
  }
  EXPECT_EQ(profile::SectionNames(file), (std::vector<std::string>{"alice", "a=b", ";x", "[x", "k"}));
}

TEST_F(IniFile, NamesAreTrimmedAlikeOnWriteLookupAndDelete) {
  ASSERT_EQ(WriteIniValue(" bob", "Active", "1", file), 0);
  ASSERT_EQ(WriteIniValue(" bob", " Active\t", "0", file), 0);
  ASSERT_EQ(WriteIniValue("room\t", "Description", "x", file), 0);
  EXPECT_EQ(dir.read("config/test.cfg"), "[bob]\r\nActive=0\r\n[room]\r\nDescription=x\r\n");
  EXPECT_EQ(ReadIniValue("bob ", "active ", "", file), "0");
  ASSERT_EQ(WriteIniValue(" bob", " Active", std::nullopt, file), 0);
  ASSERT_EQ(WriteIniValue(" bob", std::nullopt, std::nullopt, file), 0);
  ASSERT_EQ(WriteIniValue("room\t", std::nullopt, std::nullopt, file), 0);
  EXPECT_EQ(dir.read("config/test.cfg"), "");
}

TEST_F(IniFile, ExternalEditsAreSeenAndFlushDropsTheCache) {
  ASSERT_EQ(WriteIniValue("S", "K", "1", file), 0);
  EXPECT_EQ(ReadIniValue("S", "K", "", file), "1");
  dir.write("config/test.cfg", "[S]\r\nK=a much longer value\r\n");
  EXPECT_EQ(ReadIniValue("S", "K", "", file), "a much longer value");
  EXPECT_EQ(WriteIniValue(std::nullopt, std::nullopt, std::nullopt, file), 0);
}

TEST_F(IniFile, AFailedWriteReportsTheErrorAndChangesNothing) {
  ASSERT_EQ(WriteIniValue("S", "K", "old", file), 0);
  // The temporary file cannot be created where a file stands in for the directory; this
  // fails for every user, root included.
  const std::string blocked = dir.path("blocked/test.cfg");
  dir.write("blocked", "not a directory");
  EXPECT_EQ(WriteIniValue("S", "K", "new", blocked), ENOTDIR);
  if (::geteuid() != 0) {
    ::chmod(dir.path("config").c_str(), 0555);
    EXPECT_EQ(WriteIniValue("S", "K", "new", file), EACCES);
    ::chmod(dir.path("config").c_str(), 0755);
  }
  EXPECT_EQ(ReadIniValue("S", "K", "", file), "old");
}

TEST_F(IniFile, AMissingDirectoryFailsTheWrite) {
  EXPECT_NE(WriteIniValue("S", "K", "v", dir.path("nowhere/test.cfg")), 0);
  EXPECT_EQ(ReadIniValue("S", "K", "d", dir.path("nowhere/test.cfg")), "d");
}

TEST_F(IniFile, ABatchWritesEachFileOnceAndLeavesNoTemporaryFiles) {
  {
    profile::ProfileBatch batch;
    for (int i = 0; i < 50; ++i) WriteIniValue("S", "K" + std::to_string(i), std::to_string(i), file);
    EXPECT_FALSE(dir.exists("config/test.cfg"));  // nothing written before the batch ends
    EXPECT_EQ(ReadIniValue("S", "K7", "", file), "7");  // but reads see the changes
    EXPECT_EQ(batch.Commit(), 0);
  }
  EXPECT_EQ(ReadIniValue("S", "K49", "", file), "49");
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path("config"))) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST_F(IniFile, StaleTemporaryFilesAreRemovedButOnesAWriterHoldsStay) {
  dir.write("config/.velmorin-dead01", "left by a killed save");
  dir.write("config/.velmorin-busy01", "a save in progress");
  dir.write("config/.velmorin-long-name", "not a temporary file");
  dir.write("config/server.cfg", "[General]\r\n");
  const int held = ::open(dir.path("config/.velmorin-busy01").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  EXPECT_EQ(RemoveStaleTemporaryFiles(dir.path("config/")), 1);
  ::close(held);
  EXPECT_FALSE(dir.exists("config/.velmorin-dead01"));
  EXPECT_TRUE(dir.exists("config/.velmorin-busy01"));
  EXPECT_TRUE(dir.exists("config/.velmorin-long-name"));
  EXPECT_TRUE(dir.exists("config/server.cfg"));
}

TEST(TextFilters, ExactExamples) {
  EXPECT_EQ(MakeFileName("a:b/c"), "a_b_c");
  EXPECT_EQ(MakeFileName("\\/:*?\"<>|x"), "_________x");
  EXPECT_EQ(TrimBlanks("\t\r\n \xA0text \xA0\r\n"), "text");
  EXPECT_EQ(TrimBlanks(""), "");
  EXPECT_EQ(CleanNickname("@@ Bob @"), "Bob");
  EXPECT_EQ(CleanNickname(" B@b "), "B@b");
  const std::string nick45 = "abc\"" + std::string(41, 'x');
  EXPECT_EQ(CleanText(nick45, 40), "abc'" + std::string(36, 'x'));
  EXPECT_EQ(CleanText("abc", 0), "");
}

TEST(TextFilters, ControlCharactersLeaveNamesBeforeTheyAreTrimmedAndCut) {
  const struct {
    const char* text;
    const char* nickname;  // CleanNickname
    const char* cleaned;   // CleanText with 5
  } cases[] = {
      {"Keeper\x0b", "Keeper", "Keepe"},
      {"\x07Kee\x7fper\x01", "Keeper", "Keepe"},
      {"Bob\x01" "1\x01" "1", "Bob11", "Bob11"},
      // A lone CR or LF goes as a pair does; the cut counts what remains.
      {"  ab\r\ncd  ", "abcd", "abcd"},
      {"a\rb\nc\td", "abcd", "abcd"},
      // Blanks and at signs hidden behind control characters are trimmed all the same.
      {"\x01 @\x02@Bob @\x1b", "Bob", "@@Bob"},
      {"\x1b[2J", "[2J", "[2J"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CleanNickname(c.text), c.nickname) << c.text;
    EXPECT_EQ(CleanText(c.text, 5), c.cleaned) << c.text;
  }
  EXPECT_EQ(CleanText(std::string("a\0b", 3), 40), "ab");
  // Windows-1252 letters and the no-break space inside a name are characters, not controls.
  EXPECT_EQ(CleanNickname("J\xFCrgen\xA0\x80"), "J\xFCrgen\xA0\x80");
}

}  // namespace
}  // namespace velmorin
