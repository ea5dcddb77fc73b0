#include "support/CommaDecimalLocale.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace velmorin::testing {
namespace {

// Builds a locale that defines only its numbers with localedef into a temporary directory of this
// process (tests run in parallel) and loads it from there (LOCPATH is set for the one call). The
// loaded locale stays usable after its files are removed.
locale_t BuildCommaDecimalLocale() {
  std::string pattern = (std::filesystem::temp_directory_path() / "velmorin-test-locale-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return nullptr;
  const std::filesystem::path directory = pattern;
  const std::string source = (directory / "comma").string();
  std::ofstream(source) << "LC_NUMERIC\ndecimal_point \"<U002C>\"\nthousands_sep \"<U002E>\"\ngrouping 3;3\n"
                           "END LC_NUMERIC\n";
  const std::string name = "xx_COMMA.UTF-8";
  const std::string command = "localedef -c -i '" + source + "' -f UTF-8 '" + (directory / name).string() +
                              "' >/dev/null 2>&1";
  (void)std::system(command.c_str());
  const char* previous = ::getenv("LOCPATH");
  const std::string saved = previous != nullptr ? previous : "";
  ::setenv("LOCPATH", directory.c_str(), 1);
  locale_t locale = ::newlocale(LC_NUMERIC_MASK, name.c_str(), nullptr);
  if (previous != nullptr) {
    ::setenv("LOCPATH", saved.c_str(), 1);
  } else {
    ::unsetenv("LOCPATH");
  }
  std::error_code ignored;
  std::filesystem::remove_all(directory, ignored);
  return locale;
}

}  // namespace

locale_t CommaDecimalLocale() {
  static locale_t locale = [] {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE", "fr_FR"}) {
      if (locale_t found = ::newlocale(LC_NUMERIC_MASK, name, nullptr)) return found;
    }
    return BuildCommaDecimalLocale();
  }();
  return locale;
}

}  // namespace velmorin::testing

// The C library keeps the search list of a failed or LOCPATH-directed newlocale call for good
// (43 to 49 bytes, once per process); it is not ours to free. Its frame is named "argz_add_sep"
// or "__argz_add_sep" depending on which alias the symbolizer finds, so the pattern matches both.
extern "C" const char* __lsan_default_suppressions() { return "leak:argz_add_sep\n"; }
