#include "i18n/LocaleIds.hpp"

#include <cstdlib>
#include <string_view>

#include "platform/Text.hpp"

namespace velmorin {
namespace {

// Primary languages: the low ten bits of a locale identifier.
struct LanguageNames {
  long primaryId;
  std::string_view english;
  std::string_view native;  // Windows-1252
};

constexpr LanguageNames kLanguages[] = {
    {0x07, "German", "Deutsch"},       {0x09, "English", "English"},
    {0x0A, "Spanish", "Espa\xF1ol"},   {0x0C, "French", "Fran\xE7" "ais"},
    {0x10, "Italian", "Italiano"},     {0x13, "Dutch", "Nederlands"},
    {0x16, "Portuguese", "Portugu\xEAs"}, {0x1D, "Swedish", "Svenska"},
    {0x06, "Danish", "Dansk"},         {0x14, "Norwegian", "Norsk"},
    {0x0B, "Finnish", "Suomi"},        {0x15, "Polish", "Polski"},
};

// POSIX locale names with their identifiers; a bare language maps to its main country.
struct LocaleName {
  std::string_view name;
  long id;
};

constexpr LocaleName kLocales[] = {
    {"en_us", 1033}, {"en_gb", 2057}, {"en_au", 3081}, {"en_ca", 4105}, {"en_nz", 5129},
    {"en_ie", 6153}, {"en_za", 7177}, {"en", 1033},    {"de_de", 1031}, {"de_ch", 2055},
    {"de_at", 3079}, {"de_lu", 4103}, {"de_li", 5127}, {"de", 1031},    {"fr_fr", 1036},
    {"fr_be", 2060}, {"fr_ca", 3084}, {"fr_ch", 4108}, {"fr", 1036},    {"es_es", 3082},
    {"es_mx", 2058}, {"es", 3082},    {"it_it", 1040}, {"it_ch", 2064}, {"it", 1040},
    {"nl_nl", 1043}, {"nl_be", 2067}, {"nl", 1043},    {"pt_br", 1046}, {"pt_pt", 2070},
    {"pt", 2070},    {"sv_se", 1053}, {"sv", 1053},    {"da_dk", 1030}, {"da", 1030},
    {"nb_no", 1044}, {"no", 1044},    {"fi_fi", 1035}, {"fi", 1035},    {"pl_pl", 1045},
    {"pl", 1045},
};

constexpr long kDefaultLocaleId = 1033;

}  // namespace

std::string LocaleDisplayName(long localeId) {
  const long primary = localeId & 0x3FF;
  for (const LanguageNames& language : kLanguages) {
    if (language.primaryId == primary) {
      return std::string(language.english) + " [" + std::string(language.native) + "]";
    }
  }
  return {};
}

long LocaleIdOfName(const std::string& localeName) {
  // "de_DE.UTF-8@euro" -> "de_de"
  std::string name = LowerCase(localeName.substr(0, localeName.find_first_of(".@")));
  for (int attempt = 0; attempt < 2; ++attempt) {
    for (const LocaleName& locale : kLocales) {
      if (locale.name == name) return locale.id;
    }
    name = name.substr(0, name.find('_'));  // fall back to the bare language
  }
  return kDefaultLocaleId;
}

long SystemDefaultLocaleId() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return LocaleIdOfName(value);
  }
  return kDefaultLocaleId;
}

}  // namespace velmorin
