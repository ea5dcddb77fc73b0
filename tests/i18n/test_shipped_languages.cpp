// Every text the code looks up must exist in every shipped language file.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "codec/IniValues.hpp"
#include "config/LogMessageType.hpp"
#include "i18n/LanguageFile.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

const std::string kSourceDir = VELMORIN_SOURCE_DIR;
const char* const kShippedFiles[] = {"English.lng", "Deutsch.lng"};

struct Lookup {
  std::string key;
  std::string section;  // empty: the preloaded data texts
  bool operator<(const Lookup& other) const {
    return std::tie(key, section) < std::tie(other.key, other.section);
  }
};

// Every literal Data("key"[, "section"]) call in the sources.
std::set<Lookup> LookupsInSources() {
  const std::regex call(R"re(\bData\(\s*"([^"]+)"\s*(?:,\s*"([^"]*)"\s*)?\))re");
  std::set<Lookup> lookups;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(kSourceDir + "/src")) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path());
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (std::sregex_iterator it(text.begin(), text.end(), call), end; it != end; ++it) {
      lookups.insert({(*it)[1].str(), (*it)[2].str()});
    }
  }
  return lookups;
}

bool HasKey(const std::string& file, const std::string& section, const std::string& key) {
  return !ReadIniValue(section + ".Data", key, "", file).empty();
}

TEST(ShippedLanguages, AreUsableAndHoldEveryKeyTheCodeLooksUp) {
  const std::set<Lookup> lookups = LookupsInSources();
  ASSERT_FALSE(lookups.empty());
  const std::string directory = kSourceDir + "/language/";
  EXPECT_EQ(LanguageFile::EnumLanguages(directory), "Deutsch.lng\r\nEnglish.lng\r\n");
  for (const char* name : kShippedFiles) {
    const std::string file = directory + name;
    for (const Lookup& lookup : lookups) {
      // Lookups without a section read the start-up texts or the main window's texts.
      const bool found = lookup.section.empty()
                             ? HasKey(file, "modMain", lookup.key) || HasKey(file, "frmServer", lookup.key)
                             : HasKey(file, lookup.section, lookup.key);
      EXPECT_TRUE(found) << name << " lacks " << lookup.key << " in "
                         << (lookup.section.empty() ? "the preloaded texts" : lookup.section);
    }
    for (std::size_t type = 0; type < kLogMessageTypeNames.size(); ++type) {
      EXPECT_TRUE(HasKey(file, "frmServer", "msg" + std::string(kLogMessageTypeNames[type])))
          << name << " lacks the log text of " << kLogMessageTypeNames[type];
    }
  }
}

TEST(ShippedLanguages, HaveTheSameSectionsAndKeys) {
  const std::string english = kSourceDir + "/language/English.lng";
  const std::string german = kSourceDir + "/language/Deutsch.lng";
  const std::string sections = ReadIniValue(std::nullopt, std::nullopt, "", english);
  EXPECT_EQ(sections, ReadIniValue(std::nullopt, std::nullopt, "", german));
  for (const std::string& section : SplitLines(sections)) {
    EXPECT_EQ(ReadIniValue(section, std::nullopt, "", english),
              ReadIniValue(section, std::nullopt, "", german))
        << section;
  }
}

}  // namespace
}  // namespace velmorin
