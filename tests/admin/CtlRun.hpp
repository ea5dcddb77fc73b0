#pragma once
// velmorin-ctl as a test runs it: the shipped program copied into a server's program directory
// (so that it finds the server's socket there), run to its end with a bound.
//
//   Ctl(dir, {"status"})                       the exit status and what it printed
//   Ctl(dir, {"account", "add", "Ann", "--password-stdin"}, {.input = "secret\n"})
//   CtlJson(dir, {"status"})                   with --json: the reply parsed as well

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/Json.hpp"
#include "support/ChildProcess.hpp"
#include "support/TempProgramDir.hpp"

namespace velmorin::testing {

inline std::string CtlIn(TempProgramDir& dir) {
  const std::string ctl = dir.path("velmorin-ctl");
  if (!std::filesystem::exists(ctl)) std::filesystem::copy_file(std::string(VELMORIN_DIST_DIR) + "/velmorin-ctl", ctl);
  return ctl;
}

struct CtlRun {
  std::optional<int> exit;
  std::string output;
  std::optional<JsonValue> reply;  // CtlJson only: the reply line, parsed

  // A text of the reply (a member, or a member of "fields" when `field` is set); empty if none.
  std::string Text(const char* name, bool field = false) const {
    if (!reply) return "";
    const JsonValue* scope = field ? reply->Find("fields") : &*reply;
    const JsonValue* value = scope != nullptr ? scope->Find(name) : nullptr;
    return value != nullptr && value->kind() == JsonValue::Kind::String ? value->AsString() : "";
  }
  std::string Field(const char* name) const { return Text(name, true); }
  // A number of "fields" (protocol 2, which --json asks for); nothing when absent, null or text.
  std::optional<double> Number(const char* name) const {
    const JsonValue* fields = reply ? reply->Find("fields") : nullptr;
    const JsonValue* value = fields != nullptr ? fields->Find(name) : nullptr;
    if (value == nullptr || value->kind() != JsonValue::Kind::Number) return std::nullopt;
    return value->AsNumber();
  }
  bool IsNull(const char* name) const {
    const JsonValue* fields = reply ? reply->Find("fields") : nullptr;
    const JsonValue* value = fields != nullptr ? fields->Find(name) : nullptr;
    return value != nullptr && value->IsNull();
  }
};

struct CtlOptions {
  std::optional<std::string> input = std::nullopt;  // written to standard input, which then ends
  std::string workingDirectory = "";  // the program directory when empty
};

// velmorin-ctl with these arguments to its end (bounded), and what it printed.
inline CtlRun Ctl(TempProgramDir& dir, const std::vector<std::string>& arguments, const CtlOptions& options = {}) {
  ChildProcess ctl(CtlIn(dir), arguments, dir.path("ctl.out"), options.input.has_value(),
                   options.workingDirectory.empty() ? dir.root() : options.workingDirectory);
  if (options.input) ctl.Type(*options.input);
  ctl.EndInput();
  CtlRun run;
  run.exit = ctl.WaitForExit();
  run.output = ctl.Output();
  return run;
}

inline CtlRun CtlJson(TempProgramDir& dir, std::vector<std::string> arguments, const CtlOptions& options = {}) {
  arguments.insert(arguments.begin(), "--json");
  CtlRun run = Ctl(dir, arguments, options);
  run.reply = ParseJson(run.output.substr(0, run.output.find('\n')));
  return run;
}

}  // namespace velmorin::testing
