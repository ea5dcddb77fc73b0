#pragma once
// Windows locale identifiers: their display names and the system default.

#include <string>

namespace velmorin {

// "English name [native name]" of the identifier's language, e.g. 1031 gives "German [Deutsch]";
// empty for an identifier whose language is unknown.
std::string LocaleDisplayName(long localeId);

// The locale identifier of a POSIX locale name ("de_DE.UTF-8" gives 1031); 1033 when unknown.
long LocaleIdOfName(const std::string& localeName);

// The system default locale identifier, from LC_ALL, LC_MESSAGES or LANG (first set wins).
long SystemDefaultLocaleId();

}  // namespace velmorin
