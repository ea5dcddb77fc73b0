// Whether desktop mode may try the display the environment names.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "app/DisplayCheck.hpp"

namespace velmorin {
namespace {

// Sets (or with nothing, unsets) a variable for the test's span.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedVariable() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(DisplayCheck, TriesOnlyWhatCanBeReached) {
  struct Case {
    std::optional<std::string> platform, display, wayland;
    bool reachable;
  };
  const Case cases[] = {
      {"offscreen", ":4711", std::nullopt, true},       // Qt is told which platform to use
      {std::nullopt, ":4711", std::nullopt, false},     // no X server with that number here
      {std::nullopt, "unix:4711.0", std::nullopt, false},
      {std::nullopt, "", std::nullopt, false},
      {std::nullopt, "otherhost:0", std::nullopt, true},  // only Qt can try another host
      {std::nullopt, std::nullopt, "velmorin-no-such-wayland", false},
  };
  for (const Case& c : cases) {
    ScopedVariable platform("QT_QPA_PLATFORM", c.platform);
    ScopedVariable display("DISPLAY", c.display);
    ScopedVariable wayland("WAYLAND_DISPLAY", c.wayland);
    EXPECT_EQ(UnreachableDisplay().empty(), c.reachable) << c.display.value_or("-") << " " << c.wayland.value_or("-");
  }
}

}  // namespace
}  // namespace velmorin
