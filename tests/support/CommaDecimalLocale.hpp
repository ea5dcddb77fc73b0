#pragma once
// A locale whose decimal point is a comma, for tests that numbers read the same under it.
//
//   CommaDecimalLocale()  a German or French locale when the system has one; otherwise one is
//                         built with localedef into a temporary directory (numbers only, about a
//                         second); nullptr when neither works, and the test skips.
//   ScopedThreadLocale    makes a locale the calling thread's until the end of the scope.

#include <locale.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace velmorin::testing {

inline locale_t BuildCommaDecimalLocale() {
  const std::filesystem::path directory = std::filesystem::temp_directory_path() / "velmorin-test-locales";
  std::error_code ignored;
  std::filesystem::create_directories(directory, ignored);
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
  return locale;
}

inline locale_t CommaDecimalLocale() {
  static locale_t locale = [] {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE", "fr_FR"}) {
      if (locale_t found = ::newlocale(LC_NUMERIC_MASK, name, nullptr)) return found;
    }
    return BuildCommaDecimalLocale();
  }();
  return locale;
}

class ScopedThreadLocale {
 public:
  explicit ScopedThreadLocale(locale_t locale) : previous_(::uselocale(locale)) {}
  ~ScopedThreadLocale() { ::uselocale(previous_); }
  ScopedThreadLocale(const ScopedThreadLocale&) = delete;
  ScopedThreadLocale& operator=(const ScopedThreadLocale&) = delete;

 private:
  locale_t previous_;
};

}  // namespace velmorin::testing
