#pragma once
// What the host decided about one plugin file at one load step (the start-up scan, starting the
// general plugins, a reload), with the reason: the load log, and the state `plugins list` shows.

#include <string>
#include <vector>

namespace velmorin {

class LogWriter;

enum class PluginOutcome {
  Listed,             // the scan accepted it (an encryption plugin is used from the next online period)
  Skipped,            // the scan refused it: reason says why
  Started,            // a general plugin created, initialised and running
  InitialiseFailed,   // a general plugin whose initialise failed: it runs all the same
  Disabled,           // switched off in the settings: not started
  NotStarted,         // enabled but not running: reason says why
};

struct PluginLoadNote {
  std::string file;       // the file name in plugins/, "x.so"
  std::string component;  // the file name without ".so"
  PluginOutcome outcome = PluginOutcome::Listed;
  std::string reason;     // why it was refused or what went wrong; may be empty for success

  bool Failed() const { return outcome == PluginOutcome::Skipped || outcome == PluginOutcome::NotStarted; }
  // One log line, without the line break: "Plugin x.so: ...".
  std::string Line() const;
};

// Every note as one log line, failures in red.
void WriteLoadNotes(LogWriter& log, const std::vector<PluginLoadNote>& notes);

}  // namespace velmorin
