#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "i18n/LanguageFile.hpp"
#include "i18n/LocaleIds.hpp"
#include "support/TempProgramDir.hpp"

namespace velmorin {
namespace {

class LanguageFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.write("language/b.lng",
              "[VM3SLF]\r\nLanguageName=Bee\r\nlanguageIDs=1031,2055\r\nVelmorinVersion=2.9\r\n"
              "[frmTest]\r\nlblTitle.Caption=Hello<SP>World<BR>again\r\ncmdGo.Caption.3=Go\r\n"
              "opt.Caption.1.2=Opt\r\nnothing.Caption=x\r\nbad=1\r\n"
              "[frmTest.Data]\r\nmsgHello=Hi<SP>%name\r\n"
              "[other.Data]\r\nkey=other<BR>text\r\n");
    dir.write("language/a.lng", "[VM3SLF]\r\nLanguageName=Ay\r\nlanguageIDs=0\r\nVelmorinVersion=3.0.0\r\n");
    dir.write("language/c.lng", "[VM3SLF]\r\nLanguageName=Newer\r\nlanguageIDs=1033\r\nVelmorinVersion=3.1.0\r\n");
    dir.write("language/d.lng", "[VM3SLF]\r\nLanguageName=No ids\r\n");
    dir.write("language/e.txt", "[VM3SLF]\r\nlanguageIDs=1033\r\n");
  }
  testing::TempProgramDir dir;
};

struct RecordingWindow : LanguageTarget {
  std::map<std::string, std::string> properties;
  bool SetControlProperty(const std::string& control, const std::string& property,
                          std::optional<int> index, const std::string& value) override {
    if (control == "nothing") return false;
    properties[control + "." + property + (index ? "(" + std::to_string(*index) + ")" : "")] = value;
    return true;
  }
};

TEST_F(LanguageFiles, OnlyFilesWithIdsForThisVersionOrOlderAreOffered) {
  EXPECT_EQ(LanguageFile::EnumLanguages(dir.path("language")), "a.lng\r\nb.lng\r\n");
  EXPECT_EQ(LanguageFile::EnumLanguages(dir.path("missing")), "");
}

TEST_F(LanguageFiles, SetLanguageAppliesControlTextsAndLoadsDataTexts) {
  LanguageFile language;
  RecordingWindow window;
  language.SetLanguage("frmTest", dir.path("language/b.lng"), &window);
  EXPECT_EQ(window.properties, (std::map<std::string, std::string>{
                                   {"lblTitle.Caption", "Hello World\r\nagain"},
                                   {"cmdGo.Caption(3)", "Go"},
                                   {"opt.Caption(1)", "Opt"},
                                   {"opt.Caption(2)", "Opt"}}));
  EXPECT_EQ(language.Data("MSGHELLO"), "Hi %name");
  EXPECT_EQ(language.Data("key", "other"), "other\r\ntext");
  EXPECT_EQ(language.Data("missing"), "");
  EXPECT_EQ(language.CurrentLanguageId(), "1031");
  EXPECT_EQ(language.LanguageName(), "German [Deutsch]");

  // A set instance keeps its first file.
  language.SetLanguage("frmTest", dir.path("language/a.lng"));
  EXPECT_EQ(language.CurrentFile(), dir.path("language/b.lng"));
}

// An index range in a key is a loop over the control array: a hostile file must not be able to
// ask for billions of calls.
TEST_F(LanguageFiles, IndexRangesBeyondAControlArrayAreRefusedAndReported) {
  dir.write("language/f.lng",
            "[VM3SLF]\r\nlanguageIDs=1033\r\n"
            "[frmTest]\r\nall.Caption.-2147483648.2147483647=x\r\nnegative.Caption.-1=x\r\n"
            "wide.Caption.0.1024=x\r\nedge.Caption.1022.1023=ok\r\nempty.Caption.5.4=x\r\n");
  struct CountingWindow : LanguageTarget {
    long calls = 0;
    std::map<std::string, std::string> properties;
    bool SetControlProperty(const std::string& control, const std::string& property, std::optional<int> index,
                            const std::string& value) override {
      ++calls;
      properties[control + "." + property + "(" + std::to_string(index.value_or(-1)) + ")"] = value;
      return true;
    }
  } window;
  LanguageFile language;
  const std::vector<std::string> refused = language.SetLanguage("frmTest", dir.path("language/f.lng"), &window);
  EXPECT_EQ(window.calls, 2);
  EXPECT_EQ(window.properties, (std::map<std::string, std::string>{{"edge.Caption(1022)", "ok"},
                                                                    {"edge.Caption(1023)", "ok"}}));
  EXPECT_EQ(refused, (std::vector<std::string>{"all.Caption.-2147483648.2147483647", "negative.Caption.-1",
                                               "wide.Caption.0.1024"}));
}

TEST_F(LanguageFiles, LanguageNameIsUsedForIdentifierZeroAndFilesWithoutIdsAreIgnored) {
  LanguageFile language;
  language.SetLanguage("frmTest", dir.path("language/d.lng"));
  EXPECT_FALSE(language.IsSet());
  language.SetLanguage("frmTest", dir.path("language/a.lng"));
  EXPECT_EQ(language.LanguageName(), "Ay");
}

// The language file of a locale: its own language, English where no file lists it (C, POSIX).
TEST(LocaleIds, LanguageFileOfLocaleName) {
  testing::TempProgramDir dir;
  dir.write("language/Deutsch.lng", "[VM3SLF]\r\nlanguageIDs=1031,2055,3079\r\n");
  dir.write("language/English.lng", "[VM3SLF]\r\nlanguageIDs=1033,2057\r\n");
  const std::pair<const char*, const char*> cases[] = {
      {"C.UTF-8", "English.lng"},     {"C", "English.lng"},       {"POSIX", "English.lng"},
      {"", "English.lng"},            {"de_AT.UTF-8", "Deutsch.lng"}, {"de_CH", "Deutsch.lng"},
      {"de_DE.UTF-8@euro", "Deutsch.lng"}, {"en_GB.utf8", "English.lng"}, {"fr_FR.UTF-8", "English.lng"},
  };
  for (const auto& [name, file] : cases) {
    EXPECT_EQ(LanguageFile::FileOfLocale(dir.path("language"), LocaleIdOfName(name)), file) << name;
  }
  std::filesystem::remove(dir.path("language/English.lng"));
  EXPECT_EQ(LanguageFile::FileOfLocale(dir.path("language"), LocaleIdOfName("C.UTF-8")), "Deutsch.lng");
  std::filesystem::remove(dir.path("language/Deutsch.lng"));
  EXPECT_EQ(LanguageFile::FileOfLocale(dir.path("language"), 1033), "");
}

TEST(LocaleIds, NamesAndSystemDefaults) {
  EXPECT_EQ(LocaleDisplayName(1033), "English [English]");
  EXPECT_EQ(LocaleDisplayName(2055), "German [Deutsch]");
  EXPECT_EQ(LocaleDisplayName(1036), "French [Fran\xE7" "ais]");
  EXPECT_EQ(LocaleDisplayName(0x7F), "");
  const std::pair<const char*, long> cases[] = {
      {"de_DE.UTF-8", 1031}, {"de_CH", 2055}, {"en_GB.utf8", 2057}, {"en_US", 1033},
      {"de", 1031},          {"de_XX", 1031}, {"C", 1033},          {"POSIX", 1033},
      {"", 1033},
  };
  for (const auto& [name, id] : cases) EXPECT_EQ(LocaleIdOfName(name), id) << name;
}

}  // namespace
}  // namespace velmorin
