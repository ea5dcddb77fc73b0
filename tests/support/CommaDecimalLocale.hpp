#pragma once
// A locale whose decimal point is a comma, for tests that numbers read the same under it.
//
//   CommaDecimalLocale()  a German or French locale when the system has one; otherwise one is
//                         built with localedef into a temporary directory (numbers only, about a
//                         second); nullptr when neither works, and the test skips.
//   ScopedThreadLocale    makes a locale the calling thread's until the end of the scope.

#include <locale.h>
#include <stdlib.h>


namespace velmorin::testing {

locale_t CommaDecimalLocale();

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
