#pragma once
// The answer of every administration operation: done, or refused with the name of the notice
// the dialogs show ("noticePersonDoesNotExist", "noticeAlreadyExist", ...) and its text in the
// current language, so every front end can show why. An operation never fails silently.

#include <string>
#include <utility>

namespace velmorin {

struct AdminResult {
  bool done = true;
  // The refusal's name: a language key of the notices, or a word of our own for refusals the
  // dialogs never needed (for example "invalidValue"). Empty when done.
  std::string notice;
  // What to show: the notice's text, or a short account of what was done. May be empty.
  std::string message;

  static AdminResult Done(std::string message = {}) { return {true, {}, std::move(message)}; }
  static AdminResult Refused(std::string notice, std::string message) {
    return {false, std::move(notice), std::move(message)};
  }
  // Whether the operation was done. There is no conversion to bool: a test of a result says
  // which way it reads.
  bool ok() const { return done; }
};

}  // namespace velmorin
