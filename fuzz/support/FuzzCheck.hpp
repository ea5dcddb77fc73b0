#pragma once
// Invariant checks of the fuzz targets. A failed check prints the condition (and, in the corpus
// replay, the input file) and aborts, which libFuzzer and the replay both report as a crash.
// Unlike assert it is never compiled out.

#include <cstdio>
#include <cstdlib>

namespace velmorin::fuzz {

// The input being replayed, named in the failure message; set by the corpus replay.
inline const char* currentInput = nullptr;

[[noreturn]] inline void CheckFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: fuzz invariant failed: %s\n", file, line, condition);
  if (currentInput != nullptr) std::fprintf(stderr, "input: %s\n", currentInput);
  std::fflush(stderr);
  std::abort();
}

}  // namespace velmorin::fuzz

#define FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : ::velmorin::fuzz::CheckFailed(#condition, __FILE__, __LINE__))
